#ifndef CEF_INCLUDE_VIEWS_CEF_WINDOW_H_
#define CEF_INCLUDE_VIEWS_CEF_WINDOW_H_
#pragma once

#include "include/internal/cef_win.h"
#include "include/views/cef_panel.h"
#include "include/views/cef_window_delegate.h"

// A top-level window. UI thread.
class CefWindow : public CefPanel {
 public:
  // Creates the window; OnWindowCreated runs before this returns. The window
  // keeps itself alive until it is destroyed.
  static CefRefPtr<CefWindow> CreateTopLevelWindow(CefRefPtr<CefWindowDelegate> delegate);

  // Shows the window in its initial show state the first time.
  virtual void Show() = 0;
  virtual void ShowAsBrowserModalDialog(CefRefPtr<CefBrowserView> browser_view) = 0;
  virtual void Hide() = 0;
  virtual void CenterWindow(const CefSize& size) = 0;
  // Closes through CanClose().
  virtual void Close() = 0;
  virtual bool IsClosed() = 0;
  virtual void Activate() = 0;
  virtual void Deactivate() = 0;
  virtual bool IsActive() = 0;
  virtual void BringToTop() = 0;
  virtual void SetAlwaysOnTop(bool on_top) = 0;
  virtual bool IsAlwaysOnTop() = 0;
  virtual void Maximize() = 0;
  virtual void Minimize() = 0;
  virtual void Restore() = 0;
  virtual void SetFullscreen(bool fullscreen) = 0;
  virtual bool IsMaximized() = 0;
  virtual bool IsMinimized() = 0;
  virtual bool IsFullscreen() = 0;
  virtual void SetTitle(const CefString& title) = 0;
  virtual CefString GetTitle() = 0;
  virtual CefRect GetClientAreaBoundsInScreen() = 0;
  virtual CefWindowHandle GetWindowHandle() = 0;
  virtual cef_runtime_style_t GetRuntimeStyle() = 0;
};

#endif  // CEF_INCLUDE_VIEWS_CEF_WINDOW_H_
