// Watches the client's windows for scripts/run.sh.
//   kesta-demo wait TITLE SECONDS   waits until a visible top-level window
//                                   with that title exists (exit 0) or not (1);
//                                   TITLE may list several, separated by '|'
//   kesta-demo close TITLE          presses that window's close box
//   kesta-demo menu TITLE ID        picks item ID of that window's system menu
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// TITLE may name several titles separated by '|'.
HWND findWindow(const std::wstring& titles) {
  size_t start = 0;
  for (;;) {
    const size_t bar = titles.find(L'|', start);
    const std::wstring title = titles.substr(start, bar == std::wstring::npos ? std::wstring::npos : bar - start);
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, nullptr, title.c_str()))) {
      if (IsWindowVisible(window))
        return window;
    }
    if (bar == std::wstring::npos)
      return nullptr;
    start = bar + 1;
  }
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
  if (argc >= 4 && std::wcscmp(argv[1], L"menu") == 0) {
    HWND window = findWindow(argv[2]);
    if (!window)
      return 1;
    PostMessageW(window, WM_SYSCOMMAND, static_cast<WPARAM>(_wtoi(argv[3])), 0);
    return 0;
  }
  std::fputs("usage: kesta-demo wait TITLE SECONDS | close TITLE | menu TITLE ID\n", stderr);
  return 2;
}
