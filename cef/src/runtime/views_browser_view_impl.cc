#include "runtime/views_browser_view_impl.h"

#include "include/base/cef_logging.h"
#include "include/cef_task.h"
#include "runtime/browser_window_win.h"
#include "runtime/views_window_impl.h"

namespace cef_internal {

BrowserViewImpl::BrowserViewImpl(CefRefPtr<CefClient> client,
                                 const std::string& url,
                                 const CefBrowserSettings& settings,
                                 CefRefPtr<CefDictionaryValue> extra_info,
                                 CefRefPtr<CefRequestContext> request_context,
                                 CefRefPtr<CefBrowserViewDelegate> delegate)
    : ViewImpl<CefBrowserView>(delegate.get()),
      client_(client),
      url_(url),
      settings_(settings),
      extra_info_(extra_info),
      request_context_(request_context),
      browser_delegate_(delegate),
      runtime_style_(delegate ? delegate->GetBrowserRuntimeStyle() : CEF_RUNTIME_STYLE_DEFAULT) {}

BrowserViewImpl::~BrowserViewImpl() {
  // The last reference to a view whose browser still lives (a popup view
  // nobody placed): the browser cannot be shown anymore, so it closes.
  if (browser_) {
    browser_->DetachView();
    HWND host = browser_->host_window();
    if (host && IsWindow(host))
      DestroyWindow(host);
  }
}

CefRefPtr<CefBrowser> BrowserViewImpl::GetBrowser() {
  return browser_.get();
}

cef_runtime_style_t BrowserViewImpl::GetRuntimeStyle() {
  if (browser_)
    return browser_->GetRuntimeStyle();
  if (runtime_style_ != CEF_RUNTIME_STYLE_DEFAULT)
    return runtime_style_;
  // A default-style view takes the style of the window it is in.
  WindowImpl* window = RootWindow();
  return window ? window->GetRuntimeStyle() : CEF_RUNTIME_STYLE_CHROME;
}

CefRefPtr<WindowImpl> BrowserViewImpl::window_impl() {
  return RootWindow();
}

CefRefPtr<BrowserHostImpl> BrowserViewImpl::CreatePopupBrowser(int opener_id,
                                                               HWND opener_window,
                                                               cef_runtime_style_t style) {
  if (browser_made_)
    return browser_;
  browser_made_ = true;
  runtime_style_ = style;
  BrowserHostImpl::CreateParams params;
  params.client = client_;
  params.url = url_;
  params.settings = settings_;
  params.extra_info = extra_info_;
  params.request_context = request_context_;
  params.runtime_style = style;
  params.is_popup = true;
  params.opener_id = opener_id;
  params.opener_window = opener_window;
  params.view = this;
  browser_ = BrowserHostImpl::CreateForView(ParkingWindow(), std::move(params));
  if (browser_)
    browser_->NotifyCreated();
  return browser_;
}

void BrowserViewImpl::OnBrowserDestroyed() {
  browser_ = nullptr;
}

void BrowserViewImpl::OnWindowChangedInternal(WindowImpl* window) {
  ViewNode::OnWindowChangedInternal(window);
  if (!window) {
    // Out of the window: the browser waits hidden until placed again.
    if (browser_ && browser_->host_window())
      SetParent(browser_->host_window(), ParkingWindow());
    return;
  }
  if (browser_) {
    if (browser_->host_window())
      SetParent(browser_->host_window(), window->hwnd());
    LayoutInternal(bounds_);
    return;
  }
  if (browser_made_)
    return;
  browser_made_ = true;
  BrowserHostImpl::CreateParams params;
  params.client = client_;
  params.url = url_;
  params.settings = settings_;
  params.extra_info = extra_info_;
  params.request_context = request_context_;
  params.runtime_style = GetRuntimeStyle();
  params.view = this;
  CefRefPtr<BrowserHostImpl> browser = BrowserHostImpl::CreateForView(window->hwnd(), std::move(params));
  if (!browser)
    return;
  browser_ = browser;
  LayoutInternal(bounds_);
  browser->NotifyCreated();
  browser->StartInitialLoad();
}

void BrowserViewImpl::LayoutInternal(const CefRect& bounds) {
  ViewImpl<CefBrowserView>::LayoutInternal(bounds);
  if (!browser_ || !browser_->host_window() || !RootWindow())
    return;
  CefPoint origin(0, 0);
  ConvertPointToWindow(origin);
  SetWindowPos(browser_->host_window(), nullptr, origin.x, origin.y, bounds.width, bounds.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace cef_internal

CefRefPtr<CefBrowserView> CefBrowserView::CreateBrowserView(CefRefPtr<CefClient> client,
                                                            const CefString& url,
                                                            const CefBrowserSettings& settings,
                                                            CefRefPtr<CefDictionaryValue> extra_info,
                                                            CefRefPtr<CefRequestContext> request_context,
                                                            CefRefPtr<CefBrowserViewDelegate> delegate) {
  if (!CefCurrentlyOn(TID_UI)) {
    LOG(ERROR) << "CefBrowserView::CreateBrowserView called off the UI thread";
    return nullptr;
  }
  return new cef_internal::BrowserViewImpl(client, url.ToString(), settings, extra_info, request_context, delegate);
}

CefRefPtr<CefBrowserView> CefBrowserView::GetForBrowser(CefRefPtr<CefBrowser> browser) {
  auto impl = cef_internal::BrowserHostImpl::FromBrowser(browser);
  if (!impl || !impl->view())
    return nullptr;
  return impl->view();
}
