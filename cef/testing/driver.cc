#include "testing/driver.h"

#include "core/message_loop.h"
#include "core/url_canon.h"
#include "include/cef_resource_handler.h"
#include "include/cef_task.h"
#include "runtime/browser_context_menu.h"
#include "runtime/browser_frame_impl.h"
#include "runtime/browser_host_impl.h"
#include "runtime/browser_popup.h"
#include "runtime/browser_registry.h"
#include "runtime/net/load_pipeline.h"
#include "runtime/request_context_impl.h"
#include "runtime/views_window_impl.h"

namespace cef_testing {

using cef_internal::BrowserHostImpl;
using cef_internal::FrameImpl;

namespace {

CefRefPtr<FrameImpl> FrameOf(CefRefPtr<CefFrame> frame) {
  return frame ? static_cast<FrameImpl*>(frame.get()) : nullptr;
}

std::string OriginOf(const std::string& url) {
  size_t scheme_end = url.find("://");
  if (scheme_end == std::string::npos)
    return {};
  size_t path = url.find('/', scheme_end + 3);
  return url.substr(0, path);
}

// |url| as the page in |frame| means it: relative to its document.
std::string InDocument(CefRefPtr<FrameImpl> frame, const std::string& url) {
  std::string resolved = cef_internal::ResolveUrlReference(frame ? frame->url() : std::string(), url);
  return resolved.empty() ? url : resolved;
}

// Requests arrive canonical; so are the answers' keys.
std::string CanonicalKey(const std::string& url) {
  std::string canonical = cef_internal::CanonicalizeUrl(url);
  return canonical.empty() ? url : canonical;
}

class ResourceCollector : public cef_internal::LoadDelegate {
 public:
  void OnLoadResponse(CefRefPtr<CefResponse> response) override { response_ = response; }
  void OnLoadData(const void* data, size_t size) override { result.body.append(static_cast<const char*>(data), size); }
  void OnLoadComplete(cef_errorcode_t error, CefRefPtr<CefResponse> response) override {
    if (response)
      response_ = response;
    result.completed = true;
    result.error = error;
    if (response_) {
      result.status = response_->GetStatus();
      result.status_text = response_->GetStatusText().ToString();
      result.mime_type = response_->GetMimeType().ToString();
      CefResponse::HeaderMap map;
      response_->GetHeaderMap(map);
      for (auto& [name, value] : map)
        result.headers.emplace(name.ToString(), value.ToString());
    }
  }

  ResourceResult result;

 private:
  CefRefPtr<CefResponse> response_;
  IMPLEMENT_REFCOUNTING(ResourceCollector);
};

class ServedPage : public CefResourceHandler {
 public:
  explicit ServedPage(PageServer::Answer answer) : answer_(std::move(answer)) {}

  bool Open(CefRefPtr<CefRequest> request, bool& handle_request, CefRefPtr<CefCallback> callback) override {
    handle_request = true;
    return true;
  }

  void GetResponseHeaders(CefRefPtr<CefResponse> response, int64_t& response_length, CefString& redirectUrl) override {
    response->SetStatus(answer_.status);
    response->SetStatusText(answer_.status == 200 ? "OK" : "");
    response->SetMimeType(answer_.mime_type);
    if (!answer_.location.empty()) {
      redirectUrl = answer_.location;
      response->SetHeaderByName("Location", answer_.location, true);
    }
    response_length = static_cast<int64_t>(answer_.body.size());
  }

  bool Read(void* data_out, int bytes_to_read, int& bytes_read, CefRefPtr<CefResourceReadCallback> callback) override {
    size_t left = answer_.body.size() - offset_;
    if (left == 0) {
      bytes_read = 0;
      return false;
    }
    size_t n = std::min(left, static_cast<size_t>(bytes_to_read));
    memcpy(data_out, answer_.body.data() + offset_, n);
    offset_ += n;
    bytes_read = static_cast<int>(n);
    return true;
  }

  void Cancel() override {}

