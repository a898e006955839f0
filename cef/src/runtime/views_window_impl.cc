#include "runtime/views_window_impl.h"

#include <algorithm>
#include <map>

#include "core/message_loop.h"
#include "include/base/cef_logging.h"
#include "include/cef_task.h"
#include "runtime/browser_registry.h"
#include "runtime/views_browser_view_impl.h"

namespace cef_internal {

const wchar_t kViewsWindowClass[] = L"CefViewsWindow";

namespace {

// Size of a window whose contents state no preferred size.
constexpr int kFallbackWidth = 800;
constexpr int kFallbackHeight = 600;

// The windows keep themselves alive through this map until WM_NCDESTROY.
std::map<HWND, CefRefPtr<WindowImpl>>& LiveWindows() {
  static auto* windows = new std::map<HWND, CefRefPtr<WindowImpl>>();
  return *windows;
}

void RegisterWindowClass() {
  static bool registered = false;
  if (registered)
    return;
  registered = true;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kViewsWindowClass;
  wc.lpfnWndProc = &WindowImpl::WndProc;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  RegisterClassExW(&wc);
}

RECT WorkArea() {
  RECT work = {0, 0, 1024, 768};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

}  // namespace

WindowImpl::WindowImpl(CefRefPtr<CefWindowDelegate> delegate) : PanelImplT<CefWindow>(delegate) {}

WindowImpl::~WindowImpl() = default;

CefWindowDelegate* WindowImpl::window_delegate() {
  return static_cast<CefWindowDelegate*>(delegate_.get());
}

CefRefPtr<WindowImpl> WindowImpl::Create(CefRefPtr<CefWindowDelegate> delegate) {
  EnsureBrowserShutdownHooks();
  RegisterWindowClass();
  CefRefPtr<WindowImpl> window = new WindowImpl(delegate);
  CefRefPtr<CefWindow> as_window(window.get());

  cef_runtime_style_t style = delegate ? delegate->GetWindowRuntimeStyle() : CEF_RUNTIME_STYLE_DEFAULT;
  window->runtime_style_ = style == CEF_RUNTIME_STYLE_ALLOY ? CEF_RUNTIME_STYLE_ALLOY : CEF_RUNTIME_STYLE_CHROME;

  DWORD ws = WS_CLIPCHILDREN;
  if (delegate && delegate->IsFrameless(as_window)) {
    ws |= WS_POPUP;
  } else {
    ws |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    bool resize = !delegate || delegate->CanResize(as_window);
    if (resize)
      ws |= WS_THICKFRAME;
    if (!delegate || delegate->CanMinimize(as_window))
      ws |= WS_MINIMIZEBOX;
    if (resize && (!delegate || delegate->CanMaximize(as_window)))
      ws |= WS_MAXIMIZEBOX;
  }

  CefRect bounds = delegate ? delegate->GetInitialBounds(as_window) : CefRect();
  HWND hwnd = CreateWindowExW(0, kViewsWindowClass, L"", ws, 0, 0, kFallbackWidth, kFallbackHeight, nullptr, nullptr,
                              GetModuleHandleW(nullptr), window.get());
  if (!hwnd) {
    LOG(ERROR) << "Cannot create a Views window: " << GetLastError();
    return nullptr;
  }
  LiveWindows()[hwnd] = window;
  if (!bounds.IsEmpty()) {
    SetWindowPos(hwnd, nullptr, bounds.x, bounds.y, bounds.width, bounds.height, SWP_NOZORDER | SWP_NOACTIVATE);
    window->sized_ = true;
  } else {
    window->SizeToContents(true);
  }

  if (delegate)
    delegate->OnWindowCreated(as_window);
  // Contents added in OnWindowCreated may state the size the delegate did
  // not.
  if (!window->sized_ && !window->closed_)
    window->SizeToContents(!window->shown_once_);
  return window;
}

WindowImpl* WindowImpl::FromHwnd(HWND hwnd) {
  auto it = LiveWindows().find(hwnd);
  return it == LiveWindows().end() ? nullptr : it->second.get();
}

// The preferred size is the client area's; the window grows by its frame.
void WindowImpl::SizeToContents(bool center) {
  if (!hwnd_)
    return;
  CefSize size = GetPreferredSize();
  if (size.IsEmpty()) {
    size.Set(kFallbackWidth, kFallbackHeight);
  } else {
    sized_ = true;
  }
  RECT rc = {0, 0, size.width, size.height};
  AdjustWindowRectEx(&rc, static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE, 0);
  int width = rc.right - rc.left;
  int height = rc.bottom - rc.top;
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  int x = 0, y = 0;
  if (center) {
    RECT work = WorkArea();
    x = work.left + ((work.right - work.left) - width) / 2;
    y = work.top + ((work.bottom - work.top) - height) / 2;
    if (x < work.left)
      x = work.left;
    if (y < work.top)
      y = work.top;
  } else {
    flags |= SWP_NOMOVE;
  }
  SetWindowPos(hwnd_, nullptr, x, y, width, height, flags);
}

void WindowImpl::LayoutToClient() {
  if (!hwnd_)
    return;
  RECT rc;
  GetClientRect(hwnd_, &rc);
  bounds_ = CefRect(0, 0, rc.right - rc.left, rc.bottom - rc.top);
  Layout();
}

LRESULT CALLBACK WindowImpl::WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  WindowImpl* window = nullptr;
  if (message == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lparam);
    window = static_cast<WindowImpl*>(cs->lpCreateParams);
    window->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  } else {
    window = reinterpret_cast<WindowImpl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!window)
    return DefWindowProcW(hwnd, message, wparam, lparam);
  CefRefPtr<WindowImpl> keep(window);
  return window->HandleMessage(message, wparam, lparam);
}

