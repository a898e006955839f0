// What a committed document loads by itself before any script runs: the
// static sub-resources Chromium's preload scanner finds, requested in
// document order from the frame that holds them, through the same road as
// every page request. Nothing is executed or rendered; the responses are
// read and dropped. The document's load ends (OnLoadEnd) once they all
// have completed, as the load event waits for them in a browser.
#include <functional>
#include <vector>

#include "core/html_subresources.h"
#include "core/net_url.h"
#include "core/url_canon.h"
#include "runtime/browser_frame_impl.h"
#include "runtime/browser_host_impl.h"
#include "runtime/net/load_pipeline.h"

namespace cef_internal {

namespace {

// Sub-resources that never reach the network (or the client's hooks).
bool IsLocalScheme(const std::string& url) {
  const std::string scheme = UrlScheme(url);
  return scheme == "data" || scheme == "javascript" || scheme == "about" || scheme == "blob";
}

class DocumentLoad : public DocumentResources {
 public:
  using Done = std::function<void(DocumentLoad* document, bool completed)>;

  explicit DocumentLoad(Done done) : done_(std::move(done)) {}

  // UI thread, like every call below.
  void Add(CefRefPtr<LoadHandle> handle) {
    handles_.push_back(handle);
    ++pending_;
  }

  // All loads are started: ends at once when there were none.
  void Started() {
    if (finished_)
      return;
    started_ = true;
    if (pending_ == 0)
      Finish(true);
  }

  void OneDone() {
    if (finished_)
      return;
    if (--pending_ == 0 && started_)
      Finish(true);
  }

  void Abandon() override {
    if (finished_)
      return;
    std::vector<CefRefPtr<LoadHandle>> handles;
    handles.swap(handles_);
    for (auto& handle : handles)
      handle->Cancel();
    Finish(false);
  }

 private:
  void Finish(bool completed) {
    finished_ = true;
    handles_.clear();
    CefRefPtr<DocumentLoad> keep(this);
    Done done = std::move(done_);
    done(this, completed);
  }

  Done done_;
  std::vector<CefRefPtr<LoadHandle>> handles_;
  int pending_ = 0;
  bool started_ = false;
  bool finished_ = false;

  IMPLEMENT_REFCOUNTING(DocumentLoad);
};

// One sub-resource: the body is not wanted, only the end.
class ResourceLoad : public LoadDelegate {
 public:
  explicit ResourceLoad(CefRefPtr<DocumentLoad> document) : document_(document) {}

  void OnLoadComplete(cef_errorcode_t error, CefRefPtr<CefResponse> response) override {
    if (document_)
      document_->OneDone();
    document_ = nullptr;
  }

 private:
  CefRefPtr<DocumentLoad> document_;
  IMPLEMENT_REFCOUNTING(ResourceLoad);
};

cef_resource_type_t ResourceTypeOf(HtmlSubresource::Kind kind) {
  switch (kind) {
    case HtmlSubresource::Kind::kScript:
      return RT_SCRIPT;
    case HtmlSubresource::Kind::kStylesheet:
      return RT_STYLESHEET;
    default:
      return RT_IMAGE;
  }
}

}  // namespace

void BrowserHostImpl::LoadDocumentResources(CefRefPtr<FrameImpl> frame, const std::string& html, int status) {
  CefRefPtr<BrowserHostImpl> self(this);
  const std::string frame_id = frame->identifier();
  AbandonDocument(frame_id);
  CefRefPtr<DocumentLoad> document =
      new DocumentLoad([self, frame, frame_id, status](DocumentLoad* done, bool completed) {
        auto it = self->documents_.find(frame_id);
        if (it != self->documents_.end() && it->second.get() == done)
          self->documents_.erase(it);
        if (completed && self->IsValid() && frame->IsValid()) {
          CefRefPtr<CefClient> client = self->GetClient();
          if (CefRefPtr<CefLoadHandler> handler = client ? client->GetLoadHandler() : nullptr)
            handler->OnLoadEnd(self.get(), frame.get(), status);
        }
        self->LoadingFinished();
      });
  documents_[frame_id] = document.get();

  const std::string document_url = frame->url();
  NetUrl parsed;
  const std::string initiator = ParseNetUrl(document_url, parsed) ? parsed.Origin() : std::string();
  // An iframe may not load the document of any frame that holds it.
  std::vector<std::string> lineage = frame->ancestor_urls();
  lineage.push_back(StripUrlFragment(document_url));

  for (const HtmlSubresource& item : ScanHtmlSubresources(html)) {
    auto current = documents_.find(frame_id);
    if (!IsValid() || !frame->IsValid() || current == documents_.end() || current->second.get() != document.get())
      break;  // the client closed the browser or navigated the frame meanwhile
    const std::string base = item.base.empty() ? document_url : ResolveUrlReference(document_url, item.base);
    const std::string url = item.url.empty() ? std::string() : ResolveUrlReference(base, item.url);
    if (item.kind == HtmlSubresource::Kind::kFrame) {
      CefRefPtr<FrameImpl> sub = AddSubFrame(item.name);
      sub->set_ancestor_urls(lineage);
      bool recursive = false;
      for (const std::string& ancestor : lineage)
        recursive |= ancestor == StripUrlFragment(url);
      if (!url.empty() && !recursive)
        Navigate(sub, url, TT_AUTO_SUBFRAME, false);
      continue;
    }
    if (url.empty() || IsLocalScheme(url))
      continue;
    CefRefPtr<CefRequest> request = CefRequest::Create();
    request->SetURL(url);
    request->SetMethod("GET");
    LoadParams params;
    params.browser = this;
    params.frame = frame.get();
    CefRefPtr<CefClient> client = GetClient();
    params.request_handler = client ? client->GetRequestHandler() : nullptr;
    params.request_context = request_context_;
    params.request = request;
    params.request_initiator = initiator;
    params.resource_type = ResourceTypeOf(item.kind);
    if (CefRefPtr<LoadHandle> handle = StartLoad(params, new ResourceLoad(document)))
      document->Add(handle);
  }
  document->Started();
}

void BrowserHostImpl::AbandonDocument(const std::string& frame_id) {
  auto it = documents_.find(frame_id);
  if (it == documents_.end())
    return;
  CefRefPtr<DocumentResources> document = it->second;
  documents_.erase(it);
  if (document)
    document->Abandon();
}

}  // namespace cef_internal
