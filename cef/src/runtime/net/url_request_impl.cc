// CefURLRequest on top of the load pipeline: the client hears everything
// on the thread that created the request.
#include <atomic>
#include <mutex>

#include "core/net_request_impl.h"
#include "include/cef_task.h"
#include "include/cef_urlrequest.h"
#include "runtime/net/load_pipeline.h"
#include "runtime/runtime_state.h"

namespace cef_internal {

namespace {

std::atomic<int> g_pending_url_requests{0};

class CefURLRequestImpl : public CefURLRequest {
 public:
  CefURLRequestImpl(CefRefPtr<CefRequest> request,
                    CefRefPtr<CefURLRequestClient> client,
                    CefRefPtr<CefTaskRunner> creator)
      : request_(request), client_(client), creator_(creator), flags_(request->GetFlags()) {}

  bool Start(CefRefPtr<CefRequestContext> context) {
    LoadParams params;
    params.request_context = context;
    params.request = request_;
    params.resource_type = RT_SUB_RESOURCE;
    std::string body;
    FlattenPostData(request_->GetPostData(), body);
    upload_size_ = static_cast<int64_t>(body.size());
    g_pending_url_requests.fetch_add(1);
    load_ = StartLoad(params, new Delegate(this));
    if (!load_) {
      g_pending_url_requests.fetch_sub(1);
      return false;
    }
    return true;
  }

  CefRefPtr<CefRequest> GetRequest() override { return request_; }
  CefRefPtr<CefURLRequestClient> GetClient() override { return client_; }

  Status GetRequestStatus() override {
    std::lock_guard<std::mutex> guard(lock_);
    return status_;
  }

  ErrorCode GetRequestError() override {
    std::lock_guard<std::mutex> guard(lock_);
    return error_;
  }

  CefRefPtr<CefResponse> GetResponse() override {
    std::lock_guard<std::mutex> guard(lock_);
    return response_;
  }

  bool ResponseWasCached() override { return false; }

  // Ends the request here and now, as CEF does: the client hears
  // OnRequestComplete from inside this call and nothing after it, whatever
  // the load had already sent this way. Like every method of a CEF URL
  // request it belongs to the creating thread; CEF ignores a call from
  // another one.
  void Cancel() override {
    if (!creator_->BelongsToCurrentThread())
      return;
    CefRefPtr<LoadHandle> load;
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (status_ != UR_IO_PENDING)
        return;
      status_ = UR_CANCELED;
      error_ = ERR_ABORTED;
      load = std::move(load_);
    }
    if (load)
      load->Cancel();
    Finished();
  }

 private:
  // Whether the request has ended (completed or cancelled): the client
  // hears nothing more.
  bool Ended() {
    std::lock_guard<std::mutex> guard(lock_);
    return status_ != UR_IO_PENDING;
  }

  // Creating thread, once the status is final.
  void Finished() {
    CefRefPtr<CefURLRequestImpl> keep(this);  // the client may drop its reference
    g_pending_url_requests.fetch_sub(1);
    client_->OnRequestComplete(this);
  }

  // Relays pipeline events (on the creating thread) to the client until the
  // request has ended.
  class Delegate : public LoadDelegate {
   public:
    explicit Delegate(CefRefPtr<CefURLRequestImpl> owner) : owner_(owner) {}

    void OnLoadResponse(CefRefPtr<CefResponse> response) override {
      {
        std::lock_guard<std::mutex> guard(owner_->lock_);
        if (owner_->status_ != UR_IO_PENDING)
          return;
        owner_->response_ = response;
        std::string length = response->GetHeaderByName("Content-Length").ToString();
        owner_->total_ = length.empty() ? -1 : std::atoll(length.c_str());
      }
      if ((owner_->flags_ & UR_FLAG_REPORT_UPLOAD_PROGRESS) && owner_->upload_size_ > 0)
        owner_->client_->OnUploadProgress(owner_.get(), owner_->upload_size_, owner_->upload_size_);
    }

    void OnLoadData(const void* data, size_t size) override {
      if (owner_->Ended())
        return;
      owner_->received_ += static_cast<int64_t>(size);
      owner_->client_->OnDownloadProgress(owner_.get(), owner_->received_, owner_->total_);
      if (!(owner_->flags_ & UR_FLAG_NO_DOWNLOAD_DATA) && !owner_->Ended())
        owner_->client_->OnDownloadData(owner_.get(), data, size);
    }

    void OnLoadComplete(cef_errorcode_t error, CefRefPtr<CefResponse> response) override {
      {
        std::lock_guard<std::mutex> guard(owner_->lock_);
        if (owner_->status_ != UR_IO_PENDING)
          return;  // cancelled meanwhile
        owner_->status_ = error == ERR_NONE ? UR_SUCCESS : error == ERR_ABORTED ? UR_CANCELED : UR_FAILED;
        owner_->error_ = error;
        if (response)
          owner_->response_ = response;
        owner_->load_ = nullptr;
      }
      owner_->Finished();
    }

    bool GetAuthCredentials(bool isProxy,
                            const CefString& host,
                            int port,
                            const CefString& realm,
                            const CefString& scheme,
                            CefRefPtr<CefAuthCallback> callback) override {
      if (owner_->Ended())
        return false;  // cancelled: the client is not asked
      return owner_->client_->GetAuthCredentials(isProxy, host, port, realm, scheme, callback);
    }

   private:
    CefRefPtr<CefURLRequestImpl> owner_;
    IMPLEMENT_REFCOUNTING(Delegate);
  };

  CefRefPtr<CefRequest> request_;
  CefRefPtr<CefURLRequestClient> client_;
  const CefRefPtr<CefTaskRunner> creator_;
  const int flags_;
  int64_t upload_size_ = 0;
  int64_t received_ = 0;  // creating thread only
  std::mutex lock_;       // guards the fields below
  Status status_ = UR_IO_PENDING;
  ErrorCode error_ = ERR_NONE;
  CefRefPtr<CefResponse> response_;
  int64_t total_ = -1;
  CefRefPtr<LoadHandle> load_;

  IMPLEMENT_REFCOUNTING(CefURLRequestImpl);
};

}  // namespace

int PendingURLRequestCount() {
  return g_pending_url_requests.load();
}

}  // namespace cef_internal

CefRefPtr<CefURLRequest> CefURLRequest::Create(CefRefPtr<CefRequest> request,
                                               CefRefPtr<CefURLRequestClient> client,
                                               CefRefPtr<CefRequestContext> request_context) {
  if (!request || !client || !cef_internal::IsRuntimeRunning())
    return nullptr;
  // The client is called back on this thread, so it needs a task queue.
  CefRefPtr<CefTaskRunner> creator = CefTaskRunner::GetForCurrentThread();
  if (!creator)
    return nullptr;
  static std::once_flag once;
  std::call_once(once,
                 [] { cef_internal::AddLiveObjectCounter("URL requests", cef_internal::PendingURLRequestCount); });
  if (auto* impl = dynamic_cast<cef_internal::CefRequestImpl*>(request.get()))
    impl->SetReadOnly();
  CefRefPtr<cef_internal::CefURLRequestImpl> url_request =
      new cef_internal::CefURLRequestImpl(request, client, creator);
  if (!url_request->Start(request_context))
    return nullptr;
  return url_request.get();
}
