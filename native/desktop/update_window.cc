// The update window: a small native window beside the browser windows that
// shows the state of the game's resources and offers accept and defer.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>

#include "desktop/desktop.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "desktop/update_window.h"
#include "shell/simple_handler.h"

namespace kesta::desktop {

UINT(WINAPI* windowDpi)(HWND window) = GetDpiForWindow;

namespace {

constexpr wchar_t kClassName[] = L"KESTAResourceUpdates";
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU;
constexpr DWORD kWindowExStyle = WS_EX_TOOLWINDOW;
constexpr DWORD kDetailsStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_READONLY | ES_MULTILINE;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
constexpr UINT_PTR kControlSubclassId = 1;
constexpr int kAcceptId = 1;
constexpr int kDeferId = 2;

// Layout at 96 dpi, scaled with MulDiv.
constexpr int kClientWidth = 620;
constexpr int kClientHeight = 420;
constexpr int kMargin = 20;
constexpr int kButtonHeight = 34;
constexpr int kAcceptWidth = 236;
constexpr int kDeferWidth = 86;
constexpr int kDeferFromRight = 338;

// What each control shows, as written through showText. Writing a text lays
// it out again and scrolls the text box back to the top, and under Wine even
// reading an edit control's text costs about as much as a short write: the
// texts are compared here instead. An entry goes with its control.
std::map<HWND, std::wstring> shownTexts;

int scale(int value, UINT dpi) {
  return MulDiv(value, static_cast<int>(dpi), 96);
}

LRESULT CALLBACK UpdateControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                   DWORD_PTR data) {
  if (message == WM_KEYDOWN) {
    switch (wParam) {
      case VK_TAB:
        // The window is no dialog: Tab, Esc and Enter are handled here.
        if (HWND next = GetNextDlgTabItem(updateWindow, window, GetKeyState(VK_SHIFT) < 0))
          SetFocus(next);
        return 0;
      case VK_ESCAPE:
        SendMessageW(updateWindow, WM_CLOSE, 0, 0);
        return 0;
      case VK_RETURN:
        if (window == acceptButton || window == deferButton) {
          submitUpdate(window == deferButton);
          return 0;
        }
        break;
    }
  } else if (message == WM_NCDESTROY) {
    shownTexts.erase(window);
    RemoveWindowSubclass(window, UpdateControlProc, id);
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

void showText(HWND control, const std::wstring& text) {
  auto [shown, added] = shownTexts.try_emplace(control);
  if (!added && shown->second == text)
    return;
  shown->second = text;
  SetWindowTextW(control, text.c_str());
}

bool launchAdmitted() {
  std::lock_guard lock(browserMutex);
  return resourceLaunch.admitted;
}

bool updateDialogFont(HWND window) {
  const UINT dpi = windowDpi(window);
  HFONT font = CreateFontW(-MulDiv(10, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, 0,
                           L"Segoe UI");
  if (!font)
    return false;
  for (HWND control : {detailsWindow, acceptButton, deferButton})
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  // The old font goes only once every control uses the new one.
  if (updateFont)
    DeleteObject(updateFont);
  updateFont = font;
  return true;
}

void layoutUpdates(HWND window) {
  if (!detailsWindow || !acceptButton || !deferButton)
    return;
  const UINT dpi = windowDpi(window);
  RECT client = {};
  GetClientRect(window, &client);
  const int width = client.right;
  const int height = client.bottom;
  const int margin = scale(kMargin, dpi);
  const int buttonHeight = scale(kButtonHeight, dpi);
  const int buttonTop = height - buttonHeight - margin;
  const int acceptWidth = scale(kAcceptWidth, dpi);

  MoveWindow(detailsWindow, margin, margin, width - 2 * margin, buttonTop - 2 * margin, TRUE);
  MoveWindow(acceptButton, width - (acceptWidth + margin), buttonTop, acceptWidth, buttonHeight, TRUE);
  MoveWindow(deferButton, width - (scale(kDeferFromRight, dpi) + margin), buttonTop, scale(kDeferWidth, dpi),
             buttonHeight, TRUE);
}

LRESULT CALLBACK UpdateWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      layoutUpdates(window);
      return 0;
    case WM_SETFOCUS:
      if (deferButton)
        SetFocus(IsWindowEnabled(deferButton) ? deferButton : detailsWindow);
      return 0;
    case WM_CLOSE:
      if (launchAdmitted()) {
        ShowWindow(window, SW_HIDE);
      } else if (SimpleHandler* handler = SimpleHandler::GetInstance()) {
        // Before admission the window stands for the start-up: closing it
        // cancels the start.
        handler->CloseAllBrowsers(true);
      }
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kDeferId) {
        submitUpdate(true);
        return 0;
      }
      if (LOWORD(wParam) == kAcceptId) {
        submitUpdate(false);
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                   suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
      if (!updateDialogFont(window))
        std::fprintf(stderr, "Cannot resize update window font: %lu\n", GetLastError());
      layoutUpdates(window);
      return 0;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace kesta::desktop

using namespace kesta::desktop;

void DesktopApplicationMenuReady() {
  appIcon = static_cast<HICON>(
      LoadImageW(nullptr, wide(appDirectory + "/AppIcon.ico").c_str(), IMAGE_ICON, 0, 0,
                 LR_LOADFROMFILE | LR_DEFAULTSIZE));

  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = UpdateWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = kClassName;
  if (!RegisterClassW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    throw std::runtime_error("Cannot register update window");

  updateWindow = CreateWindowExW(kWindowExStyle, kClassName, wide("Ostrel · 资源与更新").c_str(), kWindowStyle,
                                 CW_USEDEFAULT, CW_USEDEFAULT, 620, 460, nullptr, nullptr, instance, nullptr);
  if (!updateWindow)
    throw std::runtime_error("Cannot create update window");

  detailsWindow = CreateWindowExW(0, L"EDIT", L"", kDetailsStyle, 20, 16, 570, 340, updateWindow,
                                  reinterpret_cast<HMENU>(0), instance, nullptr);
  acceptButton = CreateWindowExW(0, L"BUTTON", wide("更新并重新进入游戏…").c_str(), kButtonStyle, 355, 366, 236, 32,
                                 updateWindow, reinterpret_cast<HMENU>(kAcceptId), instance, nullptr);
  deferButton = CreateWindowExW(0, L"BUTTON", wide("稍后").c_str(), kButtonStyle, 252, 366, 86, 32, updateWindow,
                                reinterpret_cast<HMENU>(kDeferId), instance, nullptr);
  if (!detailsWindow || !acceptButton || !deferButton)
    throw std::runtime_error("Cannot create update controls");
  shownTexts[detailsWindow] = L"";
  shownTexts[acceptButton] = wide("更新并重新进入游戏…");

  const UINT dpi = windowDpi(updateWindow);
  RECT outer = {0, 0, scale(kClientWidth, dpi), scale(kClientHeight, dpi)};
  if (!AdjustWindowRectExForDpi(&outer, kWindowStyle, FALSE, kWindowExStyle, dpi))
    throw std::runtime_error("Cannot size update window");
  SetWindowPos(updateWindow, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  if (!updateDialogFont(updateWindow))
    throw std::runtime_error("Cannot create update window font");
  layoutUpdates(updateWindow);

  for (HWND control : {detailsWindow, acceptButton, deferButton}) {
    if (!SetWindowSubclass(control, UpdateControlProc, kControlSubclassId, 0))
      throw std::runtime_error("Cannot attach update keyboard controls");
  }

  EnableWindow(acceptButton, FALSE);
  EnableWindow(deferButton, FALSE);

  if (!launchAdmitted()) {
    showText(detailsWindow, wide("正在准备进入游戏所需的资源与网络配置，请稍候。关闭此窗口可取消启动。"));
    ShowWindow(updateWindow, SW_SHOWNORMAL);
    SetForegroundWindow(updateWindow);
  }
}

void DesktopShowUpdates() {
  if (updateWindow) {
    ShowWindow(updateWindow, SW_SHOWNORMAL);
    SetForegroundWindow(updateWindow);
  }
}

bool DesktopWaitingForLaunch() {
  return !launchAdmitted();
}