 private:
  PageServer::Answer answer_;
  size_t offset_ = 0;
  IMPLEMENT_REFCOUNTING(ServedPage);
};

class PageFactory : public CefSchemeHandlerFactory {
 public:
  explicit PageFactory(PageServer* server) : server_(server) {}

  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser,
                                       CefRefPtr<CefFrame> frame,
                                       const CefString& scheme_name,
                                       CefRefPtr<CefRequest> request) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!server_)
      return nullptr;
    PageServer::Request seen;
    seen.method = request->GetMethod().ToString();
    seen.url = request->GetURL().ToString();
    CefRequest::HeaderMap map;
    request->GetHeaderMap(map);
    for (auto& [name, value] : map)
      seen.headers.emplace(name.ToString(), value.ToString());
    if (auto post = request->GetPostData()) {
      CefPostData::ElementVector elements;
      post->GetElements(elements);
      for (auto& element : elements) {
        std::string bytes(element->GetBytesCount(), '\0');
        element->GetBytes(bytes.size(), bytes.data());
        seen.body += bytes;
      }
    }
    PageServer::Answer answer = server_->Find(seen.url);
    server_->Record(std::move(seen));
    return new ServedPage(answer);
  }

  void Detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    server_ = nullptr;
  }

 private:
  std::mutex mutex_;  // guards server_ against the IO thread
  PageServer* server_;
  IMPLEMENT_REFCOUNTING(PageFactory);
};

// The factory each server registered, to detach it on destruction.
std::map<PageServer*, CefRefPtr<PageFactory>>& Factories() {
  static auto* factories = new std::map<PageServer*, CefRefPtr<PageFactory>>();
  return *factories;
}

}  // namespace

void NavigateMainFrame(CefRefPtr<CefBrowser> browser, const std::string& url, bool user_gesture) {
  auto impl = BrowserHostImpl::FromBrowser(browser);
  if (impl)
    impl->Navigate(impl->main_frame(), InDocument(impl->main_frame(), url), TT_LINK, user_gesture);
}

CefRefPtr<CefFrame> CreateSubFrame(CefRefPtr<CefBrowser> browser, const std::string& name, const std::string& url) {
  auto impl = BrowserHostImpl::FromBrowser(browser);
  if (!impl)
    return nullptr;
  CefRefPtr<FrameImpl> frame = impl->AddSubFrame(name);
  if (!url.empty())
    impl->Navigate(frame, InDocument(impl->main_frame(), url), TT_AUTO_SUBFRAME, false);
  return frame.get();
}

void NavigateFrame(CefRefPtr<CefFrame> frame, const std::string& url, bool user_gesture) {
  CefRefPtr<FrameImpl> impl = FrameOf(frame);
  if (!impl || !impl->browser_impl())
    return;
  CefRefPtr<BrowserHostImpl> browser(impl->browser_impl());
  browser->Navigate(impl, InDocument(impl, url), impl->IsMain() ? TT_LINK : TT_MANUAL_SUBFRAME, user_gesture);
}

ResourceResult LoadResource(CefRefPtr<CefFrame> frame,
                            const std::string& method,
                            const std::string& url,
                            const std::multimap<std::string, std::string>& headers,
                            const std::string& body,
                            int timeout_ms) {
  CefRefPtr<FrameImpl> impl = FrameOf(frame);
  if (!impl || !impl->browser_impl())
    return {};
  CefRefPtr<BrowserHostImpl> browser(impl->browser_impl());

  CefRefPtr<CefRequest> request = CefRequest::Create();
  request->SetURL(InDocument(impl, url));
  request->SetMethod(method);
  CefRequest::HeaderMap map;
  for (auto& [name, value] : headers)
    map.emplace(name, value);
  request->SetHeaderMap(map);
  if (!body.empty()) {
    CefRefPtr<CefPostData> post = CefPostData::Create();
    CefRefPtr<CefPostDataElement> element = CefPostDataElement::Create();
    element->SetToBytes(body.size(), body.data());
    post->AddElement(element);
    request->SetPostData(post);
  }

  cef_internal::LoadParams params;
  params.browser = browser.get();
  params.frame = frame;
  CefRefPtr<CefClient> client = browser->GetClient();
  params.request_handler = client ? client->GetRequestHandler() : nullptr;
  params.request_context = browser->GetRequestContext();
  params.request = request;
  params.is_navigation = false;
  params.request_initiator = OriginOf(impl->url());
  params.resource_type = RT_XHR;
  CefRefPtr<ResourceCollector> collector = new ResourceCollector();
  CefRefPtr<cef_internal::LoadHandle> handle = cef_internal::StartLoad(params, collector.get());
  if (!handle)
    return {};
  cef_internal::RunUIUntil([&] { return collector->result.completed; }, timeout_ms);
  if (!collector->result.completed)
    handle->Cancel();
  return collector->result;
}

