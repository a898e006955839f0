#include "desktop/local_handler.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "desktop/desktop.h"
#include "desktop/desktop_state.h"
#include "include/base/cef_callback.h"
#include "include/cef_browser.h"
#include "include/cef_parser.h"
#include "include/cef_request_context.h"
#include "include/wrapper/cef_closure_task.h"

namespace kesta::desktop {

namespace {

// Escaped path separators stay escaped and '+' stays '+', so "a%2Fb" never
// matches the binding of "a/b".
constexpr cef_uri_unescape_rule_t kPathUnescapeRule = static_cast<cef_uri_unescape_rule_t>(
    UU_NORMAL | UU_SPACES | UU_URL_SPECIAL_CHARS_EXCEPT_PATH_SEPARATORS);

bool servedFromOrigin(const std::string& decodedPath, const std::map<std::string, std::string>& bindings) {
  return decodedPath == "/" || decodedPath == "/__client/bridge.js" || decodedPath == "/__client/game-observer.js" ||
         bindings.count("@engine:" + decodedPath) != 0;
}

}  // namespace

CefRefPtr<CefResourceHandler> LocalFactory::Create(CefRefPtr<CefBrowser> browser,
                                                   CefRefPtr<CefFrame> frame,
                                                   const CefString& scheme_name,
                                                   CefRefPtr<CefRequest> request) {
  const std::string url = request->GetURL().ToString();
  if (DesktopMigrationURL(url))
    return nullptr;
  const std::string base = url.substr(0, url.find_first_of("?#"));
  const int browserId = browser ? browser->GetIdentifier() : 0;

  std::string siteOrigin;
  std::string browserGeneration;
  std::string absoluteTarget;
  bool fromOrigin = false;
  {
    std::lock_guard lock(browserMutex);
    siteOrigin = origin;
    browserGeneration = generation;
    if (browser) {
      auto entry = gameBrowsers.find(browserId);
      if (entry != gameBrowsers.end()) {
        browserGeneration = entry->second.first;
        siteOrigin = entry->second.second;
      }
    }
    auto bindings = poolBindings.find(browserGeneration);
    if (bindings == poolBindings.end())
      return nullptr;
    if (auto target = bindings->second.find(base); target != bindings->second.end())
      absoluteTarget = target->second;
    if (base.size() > siteOrigin.size() && base.compare(0, siteOrigin.size(), siteOrigin) == 0 &&
        base[siteOrigin.size()] == '/') {
      const std::string decoded =
          CefURIDecode(base.substr(siteOrigin.size()), false, kPathUnescapeRule).ToString();
      fromOrigin = servedFromOrigin(decoded, bindings->second);
    }
  }

  if (fromOrigin)
    return new LocalResponse(url.substr(siteOrigin.size()), browserGeneration);
  if (!absoluteTarget.empty())
    return new LocalResponse(absoluteTarget, browserGeneration);
  return nullptr;
}

LocalResponse::LocalResponse(std::string servicePath, std::string requestGeneration)
    : servicePath_(std::move(servicePath)), requestGeneration_(std::move(requestGeneration)) {}

LocalResponse::~LocalResponse() = default;

bool LocalResponse::Open(CefRefPtr<CefRequest> request, bool& handle_request, CefRefPtr<CefCallback> callback) {
  handle_request = false;

  CefRefPtr<CefRequest> forward = CefRequest::Create();
  forward->SetURL(localOrigin + servicePath_);
  forward->SetMethod(request->GetMethod());
  forward->SetFlags(UR_FLAG_SKIP_CACHE | UR_FLAG_STOP_ON_REDIRECT);
  forward->SetHeaderByName("Authorization", "Bearer " + token, true);
  forward->SetHeaderByName("X-KESTA-Generation", requestGeneration_, true);
  for (const char* name : {"Range", "Content-Type"}) {
    const CefString value = request->GetHeaderByName(name);
    if (!value.empty())
      forward->SetHeaderByName(name, value, true);
  }

  if (CefRefPtr<CefPostData> postData = request->GetPostData()) {
    CefPostData::ElementVector elements;
    postData->GetElements(elements);
    std::string bytes;
    for (const auto& element : elements) {
      if (element->GetType() != PDE_TYPE_BYTES) {
        callback->Cancel();
        return true;
      }
      const size_t size = element->GetBytesCount();
      const size_t offset = bytes.size();
      bytes.resize(offset + size);
      if (size)
        element->GetBytes(size, bytes.data() + offset);
    }
    CefRefPtr<CefPostDataElement> element = CefPostDataElement::Create();
    element->SetToBytes(bytes.size(), bytes.data());
    CefRefPtr<CefPostData> forwardData = CefPostData::Create();
    forwardData->AddElement(element);
    forward->SetPostData(forwardData);
  }

  return CefPostTask(TID_IO, base::BindOnce(&LocalResponse::Start, this, forward, callback));
}

void LocalResponse::Start(CefRefPtr<CefRequest> request, CefRefPtr<CefCallback> callback) {
  if (canceled_)
    return;
  callback_ = callback;
  // After the stop there is no local context: never fall back to another
  // context, whose proxy would see the token.
  if (CefRefPtr<CefRequestContext> context = currentLocalContext())
    urlRequest_ = CefURLRequest::Create(request, this, context);
  if (!urlRequest_) {
    CefRefPtr<CefCallback> pending = std::move(callback_);
    pending->Cancel();
  }
}

void LocalResponse::OnDownloadData(CefRefPtr<CefURLRequest> request, const void* data, size_t data_length) {
  body_.append(static_cast<const char*>(data), data_length);
}

void LocalResponse::OnRequestComplete(CefRefPtr<CefURLRequest> request) {
  if (CefRefPtr<CefResponse> response = request->GetResponse()) {
    status_ = response->GetStatus();
    mimeType_ = response->GetMimeType().ToString();
    headers_.clear();
    response->GetHeaderMap(headers_);
  }
  if (request->GetRequestStatus() != UR_SUCCESS) {
    status_ = 502;
    mimeType_ = "text/plain";
    body_ = "Local resource request failed: " + std::to_string(static_cast<int>(request->GetRequestError()));
  }
  urlRequest_ = nullptr;
  if (CefRefPtr<CefCallback> pending = std::move(callback_)) {
    if (!canceled_)
      pending->Continue();
  }
}

void LocalResponse::GetResponseHeaders(CefRefPtr<CefResponse> response,
                                       int64_t& response_length,
                                       CefString& redirectUrl) {
  response->SetStatus(status_);
  response->SetMimeType(mimeType_);
  response->SetHeaderMap(headers_);
  response_length = static_cast<int64_t>(body_.size());
}

bool LocalResponse::Read(void* data_out, int bytes_to_read, int& bytes_read, CefRefPtr<CefResourceReadCallback>) {
  const int64_t left = static_cast<int64_t>(body_.size()) - readOffset_;
  const int n = static_cast<int>(std::min<int64_t>(left, std::max(bytes_to_read, 0)));
  bytes_read = n;
  if (n > 0) {
    std::memcpy(data_out, body_.data() + readOffset_, n);
    readOffset_ += n;
  }
  return n != 0;
}

bool LocalResponse::Skip(int64_t bytes_to_skip, int64_t& bytes_skipped, CefRefPtr<CefResourceSkipCallback>) {
  const int64_t left = static_cast<int64_t>(body_.size()) - readOffset_;
  const int64_t n = std::min(left, std::max<int64_t>(bytes_to_skip, 0));
  bytes_skipped = n;
  readOffset_ += n;
  return n > 0;
}

void LocalResponse::Cancel() {
  CefPostTask(TID_IO, base::BindOnce(&LocalResponse::CancelOnIO, this));
}

void LocalResponse::CancelOnIO() {
  canceled_ = true;
  callback_ = nullptr;
  if (CefRefPtr<CefURLRequest> request = std::move(urlRequest_))
    request->Cancel();
}

}  // namespace kesta::desktop
