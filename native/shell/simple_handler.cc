#include "shell/simple_handler.h"

#include <string>
#include <vector>

#include "desktop/desktop.h"
#include "shell/load_error_page.h"
#include "include/base/cef_logging.h"
#include "include/cef_app.h"
#include "include/views/cef_browser_view.h"
#include "include/views/cef_window.h"
#include "include/wrapper/cef_closure_task.h"
#include "include/wrapper/cef_helpers.h"

namespace {

SimpleHandler* g_instance = nullptr;

constexpr int64_t kPollDelayMs = 1000;

}  // namespace

SimpleHandler::SimpleHandler(bool is_alloy_style) : is_alloy_style_(is_alloy_style) {
  DCHECK(!g_instance);
  g_instance = this;
}

SimpleHandler::~SimpleHandler() {
  g_instance = nullptr;
}

// static
SimpleHandler* SimpleHandler::GetInstance() {
  return g_instance;
}

void SimpleHandler::OnAfterCreated(CefRefPtr<CefBrowser> browser) {
  CEF_REQUIRE_UI_THREAD();
  // Every browser the client creates carries the client's runtime style.
  CHECK((is_alloy_style_ ? CEF_RUNTIME_STYLE_ALLOY : CEF_RUNTIME_STYLE_CHROME) ==
        browser->GetHost()->GetRuntimeStyle());

  browser_list_.push_back(browser);
  DesktopBrowserCreated(browser);

  LOG(INFO) << "KESTA browser created id=" << browser->GetIdentifier()
            << " game=" << (DesktopIsGame(browser) ? "1" : "0")
            << " context=" << browser->GetHost()->GetRequestContext()->GetCachePath().ToString();

  if (!poll_started_) {
    poll_started_ = true;
    DesktopPoll();
  }

  // Created while everything is being closed (a popup, or a window asked for
  // just before the close): it would outlive the heartbeat and keep the
  // message loop running. Nothing has loaded in it yet, so force is safe.
  if (is_closing_ || closing_all_)
    browser->GetHost()->CloseBrowser(true);
}

bool SimpleHandler::DoClose(CefRefPtr<CefBrowser> browser) {
  CEF_REQUIRE_UI_THREAD();
  // Closing the last window ends the client, even while the launch waits.
  if (browser_list_.size() == 1)
    is_closing_ = true;
  return false;
}

void SimpleHandler::OnBeforeClose(CefRefPtr<CefBrowser> browser) {
  CEF_REQUIRE_UI_THREAD();
  OnResetDialogState(browser);
  DesktopBrowserClosed(browser);

  for (auto it = browser_list_.begin(); it != browser_list_.end(); ++it) {
    if ((*it)->IsSame(browser)) {
      browser_list_.erase(it);
      break;
    }
  }

  if (browser_list_.empty()) {
    is_closing_ = true;
    DesktopStop();
    CefQuitMessageLoop();
  }
}

void SimpleHandler::ShowMainWindow() {
  if (!CefCurrentlyOn(TID_UI)) {
    CefPostTask(TID_UI, base::BindOnce(&SimpleHandler::ShowMainWindow, this));
    return;
  }
  if (browser_list_.empty()) {
    if (DesktopWaitingForLaunch())
      DesktopShowUpdates();
    return;
  }
  CefRefPtr<CefBrowser> main_browser = browser_list_.front();
  if (CefRefPtr<CefBrowserView> browser_view = CefBrowserView::GetForBrowser(main_browser)) {
    if (CefRefPtr<CefWindow> window = browser_view->GetWindow())
      window->Show();
  } else if (is_alloy_style_) {
    PlatformShowWindow(main_browser);
  }
}

