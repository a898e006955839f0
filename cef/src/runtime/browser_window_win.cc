#include "runtime/browser_window_win.h"

#include "runtime/browser_host_impl.h"

namespace cef_internal {

const wchar_t kBrowserFrameClass[] = L"CefBrowserFrameWindow";
const wchar_t kBrowserHostClass[] = L"CefBrowserWindow";

namespace {

const wchar_t kParkingClass[] = L"CefParkingWindow";
HWND g_parking = nullptr;  // UI thread

BrowserHostImpl* BrowserOf(HWND window) {
  return reinterpret_cast<BrowserHostImpl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void FillParent(HWND child) {
  HWND parent = GetParent(child);
  if (!parent)
    return;
  RECT rc;
  GetClientRect(parent, &rc);
  SetWindowPos(child, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
      break;
    }
    case WM_SIZE: {
      // The host window always fills the frame.
      HWND child = FindWindowExW(window, nullptr, kBrowserHostClass, nullptr);
      if (child)
        FillParent(child);
      return 0;
    }
    case WM_CLOSE: {
      // The close box, or the runtime passing a close on after DoClose. The
      // window goes only when the browser agrees.
      BrowserHostImpl* browser = BrowserOf(window);
      if (browser && browser->IsValid()) {
        CefRefPtr<BrowserHostImpl> keep(browser);
        if (!browser->TryCloseBrowser())
          return 0;
      }
      DestroyWindow(window);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
      break;
    }
    case WM_ERASEBKGND: {
      RECT rc;
      GetClientRect(window, &rc);
      FillRect(reinterpret_cast<HDC>(wparam), &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      return 1;
    }
    case WM_DESTROY: {
      BrowserHostImpl* browser = BrowserOf(window);
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      if (browser) {
        CefRefPtr<BrowserHostImpl> keep(browser);
        browser->OnHostWindowDestroyed();
      }
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void RegisterClasses() {
  static bool registered = false;
  if (registered)
    return;
  registered = true;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.style = CS_HREDRAW | CS_VREDRAW;

  wc.lpfnWndProc = FrameProc;
  wc.lpszClassName = kBrowserFrameClass;
  RegisterClassExW(&wc);

  wc.lpfnWndProc = HostProc;
  wc.lpszClassName = kBrowserHostClass;
  wc.hIcon = nullptr;
  RegisterClassExW(&wc);

  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = kParkingClass;
  RegisterClassExW(&wc);
}

}  // namespace

HWND CreateBrowserFrameWindow(BrowserHostImpl* browser,
                              DWORD ex_style,
                              DWORD style,
                              const std::wstring& name,
                              int x,
                              int y,
                              int width,
                              int height,
                              HWND owner,
                              HMENU menu) {
  RegisterClasses();
  return CreateWindowExW(ex_style, kBrowserFrameClass, name.c_str(), style, x, y, width, height, owner, menu,
                         GetModuleHandleW(nullptr), browser);
}

HWND CreateBrowserHostWindow(BrowserHostImpl* browser,
                             HWND parent,
                             DWORD style,
                             DWORD ex_style,
                             const std::wstring& name,
                             const RECT& bounds) {
  RegisterClasses();
  return CreateWindowExW(ex_style, kBrowserHostClass, name.c_str(),
                         style | WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, bounds.left, bounds.top,
                         bounds.right - bounds.left, bounds.bottom - bounds.top, parent, nullptr,
                         GetModuleHandleW(nullptr), browser);
}

void DetachBrowserWindow(HWND window) {
  if (window && IsWindow(window))
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

HWND ParkingWindow() {
  if (g_parking && IsWindow(g_parking))
    return g_parking;
  RegisterClasses();
  g_parking = CreateWindowExW(WS_EX_TOOLWINDOW, kParkingClass, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  return g_parking;
}

void DestroyParkingWindow() {
  if (g_parking && IsWindow(g_parking))
    DestroyWindow(g_parking);
  g_parking = nullptr;
}

}  // namespace cef_internal
