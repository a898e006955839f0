#ifndef CEF_INCLUDE_VIEWS_CEF_BROWSER_VIEW_DELEGATE_H_
#define CEF_INCLUDE_VIEWS_CEF_BROWSER_VIEW_DELEGATE_H_
#pragma once

#include "include/cef_client.h"
#include "include/views/cef_view_delegate.h"

class CefBrowser;
class CefBrowserView;

// Customises a CefBrowserView. Called on the UI thread.
class CefBrowserViewDelegate : public CefViewDelegate {
 public:
  typedef cef_chrome_toolbar_type_t ChromeToolbarType;

  // After CefLifeSpanHandler::OnAfterCreated; for a popup, before the
  // opener's OnPopupBrowserViewCreated.
  virtual void OnBrowserCreated(CefRefPtr<CefBrowserView> browser_view, CefRefPtr<CefBrowser> browser) {}
  // Before CefLifeSpanHandler::OnBeforeClose.
  virtual void OnBrowserDestroyed(CefRefPtr<CefBrowserView> browser_view, CefRefPtr<CefBrowser> browser) {}

  // The delegate of a popup's browser view; by default this one.
  virtual CefRefPtr<CefBrowserViewDelegate> GetDelegateForPopupBrowserView(CefRefPtr<CefBrowserView> browser_view,
                                                                           const CefBrowserSettings& settings,
                                                                           CefRefPtr<CefClient> client,
                                                                           bool is_devtools) {
    return this;
  }

  // Return true after placing |popup_browser_view| in a window yourself;
  // false lets the runtime make a default window for it.
  virtual bool OnPopupBrowserViewCreated(CefRefPtr<CefBrowserView> browser_view,
                                         CefRefPtr<CefBrowserView> popup_browser_view,
                                         bool is_devtools) {
    return false;
  }

  virtual ChromeToolbarType GetChromeToolbarType(CefRefPtr<CefBrowserView> browser_view) { return CEF_CTT_NONE; }
  virtual bool UseFramelessWindowForPictureInPicture(CefRefPtr<CefBrowserView> browser_view) { return false; }
  virtual bool AllowMoveForPictureInPicture(CefRefPtr<CefBrowserView> browser_view) { return false; }
  virtual bool AllowPictureInPictureWithoutUserActivation(CefRefPtr<CefBrowserView> browser_view) { return false; }
  virtual bool OnGestureCommand(CefRefPtr<CefBrowserView> browser_view, cef_gesture_command_t gesture_command) {
    return false;
  }
  virtual cef_runtime_style_t GetBrowserRuntimeStyle() { return CEF_RUNTIME_STYLE_DEFAULT; }
};

#endif  // CEF_INCLUDE_VIEWS_CEF_BROWSER_VIEW_DELEGATE_H_
