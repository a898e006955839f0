// A Views browser view. It creates its browser (a host window inside the
// view's window) when it first joins a window; a popup's view starts with a
// browser that waits in the hidden parking window until it is placed.
#ifndef CEF_SRC_RUNTIME_VIEWS_BROWSER_VIEW_IMPL_H_
#define CEF_SRC_RUNTIME_VIEWS_BROWSER_VIEW_IMPL_H_
#pragma once

#include <string>

#include "runtime/browser_host_impl.h"
#include "runtime/views_view_impl.h"

namespace cef_internal {

class BrowserViewImpl : public ViewImpl<CefBrowserView> {
 public:
  BrowserViewImpl(CefRefPtr<CefClient> client,
                  const std::string& url,
                  const CefBrowserSettings& settings,
                  CefRefPtr<CefDictionaryValue> extra_info,
                  CefRefPtr<CefRequestContext> request_context,
                  CefRefPtr<CefBrowserViewDelegate> delegate);

  BrowserViewImpl* AsBrowserViewImpl() override { return this; }
  CefRefPtr<CefBrowserView> AsBrowserView() override { return this; }

  // CefBrowserView.
  CefRefPtr<CefBrowser> GetBrowser() override;
  CefRefPtr<CefView> GetChromeToolbar() override { return nullptr; }
  void SetPreferAccelerators(bool prefer_accelerators) override {}
  cef_runtime_style_t GetRuntimeStyle() override;

  // Runtime side.
  CefRefPtr<CefBrowserViewDelegate> browser_delegate() { return browser_delegate_; }
  CefRefPtr<WindowImpl> window_impl();
  // A popup's view: the browser is made now, parked until the view joins a
  // window. Reports OnAfterCreated and OnBrowserCreated.
  CefRefPtr<BrowserHostImpl> CreatePopupBrowser(int opener_id, HWND opener_window, cef_runtime_style_t style);
  void OnBrowserDestroyed();

  void OnWindowChangedInternal(WindowImpl* window) override;
  void LayoutInternal(const CefRect& bounds) override;

 protected:
  const char* type_string() override { return "BrowserView"; }

 private:
  ~BrowserViewImpl() override;

  CefRefPtr<CefClient> client_;
  std::string url_;
  CefBrowserSettings settings_;
  CefRefPtr<CefDictionaryValue> extra_info_;
  CefRefPtr<CefRequestContext> request_context_;
  CefRefPtr<CefBrowserViewDelegate> browser_delegate_;
  cef_runtime_style_t runtime_style_;
  CefRefPtr<BrowserHostImpl> browser_;
  bool browser_made_ = false;  // a view makes one browser in its life

  IMPLEMENT_REFCOUNTING(BrowserViewImpl);
};

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_VIEWS_BROWSER_VIEW_IMPL_H_
