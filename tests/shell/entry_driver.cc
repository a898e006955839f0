// Runs the client's entry as a host does, once, in a process of its own, so
// that tests can watch how the process ends. Copied into a fresh
// installation directory by the tests, since start-up reads the bootstrap
// beside the executable.
//
// KESTA_ENTRY_FAULT makes a set-up step fail: "direct-proxy" refuses the
// in-memory context's proxy preference, "scheme-handler" refuses every
// scheme handler factory. Once the update window is up the driver prints
// the remote-debugging-port CEF was given and closes the window, which ends
// a start-up that waits for its launch.
#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

#include "include/base/cef_callback.h"
#include "include/cef_command_line.h"
#include "include/wrapper/cef_closure_task.h"
#include "shell/process_entry.h"
#include "shell/simple_handler.h"
#include "support/message_boxes_win.h"
#include "testing/driver.h"
#include "testing/preferences.h"

namespace {

// This process's update window (other programs may show theirs).
HWND ownUpdateWindow() {
  for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, L"KESTAResourceUpdates", nullptr));) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId())
      return window;
  }
  return nullptr;
}

// UI thread. Closing the window cancels the start only once the browser
// client exists, which CEF may create after the window is up.
void reportAndClose(HWND updates) {
  if (!SimpleHandler::GetInstance()) {
    CefPostDelayedTask(TID_UI, base::BindOnce(&reportAndClose, updates), 20);
    return;
  }
  CefRefPtr<CefCommandLine> global = CefCommandLine::GetGlobalCommandLine();
  std::printf("remote-debugging-port=%s\n", global->GetSwitchValue("remote-debugging-port").ToString().c_str());
  PostMessageW(updates, WM_CLOSE, 0, 0);
}

}  // namespace

int wmain() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  wchar_t fault[64] = {};
  GetEnvironmentVariableW(L"KESTA_ENTRY_FAULT", fault, 64);
  if (std::wstring(fault) == L"direct-proxy")
    cef_testing::FailPreferenceWrites(cef_testing::ContextSelector::CachePath(""), "proxy", "refused by the driver");
  else if (std::wstring(fault) == L"scheme-handler")
    cef_testing::RefuseSchemeHandlerFactories();

  kesta::testing::MessageBoxWatcher boxes(IDOK);
  std::thread closer([] {
    for (int i = 0; i < 3000; ++i) {
      if (HWND updates = ownUpdateWindow(); updates && IsWindowVisible(updates)) {
        CefPostTask(TID_UI, base::BindOnce(&reportAndClose, updates));
        return;
      }
      Sleep(10);
    }
  });
  closer.detach();

  int sandbox = 0;
  const int code = RunProcess(GetModuleHandleW(nullptr), &sandbox);
  for (const auto& box : boxes.Boxes())
    std::printf("box: %s\n", box.text.c_str());
  return code;
}
