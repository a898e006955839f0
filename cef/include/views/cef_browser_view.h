#ifndef CEF_INCLUDE_VIEWS_CEF_BROWSER_VIEW_H_
#define CEF_INCLUDE_VIEWS_CEF_BROWSER_VIEW_H_
#pragma once

#include "include/cef_browser.h"
#include "include/views/cef_browser_view_delegate.h"
#include "include/views/cef_view.h"

// A view hosting one browser. UI thread.
class CefBrowserView : public CefView {
 public:
  // The browser is created when the view joins a window.
  static CefRefPtr<CefBrowserView> CreateBrowserView(CefRefPtr<CefClient> client,
                                                     const CefString& url,
                                                     const CefBrowserSettings& settings,
                                                     CefRefPtr<CefDictionaryValue> extra_info,
                                                     CefRefPtr<CefRequestContext> request_context,
                                                     CefRefPtr<CefBrowserViewDelegate> delegate);

  // The view hosting |browser|, or null for a browser without one.
  static CefRefPtr<CefBrowserView> GetForBrowser(CefRefPtr<CefBrowser> browser);

  // Null until the browser has been created.
  virtual CefRefPtr<CefBrowser> GetBrowser() = 0;
  virtual CefRefPtr<CefView> GetChromeToolbar() = 0;
  virtual void SetPreferAccelerators(bool prefer_accelerators) = 0;
  virtual cef_runtime_style_t GetRuntimeStyle() = 0;
};

#endif  // CEF_INCLUDE_VIEWS_CEF_BROWSER_VIEW_H_
