// CefBrowserHost's static entry points and the popup road.
#include "core/message_loop.h"
#include "core/url_canon.h"
#include "include/base/cef_logging.h"
#include "include/cef_task.h"
#include "runtime/browser_frame_impl.h"
#include "runtime/browser_popup.h"
#include "runtime/browser_registry.h"
#include "runtime/runtime_state.h"
#include "runtime/views_browser_view_impl.h"
#include "runtime/views_window_impl.h"

namespace cef_internal {
namespace {

cef_runtime_style_t ResolveStyle(const CefWindowInfo& info) {
  // Windowless rendering exists only in the Alloy style.
  if (info.windowless_rendering_enabled)
    return CEF_RUNTIME_STYLE_ALLOY;
  return info.runtime_style == CEF_RUNTIME_STYLE_ALLOY ? CEF_RUNTIME_STYLE_ALLOY : CEF_RUNTIME_STYLE_CHROME;
}

// The window CEF gives a popup of a Views browser when the opener's
// delegate does not place it itself.
class DefaultPopupWindowDelegate : public CefWindowDelegate {
 public:
  DefaultPopupWindowDelegate(CefRefPtr<CefBrowserView> view,
                             cef_runtime_style_t style,
                             const CefPopupFeatures& features)
      : view_(view), style_(style) {
    if (features.widthSet && features.heightSet && features.width > 0 && features.height > 0) {
      size_ = CefSize(features.width, features.height);
    }
  }

  void OnWindowCreated(CefRefPtr<CefWindow> window) override {
    window->AddChildView(view_);
    window->Show();
  }
  void OnWindowDestroyed(CefRefPtr<CefWindow> window) override { view_ = nullptr; }
  CefSize GetPreferredSize(CefRefPtr<CefView> view) override { return size_; }
  bool CanClose(CefRefPtr<CefWindow> window) override {
    CefRefPtr<CefBrowser> browser = view_ ? view_->GetBrowser() : nullptr;
    return !browser || browser->GetHost()->TryCloseBrowser();
  }
  cef_runtime_style_t GetWindowRuntimeStyle() override { return style_; }

 private:
  CefRefPtr<CefBrowserView> view_;
  const cef_runtime_style_t style_;
  CefSize size_;
  IMPLEMENT_REFCOUNTING(DefaultPopupWindowDelegate);
};

}  // namespace

PopupOutcome OpenPopup(CefRefPtr<BrowserHostImpl> opener, CefRefPtr<FrameImpl> frame, const PopupRequest& written) {
  PopupOutcome outcome;
  if (!opener || !opener->IsValid())
    return outcome;
  // The page's URL is resolved against its document, as window.open does;
  // an empty one stays empty (a blank popup).
  PopupRequest request = written;
  if (!written.target_url.empty()) {
    request.target_url = ResolveUrlReference(frame ? frame->url() : std::string(), written.target_url);
    if (request.target_url.empty())
      return outcome;  // window.open refuses a URL it cannot parse
  }
  outcome.popup_id = NextPopupId();

  // What the popup would get; OnBeforePopup may change all of it.
  CefWindowInfo window_info;
  window_info.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE;
  const CefPopupFeatures& f = request.features;
  window_info.bounds.x = f.xSet ? f.x : CW_USEDEFAULT;
  window_info.bounds.y = f.ySet ? f.y : CW_USEDEFAULT;
  window_info.bounds.width = f.widthSet ? f.width : CW_USEDEFAULT;
  window_info.bounds.height = f.heightSet ? f.height : CW_USEDEFAULT;
  window_info.runtime_style = opener->GetRuntimeStyle();
  CefRefPtr<CefClient> client = opener->GetClient();
  CefBrowserSettings settings;
  CefRefPtr<CefDictionaryValue> extra_info;
  bool no_javascript_access = false;

  if (client) {
    if (auto handler = client->GetLifeSpanHandler()) {
      if (handler->OnBeforePopup(opener.get(), frame.get(), outcome.popup_id, request.target_url,
                                 request.target_frame_name, request.disposition, request.user_gesture, request.features,
                                 window_info, client, settings, extra_info, &no_javascript_access)) {
        outcome.cancelled = true;
        return outcome;
      }
    }
  }
  if (!opener->IsValid()) {
    if (client) {
      if (auto handler = client->GetLifeSpanHandler()) {
        handler->OnBeforePopupAborted(opener.get(), outcome.popup_id);
      }
    }
    return outcome;
  }

  // A popup always has its opener's runtime style.
  const cef_runtime_style_t style = opener->GetRuntimeStyle();
  BrowserViewImpl* opener_view = opener->view();
  HWND opener_window = opener->GetWindowHandle();

  if (!opener_view) {
    // Native popup: the window information as the handler left it.
    BrowserHostImpl::CreateParams params;
    params.client = client;
    params.url = request.target_url;
    params.settings = settings;
    params.extra_info = extra_info;
    params.request_context = opener->GetRequestContext();
    params.runtime_style = style;
    params.is_popup = true;
    params.opener_id = opener->GetIdentifier();
    params.opener_window = opener_window;
    window_info.runtime_style = style;
    outcome.browser = BrowserHostImpl::CreateNative(window_info, std::move(params));
    if (!outcome.browser && client) {
      if (auto handler = client->GetLifeSpanHandler()) {
        handler->OnBeforePopupAborted(opener.get(), outcome.popup_id);
      }
    }
    return outcome;
  }

  // Views: window information edits do not apply.
  CefRefPtr<CefBrowserView> opener_view_ref(opener_view);
  CefRefPtr<CefBrowserViewDelegate> opener_delegate = opener_view->browser_delegate();
  CefRefPtr<CefBrowserViewDelegate> popup_delegate =
      opener_delegate ? opener_delegate->GetDelegateForPopupBrowserView(opener_view, settings, client, false) : nullptr;
  CefRefPtr<BrowserViewImpl> popup_view = new BrowserViewImpl(client, request.target_url, settings, extra_info,
                                                              opener->GetRequestContext(), popup_delegate);
  outcome.browser = popup_view->CreatePopupBrowser(opener->GetIdentifier(), opener_window, style);
  if (!outcome.browser) {
    if (client) {
      if (auto handler = client->GetLifeSpanHandler()) {
        handler->OnBeforePopupAborted(opener.get(), outcome.popup_id);
      }
    }
    return outcome;
  }
  bool placed = opener_delegate && opener_delegate->OnPopupBrowserViewCreated(opener_view, popup_view.get(), false);
  if (!placed) {
    CefWindow::CreateTopLevelWindow(new DefaultPopupWindowDelegate(popup_view.get(), style, request.features));
  }
  if (outcome.browser->IsValid())
    outcome.browser->StartInitialLoad();
  return outcome;
}

}  // namespace cef_internal