LRESULT WindowImpl::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND hwnd = hwnd_;
  switch (message) {
    case WM_CLOSE:
      // The close box and system menu: the delegate decides.
      Close();
      return 0;
    case WM_SIZE:
      LayoutToClient();
      if (delegate_ && !closed_) {
        RECT rc;
        GetWindowRect(hwnd, &rc);
        window_delegate()->OnWindowBoundsChanged(this,
                                                 CefRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top));
      }
      break;
    case WM_ACTIVATE:
      if (delegate_ && !closed_) {
        window_delegate()->OnWindowActivationChanged(this, LOWORD(wparam) != WA_INACTIVE);
      }
      break;
    case WM_GETMINMAXINFO: {
      // The window may always take its preferred size, also on a screen
      // smaller than that (Wine's virtual screen is 1024x768); the
      // delegate's minimum and maximum sizes bound the client area.
      DefWindowProcW(hwnd, message, wparam, lparam);
      auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
      DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
      auto frame_size = [style](const CefSize& client) {
        RECT rc = {0, 0, client.width, client.height};
        AdjustWindowRectEx(&rc, style, FALSE, 0);
        return POINT{rc.right - rc.left, rc.bottom - rc.top};
      };
      if (!closed_) {
        POINT preferred = frame_size(GetPreferredSize());
        info->ptMaxTrackSize.x = std::max(info->ptMaxTrackSize.x, preferred.x);
        info->ptMaxTrackSize.y = std::max(info->ptMaxTrackSize.y, preferred.y);
        CefSize min = GetMinimumSize();
        if (!min.IsEmpty())
          info->ptMinTrackSize = frame_size(min);
        CefSize max = GetMaximumSize();
        if (!max.IsEmpty())
          info->ptMaxTrackSize = frame_size(max);
      }
      return 0;
    }
    case WM_NCDESTROY: {
      LRESULT result = DefWindowProcW(hwnd, message, wparam, lparam);
      OnDestroyed();
      return result;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void WindowImpl::OnDestroyed() {
  CefRefPtr<WindowImpl> keep(this);
  HWND hwnd = hwnd_;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  closed_ = true;
  if (delegate_)
    window_delegate()->OnWindowDestroyed(this);
  RemoveAllChildViews();
  hwnd_ = nullptr;
  delegate_ = nullptr;
  LiveWindows().erase(hwnd);
}

// --- CefWindow ---

void WindowImpl::Show() {
  if (!hwnd_)
    return;
  if (!shown_once_) {
    shown_once_ = true;
    cef_show_state_t state = delegate_ ? window_delegate()->GetInitialShowState(this) : CEF_SHOW_STATE_NORMAL;
    switch (state) {
      case CEF_SHOW_STATE_MINIMIZED:
        ShowWindow(hwnd_, SW_SHOWMINIMIZED);
        return;
      case CEF_SHOW_STATE_MAXIMIZED:
        ShowWindow(hwnd_, SW_SHOWMAXIMIZED);
        break;
      case CEF_SHOW_STATE_FULLSCREEN:
        SetFullscreen(true);
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        break;
      default:
        // Hidden only means something on macOS.
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        break;
    }
  } else {
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  }
  SetForegroundWindow(hwnd_);
}

void WindowImpl::ShowAsBrowserModalDialog(CefRefPtr<CefBrowserView> browser_view) {
  Show();
}

void WindowImpl::Hide() {
  if (hwnd_)
    ShowWindow(hwnd_, SW_HIDE);
}

void WindowImpl::CenterWindow(const CefSize& size) {
  if (!hwnd_)
    return;
  RECT work = WorkArea();
  int x = work.left + ((work.right - work.left) - size.width) / 2;
  int y = work.top + ((work.bottom - work.top) - size.height) / 2;
  SetWindowPos(hwnd_, nullptr, x, y, size.width, size.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void WindowImpl::Close() {
  if (closed_ || closing_ || !hwnd_)
    return;
  if (delegate_ && !window_delegate()->CanClose(this))
    return;
  if (closed_ || closing_ || !hwnd_)
    return;  // CanClose may have closed it
  closing_ = true;
  if (delegate_)
    window_delegate()->OnWindowClosing(this);
  if (hwnd_)
    DestroyWindow(hwnd_);
}

void WindowImpl::ForceDestroy() {
  if (!hwnd_)
    return;
  closing_ = true;
  DestroyWindow(hwnd_);
}

bool WindowImpl::IsClosed() {
  return closed_;
}
void WindowImpl::Activate() {
  if (hwnd_)
    SetForegroundWindow(hwnd_);
}
void WindowImpl::Deactivate() {}
bool WindowImpl::IsActive() {
  return hwnd_ && GetActiveWindow() == hwnd_;
}
void WindowImpl::BringToTop() {
  if (hwnd_)
    BringWindowToTop(hwnd_);
}
void WindowImpl::SetAlwaysOnTop(bool on_top) {
  if (hwnd_) {
    SetWindowPos(hwnd_, on_top ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}
bool WindowImpl::IsAlwaysOnTop() {
  return hwnd_ && (GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) & WS_EX_TOPMOST);
}
void WindowImpl::Maximize() {
  if (hwnd_)
    ShowWindow(hwnd_, SW_MAXIMIZE);
}
void WindowImpl::Minimize() {
  if (hwnd_)
    ShowWindow(hwnd_, SW_MINIMIZE);
}
void WindowImpl::Restore() {
  if (hwnd_)
    ShowWindow(hwnd_, SW_RESTORE);
}

void WindowImpl::SetFullscreen(bool fullscreen) {
  if (!hwnd_ || fullscreen == fullscreen_)
    return;
  if (delegate_)
    window_delegate()->OnWindowFullscreenTransition(this, false);
  if (fullscreen) {
    placement_before_fullscreen_.length = sizeof(WINDOWPLACEMENT);
    GetWindowPlacement(hwnd_, &placement_before_fullscreen_);
    style_before_fullscreen_ = static_cast<LONG>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
    SetWindowLongPtrW(hwnd_, GWL_STYLE, (style_before_fullscreen_ & ~WS_OVERLAPPEDWINDOW) | WS_POPUP);
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), SWP_FRAMECHANGED);
  } else {
    SetWindowLongPtrW(hwnd_, GWL_STYLE, style_before_fullscreen_);
    SetWindowPlacement(hwnd_, &placement_before_fullscreen_);
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  }
  fullscreen_ = fullscreen;
  if (delegate_)
    window_delegate()->OnWindowFullscreenTransition(this, true);
}

bool WindowImpl::IsMaximized() {
  return hwnd_ && IsZoomed(hwnd_);
}
bool WindowImpl::IsMinimized() {
  return hwnd_ && IsIconic(hwnd_);
}
bool WindowImpl::IsFullscreen() {
  return fullscreen_;
}

void WindowImpl::SetTitle(const CefString& title) {
  if (hwnd_)
    SetWindowTextW(hwnd_, title.ToWString().c_str());
}

CefString WindowImpl::GetTitle() {
  if (!hwnd_)
    return CefString();
  int length = GetWindowTextLengthW(hwnd_);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(hwnd_, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

CefRect WindowImpl::GetClientAreaBoundsInScreen() {
  if (!hwnd_)
    return CefRect();
  RECT rc;
  GetClientRect(hwnd_, &rc);
  POINT origin = {0, 0};
  ClientToScreen(hwnd_, &origin);
  return CefRect(origin.x, origin.y, rc.right - rc.left, rc.bottom - rc.top);
}

CefWindowHandle WindowImpl::GetWindowHandle() {
  return hwnd_;
}
cef_runtime_style_t WindowImpl::GetRuntimeStyle() {
  return runtime_style_;
}

void WindowImpl::SetBounds(const CefRect& bounds) {
  if (hwnd_) {
    SetWindowPos(hwnd_, nullptr, bounds.x, bounds.y, bounds.width, bounds.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void WindowImpl::SetVisible(bool visible) {
  if (visible) {
    Show();
  } else {
    Hide();
  }
}

bool WindowImpl::IsVisible() {
  return hwnd_ && IsWindowVisible(hwnd_);
}

bool WindowImpl::CanHost(CefRefPtr<CefView> view) {
  ViewNode* node = ViewNode::From(view);
  BrowserViewImpl* browser_view = node ? node->AsBrowserViewImpl() : nullptr;
  if (browser_view && runtime_style_ == CEF_RUNTIME_STYLE_ALLOY &&
      browser_view->GetRuntimeStyle() == CEF_RUNTIME_STYLE_CHROME) {
    LOG(ERROR) << "An Alloy style window cannot host a Chrome style browser view";
    return false;
  }
  return true;
}

int LiveViewsWindowCount() {
  return static_cast<int>(LiveWindows().size());
}

void DestroyAllViewsWindows() {
  std::vector<CefRefPtr<WindowImpl>> windows;
  for (auto& [hwnd, window] : LiveWindows())
    windows.push_back(window);
  for (auto& window : windows)
    window->ForceDestroy();
  LiveWindows().clear();
}

}  // namespace cef_internal

CefRefPtr<CefWindow> CefWindow::CreateTopLevelWindow(CefRefPtr<CefWindowDelegate> delegate) {
  if (!CefCurrentlyOn(TID_UI)) {
    LOG(ERROR) << "CefWindow::CreateTopLevelWindow called off the UI thread";
    return nullptr;
  }
  return cef_internal::WindowImpl::Create(delegate).get();
}
