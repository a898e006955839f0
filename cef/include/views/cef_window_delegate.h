#ifndef CEF_INCLUDE_VIEWS_CEF_WINDOW_DELEGATE_H_
#define CEF_INCLUDE_VIEWS_CEF_WINDOW_DELEGATE_H_
#pragma once

#include "include/views/cef_panel_delegate.h"

class CefWindow;

// Customises a CefWindow. Called on the UI thread.
class CefWindowDelegate : public CefPanelDelegate {
 public:
  // The native window exists; add child views and show it here.
  virtual void OnWindowCreated(CefRefPtr<CefWindow> window) {}
  virtual void OnWindowClosing(CefRefPtr<CefWindow> window) {}
  // The window is gone; release every reference to it.
  virtual void OnWindowDestroyed(CefRefPtr<CefWindow> window) {}
  virtual void OnWindowActivationChanged(CefRefPtr<CefWindow> window, bool active) {}
  virtual void OnWindowBoundsChanged(CefRefPtr<CefWindow> window, const CefRect& new_bounds) {}
  virtual void OnWindowFullscreenTransition(CefRefPtr<CefWindow> window, bool is_completed) {}

  virtual CefRefPtr<CefWindow> GetParentWindow(CefRefPtr<CefWindow> window, bool* is_menu, bool* can_activate_menu) {
    return nullptr;
  }
  virtual bool IsWindowModalDialog(CefRefPtr<CefWindow> window) { return false; }
  // Empty: size from GetPreferredSize, centred on the screen.
  virtual CefRect GetInitialBounds(CefRefPtr<CefWindow> window) { return CefRect(); }
  virtual cef_show_state_t GetInitialShowState(CefRefPtr<CefWindow> window) { return CEF_SHOW_STATE_NORMAL; }
  virtual bool IsFrameless(CefRefPtr<CefWindow> window) { return false; }
  virtual bool WithStandardWindowButtons(CefRefPtr<CefWindow> window) { return !IsFrameless(window); }
  virtual bool GetTitlebarHeight(CefRefPtr<CefWindow> window, float* titlebar_height) { return false; }
  virtual cef_state_t AcceptsFirstMouse(CefRefPtr<CefWindow> window) { return STATE_DEFAULT; }
  virtual bool CanResize(CefRefPtr<CefWindow> window) { return true; }
  virtual bool CanMaximize(CefRefPtr<CefWindow> window) { return true; }
  virtual bool CanMinimize(CefRefPtr<CefWindow> window) { return true; }
  // Asked for a user close and for CefWindow::Close().
  virtual bool CanClose(CefRefPtr<CefWindow> window) { return true; }
  virtual bool OnAccelerator(CefRefPtr<CefWindow> window, int command_id) { return false; }
  virtual bool OnKeyEvent(CefRefPtr<CefWindow> window, const CefKeyEvent& event) { return false; }
  virtual void OnThemeColorsChanged(CefRefPtr<CefWindow> window, bool chrome_theme) {}
  virtual cef_runtime_style_t GetWindowRuntimeStyle() { return CEF_RUNTIME_STYLE_DEFAULT; }
  virtual bool GetLinuxWindowProperties(CefRefPtr<CefWindow> window, CefLinuxWindowProperties& properties) {
    return false;
  }
};

// GetParentWindow's default needs the complete CefWindow.
#include "include/views/cef_window.h"

#endif  // CEF_INCLUDE_VIEWS_CEF_WINDOW_DELEGATE_H_