using cef_internal::BrowserHostImpl;

bool CefBrowserHost::CreateBrowser(const CefWindowInfo& windowInfo,
                                   CefRefPtr<CefClient> client,
                                   const CefString& url,
                                   const CefBrowserSettings& settings,
                                   CefRefPtr<CefDictionaryValue> extra_info,
                                   CefRefPtr<CefRequestContext> request_context) {
  if (!cef_internal::IsRuntimeRunning()) {
    LOG(ERROR) << "CefBrowserHost::CreateBrowser called while the runtime is not running";
    return false;
  }
  if (windowInfo.windowless_rendering_enabled) {
    LOG(ERROR) << "Windowless rendering is not supported";
    return false;
  }
  CefWindowInfo info(windowInfo);
  BrowserHostImpl::CreateParams params;
  params.client = client;
  params.url = url.ToString();
  params.settings = settings;
  params.extra_info = extra_info;
  params.request_context = request_context;
  params.runtime_style = cef_internal::ResolveStyle(windowInfo);
  // Always asynchronous, as CEF creates the window on the UI thread later.
  auto shared = std::make_shared<BrowserHostImpl::CreateParams>(std::move(params));
  auto shared_info = std::make_shared<CefWindowInfo>(info);
  return cef_internal::PostFunction(TID_UI, [shared, shared_info] {
    if (cef_internal::IsRuntimeRunning()) {
      BrowserHostImpl::CreateNative(*shared_info, std::move(*shared));
    }
  });
}

CefRefPtr<CefBrowser> CefBrowserHost::CreateBrowserSync(const CefWindowInfo& windowInfo,
                                                        CefRefPtr<CefClient> client,
                                                        const CefString& url,
                                                        const CefBrowserSettings& settings,
                                                        CefRefPtr<CefDictionaryValue> extra_info,
                                                        CefRefPtr<CefRequestContext> request_context) {
  if (!CefCurrentlyOn(TID_UI) || !cef_internal::IsRuntimeRunning()) {
    LOG(ERROR) << "CefBrowserHost::CreateBrowserSync needs the running UI thread";
    return nullptr;
  }
  if (windowInfo.windowless_rendering_enabled) {
    LOG(ERROR) << "Windowless rendering is not supported";
    return nullptr;
  }
  BrowserHostImpl::CreateParams params;
  params.client = client;
  params.url = url.ToString();
  params.settings = settings;
  params.extra_info = extra_info;
  params.request_context = request_context;
  params.runtime_style = cef_internal::ResolveStyle(windowInfo);
  return BrowserHostImpl::CreateNative(windowInfo, std::move(params)).get();
}

CefRefPtr<CefBrowser> CefBrowserHost::GetBrowserByIdentifier(int browser_id) {
  return cef_internal::FindBrowser(browser_id).get();
}
