#include "runtime/net/load_pipeline.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "core/data_url.h"
#include "core/message_loop.h"
#include "core/net_http_transaction.h"
#include "core/net_proxy_config.h"
#include "core/net_request_impl.h"
#include "core/net_response_impl.h"
#include "core/net_url.h"
#include "core/url_canon.h"
#include "include/cef_request_context_handler.h"
#include "include/cef_resource_handler.h"
#include "include/cef_task.h"
#include "runtime/net/net_shutdown.h"
#include "runtime/request_context_impl.h"
#include "runtime/runtime_state.h"

namespace cef_internal {

namespace {

constexpr int kMaxRedirects = 20;
// A proxy or server that rejects every answer would otherwise loop forever.
constexpr int kMaxAuthRounds = 8;
constexpr int kReadBufferSize = 32 * 1024;
// Bytes a handler gives at once are handed on in deliveries of about this
// size at most; then the job lets the IO thread's other work in before it
// reads on.
constexpr size_t kMaxBatch = 1024 * 1024;
// Bytes handed to a delegate on another thread that it has not taken yet.
// At this much the job stops reading (socket or handler) until the
// delegate has taken half of it; Chromium's data pipe for a URL loader holds
// as much.
constexpr size_t kMaxBacklog = 2 * 1024 * 1024;
constexpr char kUserAgent[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/152.0.0.0 Safari/537.36";

std::string Base64(const std::string& in) {
  static const char kTable[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8) |
                 static_cast<unsigned char>(in[i + 2]);
    out += {kTable[v >> 18], kTable[(v >> 12) & 63], kTable[(v >> 6) & 63], kTable[v & 63]};
  }
  if (i + 1 == in.size()) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    out += {kTable[v >> 18], kTable[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == in.size()) {
    unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8);
    out += {kTable[v >> 18], kTable[(v >> 12) & 63], kTable[(v >> 6) & 63], '='};
  }
  return out;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The realm of the first Basic challenge among |values|; false if none.
bool FindBasicChallenge(const std::vector<std::string>& values, std::string& realm) {
  for (const std::string& value : values) {
    std::string lower = LowerAscii(value);
    size_t start = lower.find_first_not_of(" \t");
    if (start == std::string::npos || lower.compare(start, 5, "basic") != 0)
      continue;
    if (start + 5 < lower.size() && lower[start + 5] != ' ' && lower[start + 5] != '\t')
      continue;
    realm.clear();
    size_t r = lower.find("realm=", start + 5);
    if (r != std::string::npos) {
      size_t v = r + 6;
      if (v < value.size() && value[v] == '"') {
        for (size_t i = v + 1; i < value.size() && value[i] != '"'; ++i) {
          if (value[i] == '\\' && i + 1 < value.size())
            ++i;
          realm += value[i];
        }
      } else {
        size_t end = value.find_first_of(", \t", v);
        realm = value.substr(v, end == std::string::npos ? std::string::npos : end - v);
      }
    }
    return true;
  }
  return false;
}

bool IsRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

ProxyConfig ProxyConfigFor(CefRefPtr<CefRequestContextImpl> context) {
  if (!context)
    return ProxyConfig();
  CefRefPtr<CefDictionaryValue> proxy = context->ProxySettings();
  auto text = [&](const char* key) {
    return proxy && proxy->GetType(key) == VTYPE_STRING ? proxy->GetString(key).ToString() : std::string();
  };
  return ProxyConfig::FromPreference(text("mode"), text("server"), text("bypass_list"));
}

// "type/subtype; charset=x" -> lower-case MIME type and charset.
void SplitContentType(const std::string& value, std::string& mime, std::string& charset) {
  size_t semi = value.find(';');
  mime = LowerAscii(value.substr(0, semi));
  while (!mime.empty() && (mime.back() == ' ' || mime.back() == '\t'))
    mime.pop_back();
  charset.clear();
  std::string lower = LowerAscii(value);
  size_t c = lower.find("charset=", semi == std::string::npos ? lower.size() : semi);
  if (c != std::string::npos) {
    charset = value.substr(c + 8);
    size_t end = charset.find_first_of("; \t");
    if (end != std::string::npos)
      charset.erase(end);
    if (charset.size() >= 2 && charset.front() == '"' && charset.back() == '"')
      charset = charset.substr(1, charset.size() - 2);
  }
}

class LoadJob;

// What a job has handed to its delegate's thread and the delegate has not
// taken yet. Shared with the delivery tasks.
class Backlog {
 public:
  void Add(size_t bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    bytes_ += bytes;
  }
  // Delegate's thread, once it has taken |bytes|. True when the job waits
  // for that and should read on now.
  bool Taken(size_t bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    bytes_ -= bytes;
    if (!waiting_ || bytes_ > kMaxBacklog / 2)
      return false;
    waiting_ = false;
    return true;
  }
  // IO thread, before reading more: true when the delegate is too far
  // behind, and then it will wake the job through Taken().
  bool Full() {
    std::lock_guard<std::mutex> guard(lock_);
    waiting_ = bytes_ >= kMaxBacklog;
    return waiting_;
  }

 private:
  std::mutex lock_;  // guards bytes_ and waiting_
  size_t bytes_ = 0;
  bool waiting_ = false;
};

std::mutex g_live_lock;  // guards g_live
std::set<LoadJob*> g_live;
std::atomic<uint64_t> g_next_token{1};

// Runs |f| on the IO thread with a reference to |job|.
template <typename F>
void PostToJob(CefRefPtr<LoadJob> job, F&& f);

class LoadJob : public LoadHandle {
 public:
  LoadJob(const LoadParams& params, CefRefPtr<LoadDelegate> delegate, CefRefPtr<CefTaskRunner> reply)
      : params_(params), delegate_(delegate), reply_(reply) {
    request_ = CefRequestImpl::CopyOf(params.request);
    request_->SetResourceType(params.resource_type);
    request_->SetTransitionType(params.transition_type);
    identifier_ = request_->AssignIdentifier();
    context_ = CefRequestContextImpl::From(params.request_context);
  }

  uint64_t identifier() override { return identifier_; }

  void Cancel() override {
    // Seen at once by steps still queued on the IO thread, and by an
    // exchange under way, so that nothing goes out once the caller has
    // cancelled. Halting, not cancelling, the exchange here: a cancel waits
    // for a delivery under way, which may be calling the client on the IO
    // thread; the Abandon below cancels it there.
    std::shared_ptr<HttpTransaction> running;
    {
      std::lock_guard<std::mutex> guard(transaction_lock_);
      cancel_requested_ = true;
      running = transaction_;
    }
    if (running)
      running->Halt();
    CefRefPtr<LoadJob> self(this);
    PostToJob(self, [](LoadJob& job) { job.Abandon(); });
  }

  // IO thread from here on.

  void Start() {
    if (cancel_requested_)
      return Complete(ERR_ABORTED);
    if (!context_)
      return Complete(ERR_CONTEXT_SHUT_DOWN);
    bool disable_default = false;
    if (params_.browser && params_.request_handler) {
      rrh_ = params_.request_handler->GetResourceRequestHandler(params_.browser, params_.frame, request_.get(),
                                                                params_.is_navigation, params_.is_download,
                                                                params_.request_initiator, disable_default);
    }
    if (!rrh_) {
      if (CefRefPtr<CefRequestContextHandler> handler = context_->GetHandler()) {
        rrh_ = handler->GetResourceRequestHandler(params_.browser, params_.frame, request_.get(), params_.is_navigation,
                                                  params_.is_download, params_.request_initiator, disable_default);
      }
    }
    disable_default_ = disable_default;
    BeforeLoad();
  }

  // Cancels without telling anyone but the handler (runtime shutdown).
  void AbandonSilently() {
    delegate_ = nullptr;
    Abandon();
  }

  void Abandon() {
    if (done_)
      return;
    Complete(ERR_ABORTED);
  }

  // Callbacks handed to the client come back here, with the token of the
  // wait they answer; answers to a wait that is over are ignored.
  void OnCallback(uint64_t token, bool proceed) {
    if (done_ || token != waiting_token_)
      return;
    waiting_token_ = 0;
    if (!proceed)
      return Complete(ERR_ABORTED);
    switch (stage_) {
      case Stage::kBeforeLoad:
        return AfterBeforeLoad();
      case Stage::kOpen:
        return HandlerHeaders();
      default:
        return;
    }
  }

  void OnAuthAnswer(uint64_t token, bool proceed, const std::string& user, const std::string& password) {
    if (done_ || token != waiting_token_)
      return;
    waiting_token_ = 0;
    if (!proceed)
      return Complete(ERR_ABORTED);
    std::string value = "Basic " + Base64(user + ":" + password);
    if (auth_is_proxy_)
      proxy_authorization_ = value;
    else
      server_authorization_ = value;
    StartNetwork();
  }

  void OnReadAnswer(uint64_t token, int bytes_read) {
    if (done_ || token != waiting_token_)
      return;
    waiting_token_ = 0;
    bytes_read = std::min(bytes_read, static_cast<int>(read_buffer_.size()));
    if (stage_ == Stage::kReadLegacy) {
      if (bytes_read > 0)
        DeliverData(std::string(read_buffer_.data(), static_cast<size_t>(bytes_read)));
      return ReadLegacy();
    }
    if (bytes_read > 0)
      return ReadMore(std::string(read_buffer_.data(), static_cast<size_t>(bytes_read)));
    if (bytes_read == 0)
      return FinishHandler(ERR_NONE);
    FinishHandler(static_cast<cef_errorcode_t>(bytes_read));
  }

  void OnSkipAnswer(uint64_t token, int64_t bytes_skipped) {
    if (done_ || token != waiting_token_)
      return;
    waiting_token_ = 0;
    if (bytes_skipped <= 0)
      return FinishHandler(ERR_REQUEST_RANGE_NOT_SATISFIABLE);
    skip_remaining_ -= bytes_skipped;
    SkipMore();
  }

  // The waiting callback went away unrun: the client gave up on it.
  void OnCallbackDropped(uint64_t token) {
    if (done_ || token != waiting_token_)
      return;
    Complete(ERR_ABORTED);
  }

  // Network events, tagged with the transaction they came from.
  void OnNetHead(uint64_t gen, const HttpResponseHead& head);
  void OnNetData(uint64_t gen, std::string data);
  void OnNetComplete(uint64_t gen, int error);

 private:
  enum class Stage {
    kBeforeLoad,
    kOpen,
    kSkip,
    kRead,
    kReadLegacy,
    kNetwork,
    kAuth,
    kDone,
  };

  uint64_t NewWait() {
    waiting_token_ = g_next_token.fetch_add(1);
    return waiting_token_;
  }

  template <typename F>
  void Reply(F&& f) {
    ReplyTo(delegate_, std::forward<F>(f));
  }

  // A delegate on the IO thread (a request made there, as a resource
  // handler makes its own) hears at once: replies come from a task or a
  // socket event of this job, never from inside a call to client code, so
  // they stay in order and never nest. Other threads get them as tasks.
  template <typename F>
  void ReplyTo(CefRefPtr<LoadDelegate> delegate, F&& f) {
    if (!delegate)
      return;
    if (reply_ && reply_->BelongsToCurrentThread()) {
      f(*delegate);
      return;
    }
    auto task = [delegate, f = std::forward<F>(f)]() mutable { f(*delegate); };
    if (!reply_ || !PostToRunner(task))
      PostFunction(TID_IO, std::move(task));
  }

  template <typename F>
  bool PostToRunner(F& task) {
    class Task : public CefTask {
     public:
      explicit Task(F f) : f_(std::move(f)) {}
      void Execute() override { f_(); }

     private:
      F f_;
      IMPLEMENT_REFCOUNTING(Task);
    };
    return reply_->PostTask(new Task(task));
  }

  // Closes the running exchange; events it already sent are ignored.
  void DropTransaction() {
    ++transaction_gen_;
    parked_ = false;
    if (transaction_) {
      transaction_->Cancel();
      std::lock_guard<std::mutex> guard(transaction_lock_);
      transaction_.reset();
    }
  }

  void BeforeLoad();
  void AfterBeforeLoad();
  void ChooseHandler();
  void ServeDataUrl(const std::string& url);
  void OpenHandler();
  void HandlerHeaders();
  void SkipMore();
  // Bytes to ask the handler for next; 0 once the announced length is in.
  // |unsent|: bytes read but not yet handed on.
  int NextReadSize(size_t unsent) const;
  // Reads on from the handler; |batch| holds bytes read but not yet handed on.
  void ReadMore(std::string batch = std::string());
  void ReadLegacy();
  // Stops reading (handler or socket) until ReadOn(): after a batch, when
  // |yield| (the IO thread's other work comes first), else until the
  // delegate has caught up (the backlog wakes the job).
  void Park(bool yield);
  void ReadOn();
  void FinishHandler(cef_errorcode_t error);
  void StartNetwork();
  void AskForCredentials(bool is_proxy, const std::string& host, int port, const std::string& realm);
  void Redirect(CefRefPtr<CefResponseImpl> response, std::string new_url, int status);
  void DeliverResponse(CefRefPtr<CefResponseImpl> response);
  // Hands |bytes| on to the delegate without copying them again.
  void DeliverData(std::string bytes);
  void Complete(cef_errorcode_t error);

  LoadParams params_;
  CefRefPtr<LoadDelegate> delegate_;
  CefRefPtr<CefTaskRunner> reply_;
  CefRefPtr<CefRequestContextImpl> context_;
  CefRefPtr<CefRequestImpl> request_;
  CefRefPtr<CefResourceRequestHandler> rrh_;
  CefRefPtr<CefResourceHandler> handler_;
  bool handler_finished_ = false;
  bool disable_default_ = false;
  // Written on the IO thread under the lock, read there without it; Cancel()
  // reads it under the lock from any thread.
  std::shared_ptr<HttpTransaction> transaction_;
  std::mutex transaction_lock_;
  uint64_t transaction_gen_ = 0;
  CefRefPtr<CefResponseImpl> response_;
  bool response_delivered_ = false;
  Stage stage_ = Stage::kBeforeLoad;
  uint64_t waiting_token_ = 0;
  uint64_t identifier_ = 0;
  bool done_ = false;
  std::atomic<bool> cancel_requested_{false};  // any thread
  int redirects_ = 0;
  int auth_rounds_ = 0;
  bool auth_is_proxy_ = false;
  bool via_proxy_ = false;
  ProxyServer proxy_;
  NetUrl url_;
  std::string url_before_hook_;
  std::string proxy_authorization_;
  std::string server_authorization_;
  std::vector<char> read_buffer_;
  int64_t response_length_ = -1;
  int64_t received_ = 0;
  int64_t skip_remaining_ = 0;
  const std::shared_ptr<Backlog> backlog_ = std::make_shared<Backlog>();
  bool parked_ = false;  // reading waits for ReadOn()

  IMPLEMENT_REFCOUNTING(LoadJob);
};

template <typename F>
void PostToJob(CefRefPtr<LoadJob> job, F&& f) {
  PostFunction(TID_IO, [job, f = std::forward<F>(f)]() mutable { f(*job); });
}

// The callbacks handed to client code answer the job once: the first answer
// goes to the job on the IO thread, later ones are ignored, and a callback
// dropped unanswered tells the job so, which cancels the load rather than
// leaving it waiting.
template <typename Interface>
class OneShotCallback : public Interface {
 public:
  OneShotCallback(CefRefPtr<LoadJob> job, uint64_t token) : job_(job), token_(token) {}
  ~OneShotCallback() override {
    Answer([](LoadJob& job, uint64_t token) { job.OnCallbackDropped(token); });
  }

 protected:
  // Sends `answer(job, token)` to the job unless it has been answered.
  template <typename F>
  void Answer(F answer) {
    if (used_.exchange(true))
      return;
    PostToJob(job_, [token = token_, answer = std::move(answer)](LoadJob& job) { answer(job, token); });
  }

 private:
  CefRefPtr<LoadJob> job_;
  const uint64_t token_;
  std::atomic<bool> used_{false};
};

// CefCallback for OnBeforeResourceLoad, Open and ProcessRequest.
class WaitCallback : public OneShotCallback<CefCallback> {
 public:
  using OneShotCallback::OneShotCallback;
  void Continue() override { Proceed(true); }
  void Cancel() override { Proceed(false); }

 private:
  void Proceed(bool proceed) {
    Answer([proceed](LoadJob& job, uint64_t token) { job.OnCallback(token, proceed); });
  }
  IMPLEMENT_REFCOUNTING(WaitCallback);
};

class AuthCallback : public OneShotCallback<CefAuthCallback> {
 public:
  using OneShotCallback::OneShotCallback;
  void Continue(const CefString& username, const CefString& password) override {
    Answer([user = username.ToString(), pass = password.ToString()](LoadJob& job, uint64_t token) {
      job.OnAuthAnswer(token, true, user, pass);
    });
  }
  void Cancel() override {
    Answer([](LoadJob& job, uint64_t token) { job.OnAuthAnswer(token, false, "", ""); });
  }

 private:
  IMPLEMENT_REFCOUNTING(AuthCallback);
};

class ReadCallback : public OneShotCallback<CefResourceReadCallback> {
 public:
  using OneShotCallback::OneShotCallback;
  void Continue(int bytes_read) override {
    Answer([bytes_read](LoadJob& job, uint64_t token) { job.OnReadAnswer(token, bytes_read); });
  }

 private:
  IMPLEMENT_REFCOUNTING(ReadCallback);
};

// The legacy ReadResponse callback: Continue() means "call again".
class LegacyReadCallback : public OneShotCallback<CefCallback> {
 public:
  using OneShotCallback::OneShotCallback;
  void Continue() override {
    Answer([](LoadJob& job, uint64_t token) { job.OnReadAnswer(token, 0); });
  }
  void Cancel() override {
    Answer([](LoadJob& job, uint64_t token) { job.OnCallback(token, false); });
  }

 private:
  IMPLEMENT_REFCOUNTING(LegacyReadCallback);
};

class SkipCallback : public OneShotCallback<CefResourceSkipCallback> {
 public:
  using OneShotCallback::OneShotCallback;
  void Continue(int64_t bytes_skipped) override {
    Answer([bytes_skipped](LoadJob& job, uint64_t token) { job.OnSkipAnswer(token, bytes_skipped); });
  }

 private:
  IMPLEMENT_REFCOUNTING(SkipCallback);
};

// Hands the exchange's events to the job. The exchange runs on the IO
// thread's network loop, so they reach the job directly; the reference to
// the job is let go on the IO thread too.
class NetBridge : public HttpTransactionDelegate {
 public:
  NetBridge(CefRefPtr<LoadJob> job, uint64_t gen) : job_(job), gen_(gen) {}
  ~NetBridge() override {
    if (!CefCurrentlyOn(TID_IO))
      PostFunction(TID_IO, [job = std::move(job_)] {});
  }
  void OnHttpResponseHead(const HttpResponseHead& head) override { job_->OnNetHead(gen_, head); }
  void OnHttpData(std::string data) override { job_->OnNetData(gen_, std::move(data)); }
  void OnHttpComplete(int error) override { job_->OnNetComplete(gen_, error); }

 private:
  CefRefPtr<LoadJob> job_;
  uint64_t gen_;
};

void LoadJob::BeforeLoad() {
  stage_ = Stage::kBeforeLoad;
  if (!rrh_)
    return AfterBeforeLoad();
  url_before_hook_ = request_->GetURL().ToString();
  uint64_t token = NewWait();
  CefRefPtr<WaitCallback> callback = new WaitCallback(this, token);
  cef_return_value_t rv = rrh_->OnBeforeResourceLoad(params_.browser, params_.frame, request_.get(), callback.get());
  if (done_)
    return;
  if (rv == RV_CONTINUE_ASYNC)
    return;  // the callback answers (a Continue inside the call is queued)
  waiting_token_ = 0;
  if (rv == RV_CANCEL)
    return Complete(ERR_ABORTED);
  AfterBeforeLoad();
}

void LoadJob::AfterBeforeLoad() {
  std::string url = request_->GetURL().ToString();
  if (rrh_ && url != url_before_hook_) {
    // The hook changed the URL: the load moves there, as after a redirect.
    CefRefPtr<CefRequestImpl> notice = CefRequestImpl::CopyOf(request_.get());
    notice->SetReadOnly();
    CefString target(url);
    Reply([notice, target](LoadDelegate& d) { d.OnLoadRedirect(notice.get(), nullptr, target); });
  }
  request_->SetReadOnly();
  ChooseHandler();
}

void LoadJob::ChooseHandler() {
  std::string url = request_->GetURL().ToString();
  std::string scheme = UrlScheme(url);
  NetUrl parsed;
  bool has_authority = ParseNetUrl(url, parsed);
  if (scheme.empty())
    return Complete(ERR_INVALID_URL);
  url_ = parsed;
  if (rrh_)
    handler_ = rrh_->GetResourceHandler(params_.browser, params_.frame, request_.get());
  if (!handler_) {
    if (CefRefPtr<CefSchemeHandlerFactory> factory =
            context_->FindSchemeHandlerFactory(scheme, has_authority ? parsed.host : std::string())) {
      handler_ = factory->Create(params_.browser, params_.frame, scheme, request_.get());
    }
  }
  if (done_)
    return;
  if (handler_)
    return OpenHandler();
  if (disable_default_)
    return Complete(ERR_UNKNOWN_URL_SCHEME);
  if (scheme == "data")
    return ServeDataUrl(url);
  if (scheme == "https" || scheme == "wss")
    return Complete(ERR_CONNECTION_FAILED);  // no TLS in this runtime
  if (scheme != "http")
    return Complete(ERR_UNKNOWN_URL_SCHEME);
  if (!has_authority)
    return Complete(ERR_INVALID_URL);
  if (request_->GetFlags() & UR_FLAG_ONLY_FROM_CACHE)
    return Complete(ERR_CACHE_MISS);  // there is no cache
  StartNetwork();
}

void LoadJob::ServeDataUrl(const std::string& url) {
  DataURL data;
  if (!ParseDataURL(url, &data))
    return Complete(ERR_INVALID_URL);
  CefRefPtr<CefResponseImpl> response = new CefResponseImpl();
  response->SetStatus(200);
  response->SetStatusText("OK");
  response->SetMimeType(data.mime_type);
  response->SetCharset(data.charset);
  response->SetURL(url);
  response_length_ = static_cast<int64_t>(data.body.size());
  DeliverResponse(response);
  DeliverData(std::move(data.body));
  Complete(ERR_NONE);
}

void LoadJob::OpenHandler() {
  stage_ = Stage::kOpen;
  uint64_t token = NewWait();
  CefRefPtr<WaitCallback> callback = new WaitCallback(this, token);
  bool handle_request = false;
  CefRefPtr<CefResourceHandler> handler = handler_;
  bool rv = handler->Open(request_.get(), handle_request, callback.get());
  if (done_)
    return;
  if (rv && handle_request) {
    waiting_token_ = 0;
    return HandlerHeaders();
  }
  if (rv)
    return;  // decided later through the callback
  if (handle_request) {
    waiting_token_ = 0;
    handler_finished_ = true;  // the handler refused; nothing to cancel
    return Complete(ERR_ABORTED);
  }
  // Older handlers: ProcessRequest with the same kind of callback.
  if (handler->ProcessRequest(request_.get(), callback.get()))
    return;
  if (done_)
    return;
  waiting_token_ = 0;
  handler_finished_ = true;
  Complete(ERR_ABORTED);
}

void LoadJob::HandlerHeaders() {
  CefRefPtr<CefResponseImpl> response = new CefResponseImpl();
  response->SetURL(request_->GetURL());
  int64_t length = -1;
  CefString redirect;
  handler_->GetResponseHeaders(response.get(), length, redirect);
  if (done_)
    return;
  if (response->GetError() != ERR_NONE) {
    handler_finished_ = true;
    return Complete(response->GetError());
  }
  if (response->GetStatus() == 0)
    response->SetStatus(redirect.empty() ? 200 : 302);
  if (!redirect.empty()) {
    handler_finished_ = true;
    handler_ = nullptr;
    return Redirect(response, ResolveUrl(url_, redirect.ToString()), response->GetStatus());
  }
  response_length_ = length;
  DeliverResponse(response);
  read_buffer_.assign(kReadBufferSize, 0);
  // A Range request whose handler answered with the whole resource: skip to
  // the first requested byte.
  skip_remaining_ = 0;
  std::string range = request_->GetHeaderByName("Range").ToString();
  if (response->GetStatus() != 206 && range.compare(0, 6, "bytes=") == 0) {
    skip_remaining_ = std::atoll(range.c_str() + 6);
  }
  if (skip_remaining_ > 0)
    return SkipMore();
  ReadMore();
}

void LoadJob::SkipMore() {
  stage_ = Stage::kSkip;
  while (skip_remaining_ > 0 && !done_) {
    uint64_t token = NewWait();
    CefRefPtr<SkipCallback> callback = new SkipCallback(this, token);
    int64_t skipped = 0;
    bool rv = handler_->Skip(skip_remaining_, skipped, callback.get());
    if (done_)
      return;
    if (rv && skipped == 0)
      return;  // the callback answers
    waiting_token_ = 0;
    if (!rv || skipped < 0)
      return FinishHandler(ERR_REQUEST_RANGE_NOT_SATISFIABLE);
    skip_remaining_ -= skipped;
  }
  if (!done_)
    ReadMore();
}

int LoadJob::NextReadSize(size_t unsent) const {
  if (response_length_ < 0)
    return kReadBufferSize;
  const int64_t left = response_length_ - received_ - static_cast<int64_t>(unsent);
  return static_cast<int>(std::clamp<int64_t>(left, 0, kReadBufferSize));
}

void LoadJob::ReadMore(std::string batch) {
  stage_ = Stage::kRead;
  // What the handler gives at once goes on together, as a page takes
  // whatever its data pipe holds: one task for the delegate's thread, not
  // one per read.
  while (!done_) {
    const int want = NextReadSize(batch.size());
    if (want == 0) {
      DeliverData(std::move(batch));
      return FinishHandler(ERR_NONE);
    }
    if (batch.size() >= kMaxBatch || backlog_->Full()) {
      const bool yield = batch.size() >= kMaxBatch;
      DeliverData(std::move(batch));
      return Park(yield);
    }
    uint64_t token = NewWait();
    CefRefPtr<ReadCallback> callback = new ReadCallback(this, token);
    int bytes_read = 0;
    bool rv = handler_->Read(read_buffer_.data(), want, bytes_read, callback.get());
    if (done_)
      return;
    if (rv && bytes_read == 0)
      return DeliverData(std::move(batch));  // the callback answers
    waiting_token_ = 0;
    if (rv && bytes_read > 0) {
      // Room for the rest of an announced length at once (it counts the
      // batch, which is not received yet).
      if (batch.size() == batch.capacity() && response_length_ > received_)
        batch.reserve(static_cast<size_t>(std::min<int64_t>(response_length_ - received_, kMaxBatch)));
      batch.append(read_buffer_.data(), static_cast<size_t>(std::min(bytes_read, want)));
      continue;
    }
    DeliverData(std::move(batch));
    if (rv)
      return FinishHandler(ERR_FAILED);
    if (bytes_read == 0)
      return FinishHandler(ERR_NONE);
    if (bytes_read == -1)
      return ReadLegacy();
    return FinishHandler(static_cast<cef_errorcode_t>(bytes_read));
  }
}

void LoadJob::ReadLegacy() {
  stage_ = Stage::kReadLegacy;
  size_t turn = 0;  // bytes read since the IO thread's other work ran
  while (!done_) {
    const int want = NextReadSize(0);
    if (want == 0)
      return FinishHandler(ERR_NONE);
    if (turn >= kMaxBatch || backlog_->Full())
      return Park(turn >= kMaxBatch);
    uint64_t token = NewWait();
    CefRefPtr<LegacyReadCallback> callback = new LegacyReadCallback(this, token);
    int bytes_read = 0;
    bool rv = handler_->ReadResponse(read_buffer_.data(), want, bytes_read, callback.get());
    if (done_)
      return;
    if (rv && bytes_read == 0)
      return;  // Continue() asks for the next call
    waiting_token_ = 0;
    if (!rv)
      return FinishHandler(ERR_NONE);
    if (bytes_read > 0) {
      turn += static_cast<size_t>(std::min(bytes_read, want));
      DeliverData(std::string(read_buffer_.data(), static_cast<size_t>(std::min(bytes_read, want))));
    }
  }
}

void LoadJob::Park(bool yield) {
  parked_ = true;
  if (yield)
    PostToJob(this, [](LoadJob& job) { job.ReadOn(); });
}

void LoadJob::ReadOn() {
  // A wake-up may find the job already reading again (a yield and the
  // delegate's catch-up both ask): the readers check the backlog anew.
  if (done_ || !parked_)
    return;
  parked_ = false;
  switch (stage_) {
    case Stage::kRead:
      return ReadMore();
    case Stage::kReadLegacy:
      return ReadLegacy();
    case Stage::kNetwork:
      if (backlog_->Full()) {
        parked_ = true;
        return;
      }
      if (transaction_)
        transaction_->ResumeReads();
      return;
    default:
      return;
  }
}

void LoadJob::FinishHandler(cef_errorcode_t error) {
  handler_finished_ = true;
  Complete(error);
}

void LoadJob::StartNetwork() {
  stage_ = Stage::kNetwork;
  HttpRequestSpec spec;
  spec.method = request_->GetMethod().ToString();
  if (spec.method.empty())
    spec.method = "GET";
  spec.url = url_;
  CefRequest::HeaderMap headers;
  request_->GetHeaderMap(headers);
  bool has_user_agent = false;
  for (const auto& [name, value] : headers) {
    std::string n = name.ToString();
    std::string lower = LowerAscii(n);
    if (lower == "user-agent")
      has_user_agent = true;
    // The stack manages credentials itself.
    if (lower == "proxy-authorization" || (lower == "authorization" && !server_authorization_.empty()))
      continue;
    spec.headers.emplace_back(n, value.ToString());
  }
  if (!has_user_agent)
    spec.headers.emplace_back("User-Agent", kUserAgent);
  std::string referrer = request_->GetReferrerURL().ToString();
  if (!referrer.empty() && request_->GetReferrerPolicy() != REFERRER_POLICY_NO_REFERRER)
    spec.headers.emplace_back("Referer", referrer);
  int flags = request_->GetFlags();
  if (flags & (UR_FLAG_SKIP_CACHE | UR_FLAG_DISABLE_CACHE)) {
    spec.headers.emplace_back("Pragma", "no-cache");
    spec.headers.emplace_back("Cache-Control", "no-cache");
  }
  // Credentials from an answered challenge go out with this try only.
  if (!server_authorization_.empty())
    spec.headers.emplace_back("Authorization", server_authorization_);
  if (!FlattenPostData(request_->GetPostData(), spec.body))
    return Complete(ERR_FILE_NOT_FOUND);
  proxy_ = ProxyConfigFor(context_).ResolveProxy(url_);
  via_proxy_ = proxy_.scheme == ProxyServer::Scheme::kHttp;
  if (proxy_.scheme != ProxyServer::Scheme::kDirect && !via_proxy_)
    return Complete(ERR_NO_SUPPORTED_PROXIES);
  if (via_proxy_) {
    spec.proxy = proxy_;
    if (!proxy_authorization_.empty())
      spec.headers.emplace_back("Proxy-Authorization", proxy_authorization_);
  }
  proxy_authorization_.clear();
  server_authorization_.clear();
  uint64_t gen = ++transaction_gen_;
  std::shared_ptr<NetworkLoop> loop = RuntimeNetworkLoop();
  bool canceled = false;
  if (loop) {
    // A Cancel() from another thread either comes first or finds the
    // exchange to cancel.
    std::lock_guard<std::mutex> guard(transaction_lock_);
    canceled = cancel_requested_;
    if (!canceled)
      transaction_ = HttpTransaction::Start(loop, std::move(spec), std::make_shared<NetBridge>(this, gen));
  }
  if (canceled)
    return Complete(ERR_ABORTED);
  if (!transaction_)
    return Complete(ERR_CONTEXT_SHUT_DOWN);
}

void LoadJob::OnNetHead(uint64_t gen, const HttpResponseHead& head) {
  if (done_ || gen != transaction_gen_)
    return;
  CefRefPtr<CefResponseImpl> response = new CefResponseImpl();
  response->SetStatus(head.status);
  response->SetStatusText(head.status_text);
  CefResponse::HeaderMap map;
  for (const auto& [name, value] : head.headers)
    map.emplace(name, value);
  response->SetHeaderMap(map);
  std::string mime, charset;
  SplitContentType(head.Get("Content-Type"), mime, charset);
  response->SetMimeType(mime);
  response->SetCharset(charset);
  response->SetURL(request_->GetURL());

  if (head.status == 407) {
    if (!via_proxy_)
      return Complete(ERR_UNEXPECTED_PROXY_AUTH);
    std::string realm;
    if (FindBasicChallenge(head.GetAll("Proxy-Authenticate"), realm))
      return AskForCredentials(true, proxy_.host, proxy_.port, realm);
  } else if (head.status == 401) {
    std::string realm;
    if (FindBasicChallenge(head.GetAll("WWW-Authenticate"), realm))
      return AskForCredentials(false, url_.BareHost(), url_.port, realm);
  } else if (IsRedirectStatus(head.status) && !head.Get("Location").empty() &&
             !(request_->GetFlags() & UR_FLAG_STOP_ON_REDIRECT)) {
    DropTransaction();
    return Redirect(response, ResolveUrl(url_, head.Get("Location")), head.status);
  }
  auto lengths = head.GetAll("Content-Length");
  response_length_ = lengths.empty() ? -1 : std::atoll(lengths.front().c_str());
  DeliverResponse(response);
}

void LoadJob::OnNetData(uint64_t gen, std::string data) {
  if (done_ || gen != transaction_gen_ || !response_delivered_)
    return;
  DeliverData(std::move(data));
  if (!done_ && transaction_ && !parked_ && backlog_->Full()) {
    parked_ = true;
    transaction_->PauseReads();
  }
}

void LoadJob::OnNetComplete(uint64_t gen, int error) {
  if (done_ || gen != transaction_gen_)
    return;
  {
    std::lock_guard<std::mutex> guard(transaction_lock_);
    transaction_.reset();
  }
  if (error == 0 && !response_delivered_)
    error = ERR_EMPTY_RESPONSE;
  Complete(static_cast<cef_errorcode_t>(error));
}

void LoadJob::AskForCredentials(bool is_proxy, const std::string& host, int port, const std::string& realm) {
  // The challenge's body is not wanted; the answer starts a new exchange.
  DropTransaction();
  if (++auth_rounds_ > kMaxAuthRounds)
    return Complete(ERR_TOO_MANY_RETRIES);
  stage_ = Stage::kAuth;
  auth_is_proxy_ = is_proxy;
  uint64_t token = NewWait();
  CefRefPtr<AuthCallback> callback = new AuthCallback(this, token);
  bool answered;
  if (params_.browser) {
    std::string origin = url_.Origin() + "/";
    answered =
        params_.request_handler && params_.request_handler->GetAuthCredentials(params_.browser, origin, is_proxy, host,
                                                                               port, realm, "basic", callback.get());
  } else {
    answered = delegate_ && delegate_->GetAuthCredentials(is_proxy, host, port, realm, "basic", callback.get());
  }
  if (done_)
    return;
  if (!answered) {
    waiting_token_ = 0;
    Complete(ERR_ABORTED);
  }
}

void LoadJob::Redirect(CefRefPtr<CefResponseImpl> response, std::string new_url, int status) {
  if (++redirects_ > kMaxRedirects)
    return Complete(ERR_TOO_MANY_REDIRECTS);
  if (new_url.empty())
    return Complete(ERR_INVALID_REDIRECT);  // a Location that is no URL
  response->SetReadOnly();
  CefString target(new_url);
  if (rrh_)
    rrh_->OnResourceRedirect(params_.browser, params_.frame, request_.get(), response.get(), target);
  if (done_)
    return;
  new_url = CanonicalizeUrl(target.ToString());
  if (new_url.empty())
    return Complete(ERR_INVALID_REDIRECT);
  CefRefPtr<CefRequestImpl> next = CefRequestImpl::CopyOf(request_.get());
  next->SetURL(new_url);
  std::string method = next->GetMethod().ToString();
  if ((status == 303 && method != "HEAD") || ((status == 301 || status == 302) && method == "POST")) {
    CefRequest::HeaderMap headers;
    next->GetHeaderMap(headers);
    for (auto it = headers.begin(); it != headers.end();) {
      std::string lower = LowerAscii(it->first.ToString());
      it = (lower == "content-type" || lower == "content-length") ? headers.erase(it) : std::next(it);
    }
    next->Set(new_url, "GET", nullptr, headers);
  }
  CefRefPtr<CefRequestImpl> notice = CefRequestImpl::CopyOf(next.get());
  notice->SetReadOnly();
  target = new_url;
  Reply([notice, response, target](LoadDelegate& d) { d.OnLoadRedirect(notice.get(), response.get(), target); });
  request_ = next;
  response_length_ = -1;
  received_ = 0;
  BeforeLoad();
}

void LoadJob::DeliverResponse(CefRefPtr<CefResponseImpl> response) {
  response_ = response;
  if (rrh_) {
    // A true answer asks for a restart, which this runtime does not do.
    rrh_->OnResourceResponse(params_.browser, params_.frame, request_.get(), response.get());
  }
  response->SetReadOnly();
  response_delivered_ = true;
  Reply([response](LoadDelegate& d) { d.OnLoadResponse(response.get()); });
}

void LoadJob::DeliverData(std::string bytes) {
  if (bytes.empty())
    return;
  received_ += static_cast<int64_t>(bytes.size());
  backlog_->Add(bytes.size());
  // Shared: the reply task is copied on its way to the delegate's thread.
  auto shared = std::make_shared<const std::string>(std::move(bytes));
  Reply([shared, backlog = backlog_, job = CefRefPtr<LoadJob>(this)](LoadDelegate& d) {
    d.OnLoadData(shared->data(), shared->size());
    if (backlog->Taken(shared->size()))
      PostToJob(job, [](LoadJob& job) { job.ReadOn(); });
  });
}

void LoadJob::Complete(cef_errorcode_t error) {
  if (done_)
    return;
  done_ = true;
  stage_ = Stage::kDone;
  waiting_token_ = 0;
  DropTransaction();
  CefRefPtr<LoadJob> keep(this);
  if (handler_ && !handler_finished_) {
    handler_finished_ = true;
    handler_->Cancel();
  }
  if (rrh_) {
    cef_urlrequest_status_t status = error == ERR_NONE ? UR_SUCCESS : error == ERR_ABORTED ? UR_CANCELED : UR_FAILED;
    rrh_->OnResourceLoadComplete(params_.browser, params_.frame, request_.get(), response_.get(), status, received_);
  }
  CefRefPtr<CefResponse> response = response_.get();
  CefRefPtr<LoadDelegate> delegate = delegate_;
  handler_ = nullptr;
  rrh_ = nullptr;
  delegate_ = nullptr;
  params_ = LoadParams();
  {
    std::lock_guard<std::mutex> guard(g_live_lock);
    g_live.erase(this);
  }
  // Last: a delegate that hears at once finds the load gone.
  ReplyTo(delegate, [error, response](LoadDelegate& d) { d.OnLoadComplete(error, response); });
}

void CancelAllLoads() {
  std::vector<CefRefPtr<LoadJob>> live;
  {
    std::lock_guard<std::mutex> guard(g_live_lock);
    for (LoadJob* job : g_live)
      live.emplace_back(job);
  }
  for (auto& job : live)
    job->AbandonSilently();
}

}  // namespace

CefRefPtr<LoadHandle> StartLoad(const LoadParams& params, CefRefPtr<LoadDelegate> delegate) {
  if (!IsRuntimeRunning() || !params.request || !delegate)
    return nullptr;
  static std::once_flag once;
  std::call_once(once, [] { SetLiveLoadCanceller(CancelAllLoads); });
  EnsureNetworkShutdownHook();
  CefRefPtr<CefTaskRunner> reply = CefTaskRunner::GetForCurrentThread();
  CefRefPtr<LoadJob> job = new LoadJob(params, delegate, reply);
  {
    std::lock_guard<std::mutex> guard(g_live_lock);
    g_live.insert(job.get());
  }
  if (!PostFunction(TID_IO, [job] { job->Start(); })) {
    std::lock_guard<std::mutex> guard(g_live_lock);
    g_live.erase(job.get());
    return nullptr;
  }
  return job.get();
}

int LiveLoadCount() {
  std::lock_guard<std::mutex> guard(g_live_lock);
  return static_cast<int>(g_live.size());
}

}  // namespace cef_internal