PopupResult OpenPopup(CefRefPtr<CefFrame> frame,
                      const std::string& target_url,
                      cef_window_open_disposition_t disposition,
                      bool user_gesture,
                      const std::string& target_frame_name) {
  PopupResult result;
  CefRefPtr<FrameImpl> impl = FrameOf(frame);
  if (!impl || !impl->browser_impl())
    return result;
  cef_internal::PopupRequest request;
  request.target_url = target_url;
  request.target_frame_name = target_frame_name;
  request.disposition = disposition;
  request.user_gesture = user_gesture;
  cef_internal::PopupOutcome outcome = cef_internal::OpenPopup(impl->browser_impl(), impl, request);
  result.popup_id = outcome.popup_id;
  result.cancelled = outcome.cancelled;
  result.browser = outcome.browser.get();
  return result;
}

void SetBeforeUnload(CefRefPtr<CefBrowser> browser,
                     bool has_handler,
                     const std::string& message,
                     bool default_prompt_leaves) {
  auto impl = BrowserHostImpl::FromBrowser(browser);
  if (!impl)
    return;
  impl->SetBeforeUnload(has_handler, message);
  impl->SetDefaultUnloadAnswer(default_prompt_leaves);
}

ContextMenuResult RightClick(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int x, int y) {
  ContextMenuResult result;
  auto impl = BrowserHostImpl::FromBrowser(browser);
  if (!impl)
    return result;
  CefRefPtr<FrameImpl> target = frame ? FrameOf(frame) : impl->main_frame();
  cef_internal::ContextMenuOutcome outcome = cef_internal::RunContextMenu(impl, target, x, y);
  result.shown = outcome.shown;
  result.command_ids = outcome.command_ids;
  return result;
}

HWND TopLevelWindow(CefRefPtr<CefBrowser> browser) {
  if (!browser)
    return nullptr;
  HWND host = browser->GetHost()->GetWindowHandle();
  return host ? GetAncestor(host, GA_ROOT) : nullptr;
}

void PressCloseBox(CefRefPtr<CefBrowser> browser) {
  PressCloseBox(TopLevelWindow(browser));
}

void PressCloseBox(HWND top_level) {
  if (top_level && IsWindow(top_level))
    SendMessageW(top_level, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool WaitForUIIdle(int timeout_ms) {
  return cef_internal::RunUIUntilIdle(timeout_ms);
}

void RefuseSchemeHandlerFactories() {
  cef_internal::CefRequestContextImpl::RefuseSchemeHandlerFactories();
}

std::vector<CefRefPtr<CefBrowser>> OpenBrowsers() {
  std::vector<CefRefPtr<CefBrowser>> out;
  for (auto& browser : cef_internal::LiveBrowsers())
    out.push_back(browser.get());
  return out;
}

int OpenBrowserCount() {
  return cef_internal::LiveBrowserCount();
}
int OpenViewsWindowCount() {
  return cef_internal::LiveViewsWindowCount();
}
int LiveBrowserObjectCount() {
  return cef_internal::BrowserObjectCount();
}

PageServer::PageServer(CefRefPtr<CefRequestContext> context, const std::string& scheme, const std::string& domain)
    : context_(context ? context : CefRequestContext::GetGlobalContext()), scheme_(scheme), domain_(domain) {
  CefRefPtr<PageFactory> factory = new PageFactory(this);
  Factories()[this] = factory;
  if (context_)
    context_->RegisterSchemeHandlerFactory(scheme_, domain_, factory.get());
}

PageServer::~PageServer() {
  auto it = Factories().find(this);
  if (it != Factories().end()) {
    it->second->Detach();
    Factories().erase(it);
  }
  if (context_)
    context_->RegisterSchemeHandlerFactory(scheme_, domain_, nullptr);
}

void PageServer::Serve(const std::string& url, const std::string& body, const std::string& mime_type, int status) {
  std::lock_guard<std::mutex> lock(mutex_);
  Answer& answer = answers_[CanonicalKey(url)];
  answer.status = status;
  answer.mime_type = mime_type;
  answer.body = body;
  answer.location.clear();
}

void PageServer::Redirect(const std::string& url, const std::string& location, int status) {
  std::lock_guard<std::mutex> lock(mutex_);
  Answer& answer = answers_[CanonicalKey(url)];
  answer.status = status;
  answer.body.clear();
  answer.location = location;
}

std::vector<PageServer::Request> PageServer::requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

PageServer::Answer PageServer::Find(const std::string& url) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = answers_.find(url);
  return it == answers_.end() ? Answer() : it->second;
}

void PageServer::Record(Request request) {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.push_back(std::move(request));
}

}  // namespace cef_testing
