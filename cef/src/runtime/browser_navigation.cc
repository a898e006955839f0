// Navigations of a browser's frames: OnBeforeBrowse, the load (data: URLs
// here, everything else through the network stack) and the load handler's
// callbacks in CEF's order.
#include <windows.h>

#include "core/data_url.h"
#include "core/html_title.h"
#include "core/message_loop.h"
#include "core/url_canon.h"
#include "include/base/cef_logging.h"
#include "include/cef_task.h"
#include "runtime/browser_frame_impl.h"
#include "runtime/browser_host_impl.h"
#include "runtime/net/load_pipeline.h"

namespace cef_internal {

const char* ErrorCodeName(cef_errorcode_t code);

namespace {

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string SchemeOf(const std::string& url) {
  size_t colon = url.find(':');
  return colon == std::string::npos ? std::string() : LowerAscii(url.substr(0, colon));
}

class NavigationLoad : public PendingNavigation, public LoadDelegate {
 public:
  NavigationLoad(CefRefPtr<BrowserHostImpl> browser,
                 CefRefPtr<FrameImpl> frame,
                 std::string url,
                 cef_transition_type_t transition,
                 bool user_gesture)
      : browser_(browser),
        frame_(frame),
        url_(std::move(url)),
        current_url_(url_),
        transition_(transition),
        user_gesture_(user_gesture) {}

  void set_handle(CefRefPtr<LoadHandle> handle) { handle_ = handle; }

  // PendingNavigation.
  void Supersede() override {
    if (done_)
      return;
    done_ = true;
    if (handle_)
      handle_->Cancel();
    browser_->ReportLoadError(frame_, ERR_ABORTED, current_url_);
    browser_->LoadingFinished();
  }

  // LoadDelegate (UI thread: the load was started there).
  void OnLoadRedirect(CefRefPtr<CefRequest> request,
                      CefRefPtr<CefResponse> response,
                      const CefString& new_url) override {
    if (done_)
      return;
    current_url_ = new_url.ToString();
    CefRefPtr<CefRequestHandler> handler = RequestHandler();
    if (!handler)
      return;
    CefRefPtr<CefRequest> next = CefRequest::Create();
    next->SetURL(new_url);
    next->SetMethod(request ? request->GetMethod() : CefString("GET"));
    if (handler->OnBeforeBrowse(browser_.get(), frame_.get(), next, user_gesture_, true)) {
      // Whatever the load reports afterwards, the client ended it.
      cancelled_ = true;
      if (handle_)
        handle_->Cancel();
    }
  }

  void OnLoadResponse(CefRefPtr<CefResponse> response) override { response_ = response; }

  void OnLoadData(const void* data, size_t size) override { body_.append(static_cast<const char*>(data), size); }

  void OnLoadComplete(cef_errorcode_t error, CefRefPtr<CefResponse> response) override {
    if (cancelled_)
      error = ERR_ABORTED;
    if (response)
      response_ = response;
    int status = response_ ? response_->GetStatus() : 0;
    std::string mime = response_ ? LowerAscii(response_->GetMimeType().ToString()) : "";
    std::string url = current_url_;
    if (response_ && !response_->GetURL().empty())
      url = response_->GetURL().ToString();
    Finish(error, url, status, mime);
  }

  // Ends the navigation: commit or error, then the loading state.
  void Finish(cef_errorcode_t error, const std::string& url, int status, const std::string& mime) {
    if (done_)
      return;
    done_ = true;
    CefRefPtr<NavigationLoad> keep(this);
    browser_->ForgetNavigation(frame_.get(), this);
    if (browser_->IsValid() && frame_->IsValid()) {
      if (error != ERR_NONE) {
        browser_->ReportLoadError(frame_, error, error == ERR_ABORTED ? current_url_ : url);
      } else {
        frame_->set_source(body_);
        const bool is_html = mime == "text/html";
        browser_->OnFrameCommitted(frame_, url, body_, is_html, transition_);
        if (browser_->IsValid() && frame_->IsValid()) {
          // The document's own loads end the load and the loading state.
          browser_->LoadDocumentResources(frame_, is_html ? body_ : std::string(), status);
          return;
        }
      }
    }
    browser_->LoadingFinished();
  }

