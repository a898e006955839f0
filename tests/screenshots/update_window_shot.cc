// Puts the update window up with a representative state (an update pending,
// one pool still downloading, one with an error) and keeps it up, so that a
// screenshot can show how its Chinese text renders. Not a test: run by
// update_window.sh under Xvfb.
//   update_window_shot.exe [seconds]   (default 60)
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <mutex>
#include <stdexcept>

#include "desktop/desktop.h"
#include "desktop/desktop_flow.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "include/cef_values.h"

using namespace kesta::desktop;

namespace {

constexpr char kState[] = R"({
  "generation": "g1", "siteOrigin": "https://game.example", "updateGate": false,
  "pending": {"revision": 8, "notes": "新增两张地图，修正美术素材中的错误。"},
  "refresh": {"status": "downloading", "revision": 3, "pools": {
    "engine": {"status": "verified", "downloaded": 10485760, "total": 10485760},
    "maps": {"status": "downloading", "downloaded": 5242880, "total": 12582912},
    "art": {"status": "failed", "downloaded": 1048576, "total": 4194304, "error": "校验和不一致"}}}
})";

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int seconds = argc > 1 ? static_cast<int>(std::wcstol(argv[1], nullptr, 10)) : 60;
  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.Observe("g1", "https://game.example", false);
    resourceLaunch.Admit(true);
  }
  try {
    DesktopApplicationMenuReady();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  CefRefPtr<CefDictionaryValue> state = parse(kState);
  if (!state) {
    std::fprintf(stderr, "bad state\n");
    return 1;
  }
  receiveUpdates(state);
  DesktopShowUpdates();
  SetWindowPos(updateWindow, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE);
  std::printf("shown\n");
  std::fflush(stdout);

  SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && !message.hwnd)
      break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  DesktopStop();
  return 0;
}
