// Watches the client's windows for scripts/run.sh.
//   kesta-demo wait TITLE SECONDS   waits until a visible top-level window
//                                   with that title exists (exit 0) or not (1)
//   kesta-demo close TITLE          presses that window's close box
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

HWND findWindow(const std::wstring& title) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, nullptr, title.c_str()))) {
    if (IsWindowVisible(window))
      return window;
  }
  return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 4 && std::wcscmp(argv[1], L"wait") == 0) {
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(_wtoi(argv[3])) * 1000;
    while (!findWindow(argv[2])) {
      if (static_cast<LONG>(GetTickCount() - deadline) > 0)
        return 1;
      Sleep(100);
    }
    return 0;
  }
  if (argc >= 3 && std::wcscmp(argv[1], L"close") == 0) {
    HWND window = findWindow(argv[2]);
    if (!window)
      return 1;
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
  }
  std::fputs("usage: kesta-demo wait TITLE SECONDS | close TITLE\n", stderr);
  return 2;
}