void SimpleHandler::CloseAllBrowsers(bool force_close) {
  if (!CefCurrentlyOn(TID_UI)) {
    CefPostTask(TID_UI, base::BindOnce(&SimpleHandler::CloseAllBrowsers, this, force_close));
    return;
  }
  if (browser_list_.empty()) {
    // Nothing keeps the message loop running: end the client now.
    is_closing_ = true;
    ready_callback_.Reset();
    DesktopStop();
    CefQuitMessageLoop();
    return;
  }
  // Browsers still being created are closed as they arrive (OnAfterCreated).
  closing_all_ = true;
  // Closing calls back into this object, which edits the list: walk a copy.
  const std::list<CefRefPtr<CefBrowser>> browsers = browser_list_;
  for (const auto& browser : browsers)
    browser->GetHost()->CloseBrowser(force_close);
}

void SimpleHandler::StartDesktop(base::OnceCallback<void()> ready) {
  CEF_REQUIRE_UI_THREAD();
  ready_callback_ = std::move(ready);
  poll_started_ = true;
  DesktopPoll();
}

void SimpleHandler::DesktopPoll() {
  CEF_REQUIRE_UI_THREAD();
  if (is_closing_)
    return;
  CefRefPtr<CefListValue> windows = CefListValue::Create();
  size_t index = 0;
  for (const auto& browser : browser_list_) {
    CefRefPtr<CefDictionaryValue> entry = CefDictionaryValue::Create();
    entry->SetInt("id", browser->GetIdentifier());
    entry->SetString("url", browser->GetMainFrame()->GetURL());
    entry->SetString("generation", DesktopBrowserGeneration(browser));
    windows->SetDictionary(index++, entry);
  }
  DesktopSendHeartbeat(windows, this);
}

void SimpleHandler::DesktopApply(const std::string& reply) {
  CEF_REQUIRE_UI_THREAD();
  if (is_closing_)
    return;

  bool launch = false;
  bool quit = false;
  std::vector<std::string> urls;
  DesktopApplyResponse(reply, launch, quit, urls);

  if (quit) {
    CloseAllBrowsers(true);
    return;
  }
  if (launch && ready_callback_)
    std::move(ready_callback_).Run();
  for (const auto& url : urls)
    OpenWindow(url);

  CefPostDelayedTask(TID_UI, base::BindOnce(&SimpleHandler::DesktopPoll, this), kPollDelayMs);
}

// Policy hooks.

namespace {

// A URL is under an origin when its bytes start with the origin and "/".
bool UnderOrigin(const std::string& url, const std::string& origin) {
  return !origin.empty() && url.size() > origin.size() && url.compare(0, origin.size(), origin) == 0 &&
         url[origin.size()] == '/';
}

bool IsWebUrl(const std::string& url) {
  return url.starts_with("https://") || url.starts_with("http://");
}

}  // namespace

void SimpleHandler::OnTitleChange(CefRefPtr<CefBrowser> browser, const CefString& title) {
  CEF_REQUIRE_UI_THREAD();
  if (CefRefPtr<CefBrowserView> browser_view = CefBrowserView::GetForBrowser(browser)) {
    if (CefRefPtr<CefWindow> window = browser_view->GetWindow())
      window->SetTitle(title);
  } else if (is_alloy_style_) {
    PlatformTitleChange(browser, title);
  }
}

bool SimpleHandler::OnBeforePopup(CefRefPtr<CefBrowser> browser,
                                  CefRefPtr<CefFrame> frame,
                                  int popup_id,
                                  const CefString& target_url,
                                  const CefString& target_frame_name,
                                  CefLifeSpanHandler::WindowOpenDisposition target_disposition,
                                  bool user_gesture,
                                  const CefPopupFeatures& popupFeatures,
                                  CefWindowInfo& windowInfo,
                                  CefRefPtr<CefClient>& client,
                                  CefBrowserSettings& settings,
                                  CefRefPtr<CefDictionaryValue>& extra_info,
                                  bool* no_javascript_access) {
  CEF_REQUIRE_UI_THREAD();
  if (!DesktopIsGame(browser))
    return false;
  const std::string url = target_url.ToString();
  if (UnderOrigin(url, DesktopBrowserOrigin(browser))) {
    if (!DesktopAllowGamePopup()) {
      DesktopShowUpdates();
      return true;
    }
    return false;
  }
  if (IsWebUrl(url)) {
    OpenWindow(url);
    return true;
  }
  return false;
}