  void set_body(std::string body) { body_ = std::move(body); }

 private:
  CefRefPtr<CefRequestHandler> RequestHandler() {
    CefRefPtr<CefClient> client = browser_->GetClient();
    return client ? client->GetRequestHandler() : nullptr;
  }

  CefRefPtr<BrowserHostImpl> browser_;
  CefRefPtr<FrameImpl> frame_;
  const std::string url_;
  std::string current_url_;
  const cef_transition_type_t transition_;
  const bool user_gesture_;
  CefRefPtr<LoadHandle> handle_;
  CefRefPtr<CefResponse> response_;
  std::string body_;
  bool done_ = false;
  bool cancelled_ = false;

  IMPLEMENT_REFCOUNTING(NavigationLoad);
};

}  // namespace

void BrowserHostImpl::Navigate(CefRefPtr<FrameImpl> frame,
                               const std::string& written_url,
                               cef_transition_type_t transition,
                               bool user_gesture) {
  if (!IsValid() || !frame || !frame->IsValid())
    return;
  // Navigations carry GURLs: canonical, and an invalid URL goes nowhere.
  const std::string url = CanonicalizeUrl(written_url);
  if (url.empty()) {
    LOG(ERROR) << "Invalid URL: " << written_url;
    return;
  }
  CefRefPtr<BrowserHostImpl> self(this);

  // Loading goes on without a break when a newer navigation replaces one
  // still in flight.
  LoadingStarted();
  auto pending = navigations_.find(frame->identifier());
  if (pending != navigations_.end()) {
    CefRefPtr<PendingNavigation> old = pending->second;
    navigations_.erase(pending);
    old->Supersede();
    if (!IsValid()) {
      LoadingFinished();
      return;
    }
  }

  CefRefPtr<CefRequest> request = CefRequest::Create();
  request->SetURL(url);
  request->SetMethod("GET");
  CefRefPtr<CefRequestHandler> request_handler = client_ ? client_->GetRequestHandler() : nullptr;
  if (request_handler && request_handler->OnBeforeBrowse(this, frame.get(), request, user_gesture, false)) {
    if (IsValid())
      ReportLoadError(frame, ERR_ABORTED, url);
    LoadingFinished();
    return;
  }
  if (!IsValid() || !frame->IsValid()) {
    LoadingFinished();
    return;
  }

  CefRefPtr<NavigationLoad> load = new NavigationLoad(this, frame, url, transition, user_gesture);
  navigations_[frame->identifier()] = load.get();
  std::string scheme = SchemeOf(url);

  if (scheme == "data" || url == "about:blank") {
    // Local documents: no network, but still completed from a task like any
    // other load.
    PostFunction(TID_UI, [load, url] {
      if (url == "about:blank") {
        load->Finish(ERR_NONE, url, 0, "text/html");
        return;
      }
      DataURL data;
      if (!ParseDataURL(url, &data)) {
        load->Finish(ERR_INVALID_URL, url, 0, "");
        return;
      }
      load->set_body(std::move(data.body));
      load->Finish(ERR_NONE, url, 200, data.mime_type);
    });
    return;
  }

  LoadParams params;
  params.browser = this;
  params.frame = frame.get();
  params.request_handler = request_handler;
  params.request_context = request_context_;
  params.request = request;
  params.is_navigation = true;
  params.resource_type = frame->IsMain() ? RT_MAIN_FRAME : RT_SUB_FRAME;
  params.transition_type = transition;
  CefRefPtr<LoadHandle> handle = StartLoad(params, load.get());
  if (!handle) {
    PostFunction(TID_UI, [load, url] { load->Finish(ERR_FAILED, url, 0, ""); });
    return;
  }
  load->set_handle(handle);
}

void BrowserHostImpl::ForgetNavigation(FrameImpl* frame, PendingNavigation* navigation) {
  auto it = navigations_.find(frame->identifier());
  if (it != navigations_.end() && it->second.get() == navigation)
    navigations_.erase(it);
}

void BrowserHostImpl::ReportLoadError(CefRefPtr<FrameImpl> frame, cef_errorcode_t error, const std::string& url) {
  CefRefPtr<CefLoadHandler> handler = client_ ? client_->GetLoadHandler() : nullptr;
  if (handler)
    handler->OnLoadError(this, frame.get(), error, ErrorCodeName(error), url);
}

void BrowserHostImpl::OnFrameCommitted(CefRefPtr<FrameImpl> frame,
                                       const std::string& url,
                                       const std::string& body,
                                       bool is_html,
                                       cef_transition_type_t transition) {
  frame->set_url(url);
  AbandonDocument(frame->identifier());
  CefRefPtr<CefClient> client = client_;
  if (frame->IsMain()) {
    has_document_ = true;
    // A new document: the old one's sub-frames are gone.
    std::vector<CefRefPtr<FrameImpl>> gone;
    {
      std::lock_guard<std::mutex> lock(frames_mutex_);
      gone.swap(sub_frames_);
    }
    for (auto& sub : gone) {
      auto it = navigations_.find(sub->identifier());
      if (it != navigations_.end())
        navigations_.erase(it);
      AbandonDocument(sub->identifier());
      sub->Detach();
    }
    if (client) {
      // Dialogs of the old document are gone with it.
      if (auto dialogs = client->GetJSDialogHandler())
        dialogs->OnResetDialogState(this);
      if (auto display = client->GetDisplayHandler())
        display->OnAddressChange(this, frame.get(), url);
    }
  }
  if (client && IsValid()) {
    if (auto load = client->GetLoadHandler())
      load->OnLoadStart(this, frame.get(), transition);
  }
  if (!frame->IsMain() || !IsValid())
    return;

  // The page's title, or its URL when it has none.
  std::string title = is_html ? ExtractHtmlTitle(body) : std::string();
  if (title.empty())
    title = url;
  if (title == title_)
    return;
  title_ = title;
  // The runtime's own Chrome-style window shows the title; Alloy style
  // leaves window titles to the application.
  if (frame_window_ && runtime_style_ == CEF_RUNTIME_STYLE_CHROME) {
    SetWindowTextW(frame_window_, CefString(title).ToWString().c_str());
  }
  if (client) {
    if (auto display = client->GetDisplayHandler())
      display->OnTitleChange(this, title);
  }
}

void BrowserHostImpl::LoadingStarted() {
  if (loading_count_++ > 0 || !client_)
    return;
  if (auto handler = client_->GetLoadHandler())
    handler->OnLoadingStateChange(this, true, false, false);
}

void BrowserHostImpl::LoadingFinished() {
  if (loading_count_ == 0 || --loading_count_ > 0 || !client_)
    return;
  if (auto handler = client_->GetLoadHandler())
    handler->OnLoadingStateChange(this, false, false, false);
}

const char* ErrorCodeName(cef_errorcode_t code) {
  static const struct {
    int code;
    const char* name;
  } kNames[] = {
      {0, "ERR_NONE"},
      {-1, "ERR_IO_PENDING"},
      {-2, "ERR_FAILED"},
      {-3, "ERR_ABORTED"},
      {-4, "ERR_INVALID_ARGUMENT"},
      {-5, "ERR_INVALID_HANDLE"},
      {-6, "ERR_FILE_NOT_FOUND"},
      {-7, "ERR_TIMED_OUT"},
      {-8, "ERR_FILE_TOO_BIG"},
      {-9, "ERR_UNEXPECTED"},
      {-10, "ERR_ACCESS_DENIED"},
      {-11, "ERR_NOT_IMPLEMENTED"},
      {-12, "ERR_INSUFFICIENT_RESOURCES"},
      {-13, "ERR_OUT_OF_MEMORY"},
      {-20, "ERR_BLOCKED_BY_CLIENT"},
      {-21, "ERR_NETWORK_CHANGED"},
      {-22, "ERR_BLOCKED_BY_ADMINISTRATOR"},
      {-27, "ERR_BLOCKED_BY_RESPONSE"},
      {-30, "ERR_BLOCKED_BY_CSP"},
      {-100, "ERR_CONNECTION_CLOSED"},
      {-101, "ERR_CONNECTION_RESET"},
      {-102, "ERR_CONNECTION_REFUSED"},
      {-103, "ERR_CONNECTION_ABORTED"},
      {-104, "ERR_CONNECTION_FAILED"},
      {-105, "ERR_NAME_NOT_RESOLVED"},
      {-106, "ERR_INTERNET_DISCONNECTED"},
      {-107, "ERR_SSL_PROTOCOL_ERROR"},
      {-108, "ERR_ADDRESS_INVALID"},
      {-109, "ERR_ADDRESS_UNREACHABLE"},
      {-111, "ERR_TUNNEL_CONNECTION_FAILED"},
      {-113, "ERR_SSL_VERSION_OR_CIPHER_MISMATCH"},
      {-115, "ERR_PROXY_AUTH_UNSUPPORTED"},
      {-118, "ERR_CONNECTION_TIMED_OUT"},
      {-120, "ERR_SOCKS_CONNECTION_FAILED"},
      {-127, "ERR_PROXY_AUTH_REQUESTED"},
      {-130, "ERR_PROXY_CONNECTION_FAILED"},
      {-131, "ERR_MANDATORY_PROXY_CONFIGURATION_FAILED"},
      {-136, "ERR_PROXY_CERTIFICATE_INVALID"},
      {-137, "ERR_NAME_RESOLUTION_FAILED"},
      {-138, "ERR_NETWORK_ACCESS_DENIED"},
      {-147, "ERR_ADDRESS_IN_USE"},
      {-200, "ERR_CERT_COMMON_NAME_INVALID"},
      {-201, "ERR_CERT_DATE_INVALID"},
      {-202, "ERR_CERT_AUTHORITY_INVALID"},
      {-206, "ERR_CERT_REVOKED"},
      {-207, "ERR_CERT_INVALID"},
      {-219, "ERR_CERT_END"},
      {-300, "ERR_INVALID_URL"},
      {-301, "ERR_DISALLOWED_URL_SCHEME"},
      {-302, "ERR_UNKNOWN_URL_SCHEME"},
      {-303, "ERR_INVALID_REDIRECT"},
      {-310, "ERR_TOO_MANY_REDIRECTS"},
      {-311, "ERR_UNSAFE_REDIRECT"},
      {-312, "ERR_UNSAFE_PORT"},
      {-320, "ERR_INVALID_RESPONSE"},
      {-321, "ERR_INVALID_CHUNKED_ENCODING"},
      {-322, "ERR_METHOD_NOT_SUPPORTED"},
      {-323, "ERR_UNEXPECTED_PROXY_AUTH"},
      {-324, "ERR_EMPTY_RESPONSE"},
      {-325, "ERR_RESPONSE_HEADERS_TOO_BIG"},
      {-327, "ERR_PAC_SCRIPT_FAILED"},
      {-328, "ERR_REQUEST_RANGE_NOT_SATISFIABLE"},
      {-330, "ERR_CONTENT_DECODING_FAILED"},
      {-338, "ERR_INVALID_AUTH_CREDENTIALS"},
      {-370, "ERR_INVALID_HTTP_RESPONSE"},
      {-379, "ERR_HTTP_RESPONSE_CODE_FAILURE"},
      {-400, "ERR_CACHE_MISS"},
  };
  for (const auto& entry : kNames) {
    if (entry.code == code)
      return entry.name;
  }
  return "ERR_FAILED";
}

}  // namespace cef_internal
