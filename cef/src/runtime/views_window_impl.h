// A Views top-level window: a real overlapped Win32 window whose child
// views fill its client area. The window keeps itself alive from creation
// until its native window is destroyed (WM_NCDESTROY).
#ifndef CEF_SRC_RUNTIME_VIEWS_WINDOW_IMPL_H_
#define CEF_SRC_RUNTIME_VIEWS_WINDOW_IMPL_H_
#pragma once

#include <windows.h>

#include <string>

#include "runtime/views_view_impl.h"

namespace cef_internal {

extern const wchar_t kViewsWindowClass[];

class WindowImpl : public PanelImplT<CefWindow> {
 public:
  static CefRefPtr<WindowImpl> Create(CefRefPtr<CefWindowDelegate> delegate);
  static WindowImpl* FromHwnd(HWND hwnd);
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  bool IsValid() override { return !closed_; }

  WindowImpl* AsWindowImpl() override { return this; }
  CefRefPtr<CefWindow> AsWindow() override { return this; }

  // CefWindow.
  void Show() override;
  void ShowAsBrowserModalDialog(CefRefPtr<CefBrowserView> browser_view) override;
  void Hide() override;
  void CenterWindow(const CefSize& size) override;
  void Close() override;
  bool IsClosed() override;
  void Activate() override;
  void Deactivate() override;
  bool IsActive() override;
  void BringToTop() override;
  void SetAlwaysOnTop(bool on_top) override;
  bool IsAlwaysOnTop() override;
  void Maximize() override;
  void Minimize() override;
  void Restore() override;
  void SetFullscreen(bool fullscreen) override;
  bool IsMaximized() override;
  bool IsMinimized() override;
  bool IsFullscreen() override;
  void SetTitle(const CefString& title) override;
  CefString GetTitle() override;
  CefRect GetClientAreaBoundsInScreen() override;
  CefWindowHandle GetWindowHandle() override;
  cef_runtime_style_t GetRuntimeStyle() override;

  // CefView overrides that act on the native window.
  void SetBounds(const CefRect& bounds) override;
  void SetVisible(bool visible) override;
  bool IsVisible() override;

  bool CanHost(CefRefPtr<CefView> view) override;

  HWND hwnd() const { return hwnd_; }
  // Destroys the native window without asking CanClose (shutdown).
  void ForceDestroy();

 protected:
  const char* type_string() override { return "Window"; }

 private:
  explicit WindowImpl(CefRefPtr<CefWindowDelegate> delegate);
  ~WindowImpl() override;

  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  CefWindowDelegate* window_delegate();
  void SizeToContents(bool center);
  void LayoutToClient();
  void OnDestroyed();

  HWND hwnd_ = nullptr;
  cef_runtime_style_t runtime_style_ = CEF_RUNTIME_STYLE_CHROME;
  bool shown_once_ = false;
  bool closed_ = false;
  bool closing_ = false;
  bool sized_ = false;
  bool fullscreen_ = false;
  WINDOWPLACEMENT placement_before_fullscreen_ = {};
  LONG style_before_fullscreen_ = 0;

  IMPLEMENT_REFCOUNTING(WindowImpl);
};

// Live Views windows; the shutdown step destroys leftovers. UI thread.
int LiveViewsWindowCount();
void DestroyAllViewsWindows();

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_VIEWS_WINDOW_IMPL_H_