void SimpleHandler::OpenWindow(const std::string& url) {
  CefWindowInfo window_info;
  window_info.runtime_style = is_alloy_style_ ? CEF_RUNTIME_STYLE_ALLOY : CEF_RUNTIME_STYLE_CHROME;
  CefBrowserSettings settings;
  CefBrowserHost::CreateBrowser(window_info, this, url, settings, nullptr, DesktopWebContext());
}

bool SimpleHandler::OnBeforeBrowse(CefRefPtr<CefBrowser> browser,
                                   CefRefPtr<CefFrame> frame,
                                   CefRefPtr<CefRequest> request,
                                   bool user_gesture,
                                   bool is_redirect) {
  CEF_REQUIRE_UI_THREAD();
  if (!frame->IsMain() || !DesktopIsGame(browser))
    return false;
  const std::string url = request->GetURL().ToString();
  if (UnderOrigin(url, DesktopBrowserOrigin(browser)) || DesktopMigrationURL(url))
    return false;
  // A game browser stays on its origin; anything else opens beside it.
  OpenWindow(url);
  return true;
}

void SimpleHandler::OnLoadError(CefRefPtr<CefBrowser> browser,
                                CefRefPtr<CefFrame> frame,
                                ErrorCode errorCode,
                                const CefString& errorText,
                                const CefString& failedUrl) {
  CEF_REQUIRE_UI_THREAD();
  if (!is_alloy_style_ || errorCode == ERR_ABORTED)
    return;
  frame->LoadURL(LoadErrorPage(failedUrl.ToString(), errorText.ToString(), errorCode));
}

bool SimpleHandler::GetAuthCredentials(CefRefPtr<CefBrowser> browser,
                                       const CefString& origin_url,
                                       bool isProxy,
                                       const CefString& host,
                                       int port,
                                       const CefString& realm,
                                       const CefString& scheme,
                                       CefRefPtr<CefAuthCallback> callback) {
  return DesktopProxyAuthentication(isProxy, host, port, scheme, callback);
}

CefRefPtr<CefResourceRequestHandler> SimpleHandler::GetResourceRequestHandler(CefRefPtr<CefBrowser> browser,
                                                                              CefRefPtr<CefFrame> frame,
                                                                              CefRefPtr<CefRequest> request,
                                                                              bool is_navigation,
                                                                              bool is_download,
                                                                              const CefString& request_initiator,
                                                                              bool& disable_default_handling) {
  return this;
}

cef_return_value_t SimpleHandler::OnBeforeResourceLoad(CefRefPtr<CefBrowser> browser,
                                                       CefRefPtr<CefFrame> frame,
                                                       CefRefPtr<CefRequest> request,
                                                       CefRefPtr<CefCallback> callback) {
  return DesktopResource(browser, frame, request);
}

void SimpleHandler::OnBeforeContextMenu(CefRefPtr<CefBrowser> browser,
                                        CefRefPtr<CefFrame> frame,
                                        CefRefPtr<CefContextMenuParams> params,
                                        CefRefPtr<CefMenuModel> model) {
  CEF_REQUIRE_UI_THREAD();
  if (DesktopIsGame(browser))
    model->Clear();
}

bool SimpleHandler::OnBeforeUnloadDialog(CefRefPtr<CefBrowser> browser,
                                         const CefString& message_text,
                                         bool is_reload,
                                         CefRefPtr<CefJSDialogCallback> callback) {
  return false;
}

void SimpleHandler::OnResetDialogState(CefRefPtr<CefBrowser> browser) {}
