// The load pipeline's hooks and resource-handler driving, seen through the
// delegate that browsers use.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

// Before anything that may include windows.h.
#include "support/streaming_server.h"

#include "include/cef_request_context_handler.h"
#include "include/cef_resource_handler.h"
#include "include/cef_scheme.h"
#include "include/wrapper/cef_helpers.h"
#include "runtime/net/load_pipeline.h"
#include "support/loopback_http.h"
#include "tests/cef/net/runtime_fixture.h"

namespace {

using cef_internal::LoadDelegate;
using cef_internal::LoadHandle;
using cef_internal::LoadParams;
using cef_internal::StartLoad;
using kesta::testing::CannedResponse;
using kesta::testing::LoopbackHttpServer;
using kesta::testing::RecordedRequest;
using kesta::testing::StreamingServer;
using net_test::MakeRequest;
using net_test::NewContext;

class Recorder : public LoadDelegate {
 public:
  std::vector<std::string> events;
  std::string body;
  bool keep_body = true;  // else only counted, for long bodies
  size_t received = 0;
  bool complete = false;
  cef_errorcode_t error = ERR_NONE;
  CefRefPtr<CefResponse> response;

  void OnLoadRedirect(CefRefPtr<CefRequest> request, CefRefPtr<CefResponse>, const CefString& new_url) override {
    events.push_back("redirect " + new_url.ToString());
  }
  void OnLoadResponse(CefRefPtr<CefResponse> r) override {
    events.push_back("response " + std::to_string(r->GetStatus()));
    response = r;
  }
  void OnLoadData(const void* data, size_t size) override {
    received += size;
    if (keep_body)
      body.append(static_cast<const char*>(data), size);
  }
  void OnLoadComplete(cef_errorcode_t e, CefRefPtr<CefResponse>) override {
    events.push_back("complete " + std::to_string(e));
    error = e;
    complete = true;
  }
  IMPLEMENT_REFCOUNTING(Recorder);
};

CefRefPtr<LoadHandle> Load(CefRefPtr<CefRequestContext> context,
                           CefRefPtr<CefRequest> request,
                           CefRefPtr<Recorder> recorder) {
  LoadParams params;
  params.request_context = context;
  params.request = request;
  params.resource_type = RT_XHR;
  return StartLoad(params, recorder);
}

bool Finish(CefRefPtr<Recorder> recorder) {
  return cef_testing::RunUntil([&] { return recorder->complete; }, 15000);
}

// The request hooks of a context: header edits, cancel, or "later".
class Hooks : public CefRequestContextHandler, public CefResourceRequestHandler {
 public:
  std::atomic<int> before_load_calls{0};
  std::atomic<bool> on_io{true};
  std::string last_url;
  CefRefPtr<CefCallback> pending;

  CefRefPtr<CefResourceRequestHandler> GetResourceRequestHandler(CefRefPtr<CefBrowser>,
                                                                 CefRefPtr<CefFrame>,
                                                                 CefRefPtr<CefRequest>,
                                                                 bool,
                                                                 bool,
                                                                 const CefString&,
                                                                 bool&) override {
    on_io = on_io && CefCurrentlyOn(TID_IO);
    return this;
  }

  ReturnValue OnBeforeResourceLoad(CefRefPtr<CefBrowser> browser,
                                   CefRefPtr<CefFrame>,
                                   CefRefPtr<CefRequest> request,
                                   CefRefPtr<CefCallback> callback) override {
    on_io = on_io && CefCurrentlyOn(TID_IO) && !browser;
    ++before_load_calls;
    std::string url = request->GetURL().ToString();
    last_url = url;
    if (url.find("/cancel") != std::string::npos)
      return RV_CANCEL;
    if (url.find("/later") != std::string::npos) {
      pending = callback;
      return RV_CONTINUE_ASYNC;
    }
    CefRequest::HeaderMap headers;
    request->GetHeaderMap(headers);
    headers.erase("X-Secret");
    headers.emplace("X-Added", "yes");
    request->SetHeaderMap(headers);
    request->SetHeaderByName("x-replaced", "new", true);
    return RV_CONTINUE;
  }

  IMPLEMENT_REFCOUNTING(Hooks);
};

TEST(LoadPipeline, HeaderChangesInOnBeforeResourceLoadReachTheServer) {
  LoopbackHttpServer server;
  CefRefPtr<Hooks> hooks = new Hooks();
  CefRefPtr<CefRequestContext> context = NewContext(hooks);
  CefRefPtr<CefRequest> request = MakeRequest(server.origin() + "/page");
  request->SetHeaderByName("X-Secret", "token", true);
  request->SetHeaderByName("X-Replaced", "old", true);
  CefRefPtr<Recorder> recorder = new Recorder();
  ASSERT_TRUE(Load(context, request, recorder));
  ASSERT_TRUE(Finish(recorder));
  EXPECT_EQ(recorder->error, ERR_NONE);
  EXPECT_EQ(recorder->body, "ok");
  EXPECT_TRUE(hooks->on_io);
  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_FALSE(seen[0].HasHeader("X-Secret"));
  EXPECT_EQ(seen[0].Header("X-Added"), "yes");
  EXPECT_EQ(seen[0].Header("X-Replaced"), "new");
  // The caller's request is copied, never edited behind its back.
  EXPECT_EQ(request->GetHeaderByName("X-Secret").ToString(), "token");
}

TEST(LoadPipeline, DataUrlsNeedNoNetwork) {
  CefRefPtr<Recorder> loaded = new Recorder();
  Load(NewContext(), MakeRequest("data:text/plain;charset=utf-8;base64,aGVsbG8="), loaded);
  ASSERT_TRUE(Finish(loaded));
  EXPECT_EQ(loaded->error, ERR_NONE);
  EXPECT_EQ(loaded->body, "hello");
  EXPECT_EQ(loaded->response->GetMimeType().ToString(), "text/plain");
  CefRefPtr<Recorder> broken = new Recorder();
  Load(NewContext(), MakeRequest("data:no-comma"), broken);
  ASSERT_TRUE(Finish(broken));
  EXPECT_EQ(broken->error, ERR_INVALID_URL);
}

TEST(LoadPipeline, OnBeforeResourceLoadCancelsOrDecidesLater) {
  LoopbackHttpServer server;
  CefRefPtr<Hooks> hooks = new Hooks();
  CefRefPtr<CefRequestContext> context = NewContext(hooks);

  CefRefPtr<Recorder> cancelled = new Recorder();
  Load(context, MakeRequest(server.origin() + "/cancel"), cancelled);
  ASSERT_TRUE(Finish(cancelled));
  EXPECT_EQ(cancelled->error, ERR_ABORTED);
  EXPECT_EQ(server.request_count(), 0u);

  CefRefPtr<Recorder> later = new Recorder();
  Load(context, MakeRequest(server.origin() + "/later"), later);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return hooks->pending != nullptr; }, 5000));
  cef_testing::RunPending(100);
  EXPECT_FALSE(later->complete);
  EXPECT_EQ(server.request_count(), 0u);
  CefRefPtr<CefCallback> callback = hooks->pending;
  std::thread([callback] { callback->Continue(); }).join();
  ASSERT_TRUE(Finish(later));
  EXPECT_EQ(later->error, ERR_NONE);
  EXPECT_EQ(server.request_count(), 1u);
  hooks->pending = nullptr;
}

// A handler that serves |body| with the given behaviour.
class TestHandler : public CefResourceHandler {
 public:
  enum class Mode { kSync, kAsync, kLegacy, kNeverOpens, kError, kRedirect };
  TestHandler(Mode mode, std::string body, int chunk) : mode_(mode), body_(std::move(body)), chunk_(chunk) {}

  std::atomic<int> cancels{0};
  std::atomic<int> skipped{0};
  std::string range_status = "200";
  std::string redirect_to;
  int64_t announced = -1;  // the length told, when not the whole body
  CefRefPtr<CefCallback> open_callback;

  bool Open(CefRefPtr<CefRequest> request, bool& handle_request, CefRefPtr<CefCallback> callback) override {
    EXPECT_TRUE(request->IsReadOnly());
    if (mode_ == Mode::kLegacy) {
      handle_request = false;
      return false;
    }
    if (mode_ == Mode::kSync || mode_ == Mode::kError || mode_ == Mode::kRedirect) {
      handle_request = true;
      return true;
    }
    handle_request = false;
    open_callback = callback;
    if (mode_ == Mode::kAsync)
      std::thread([callback] { callback->Continue(); }).detach();
    return true;
  }

  bool ProcessRequest(CefRefPtr<CefRequest>, CefRefPtr<CefCallback> callback) override {
    callback->Continue();
    return true;
  }

  void GetResponseHeaders(CefRefPtr<CefResponse> response, int64_t& length, CefString& redirect) override {
    if (mode_ == Mode::kError) {
      response->SetError(ERR_FILE_NOT_FOUND);
      return;
    }
    if (mode_ == Mode::kRedirect) {
      redirect = redirect_to;
      return;
    }
    response->SetStatus(std::stoi(range_status));
    response->SetMimeType("text/html");
    CefResponse::HeaderMap headers{{"X-Handler", "1"}};
    response->SetHeaderMap(headers);
    length = announced >= 0 ? announced : static_cast<int64_t>(body_.size());
  }

  bool Skip(int64_t n, int64_t& bytes_skipped, CefRefPtr<CefResourceSkipCallback>) override {
    bytes_skipped = std::min<int64_t>(n, static_cast<int64_t>(body_.size() - offset_));
    offset_ += static_cast<size_t>(bytes_skipped);
    skipped += static_cast<int>(bytes_skipped);
    return bytes_skipped > 0;
  }

  bool Read(void* out, int want, int& bytes_read, CefRefPtr<CefResourceReadCallback> callback) override {
    if (mode_ == Mode::kLegacy) {
      bytes_read = -1;
      return false;
    }
    size_t n = std::min<size_t>({static_cast<size_t>(want), static_cast<size_t>(chunk_), body_.size() - offset_});
    if (n == 0) {
      bytes_read = 0;
      return false;
    }
    if (mode_ == Mode::kAsync) {
      // Fill the buffer later, from another thread.
      std::string part = body_.substr(offset_, n);
      offset_ += n;
      bytes_read = 0;
      std::thread([out, part, callback] {
        memcpy(out, part.data(), part.size());
        callback->Continue(static_cast<int>(part.size()));
      }).detach();
      return true;
    }
    memcpy(out, body_.data() + offset_, n);
    offset_ += n;
    bytes_read = static_cast<int>(n);
    return true;
  }

  bool ReadResponse(void* out, int want, int& bytes_read, CefRefPtr<CefCallback>) override {
    size_t n = std::min<size_t>({static_cast<size_t>(want), static_cast<size_t>(chunk_), body_.size() - offset_});
    memcpy(out, body_.data() + offset_, n);
    offset_ += n;
    bytes_read = static_cast<int>(n);
    return n > 0;
  }

  void Cancel() override { ++cancels; }

 private:
  Mode mode_;
  std::string body_;
  int chunk_;
  size_t offset_ = 0;
  IMPLEMENT_REFCOUNTING(TestHandler);
};

class OneHandlerFactory : public CefSchemeHandlerFactory {
 public:
  explicit OneHandlerFactory(CefRefPtr<CefResourceHandler> handler) : handler_(handler) {}
  std::atomic<int> creates{0};
  std::atomic<bool> had_browser{false};
  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser,
                                       CefRefPtr<CefFrame>,
                                       const CefString& scheme,
                                       CefRefPtr<CefRequest> request) override {
    EXPECT_TRUE(CefCurrentlyOn(TID_IO));
    EXPECT_TRUE(request->IsReadOnly());
    had_browser = browser != nullptr;
    ++creates;
    return handler_;
  }

 private:
  CefRefPtr<CefResourceHandler> handler_;
  IMPLEMENT_REFCOUNTING(OneHandlerFactory);
};

struct Served {
  CefRefPtr<Recorder> recorder = new Recorder();
  CefRefPtr<TestHandler> handler;
  CefRefPtr<LoadHandle> load;
};

Served Serve(TestHandler::Mode mode,
             const std::string& body,
             int chunk,
             const std::string& url,
             std::function<void(TestHandler&, CefRequest&)> edit = nullptr) {
  Served s;
  s.handler = new TestHandler(mode, body, chunk);
  CefRefPtr<CefRequestContext> context = NewContext();
  context->RegisterSchemeHandlerFactory("https", "", new OneHandlerFactory(s.handler));
  CefRefPtr<CefRequest> request = MakeRequest(url);
  if (edit)
    edit(*s.handler, *request);
  s.load = Load(context, request, s.recorder);
  return s;
}

TEST(LoadPipelineHandler, ServesTheResponseItDescribes) {
  std::string body(100000, 'q');
  for (size_t i = 0; i < body.size(); i += 13)
    body[i] = 'z';
  for (auto mode : {TestHandler::Mode::kSync, TestHandler::Mode::kAsync, TestHandler::Mode::kLegacy}) {
    Served s = Serve(mode, body, 7000, "https://game.example/index.html");
    ASSERT_TRUE(Finish(s.recorder)) << static_cast<int>(mode);
    EXPECT_EQ(s.recorder->error, ERR_NONE);
    EXPECT_EQ(s.recorder->body, body);
    ASSERT_TRUE(s.recorder->response);
    EXPECT_EQ(s.recorder->response->GetStatus(), 200);
    EXPECT_EQ(s.recorder->response->GetMimeType().ToString(), "text/html");
    EXPECT_EQ(s.recorder->response->GetHeaderByName("x-handler").ToString(), "1");
    EXPECT_EQ(s.handler->cancels, 0);
  }
  // A handler with more than it announced is read up to the announced
  // length, however many reads that takes at once.
  for (auto mode : {TestHandler::Mode::kSync, TestHandler::Mode::kAsync}) {
    Served s = Serve(mode, body, 7000, "https://game.example/longer",
                     [](TestHandler& h, CefRequest&) { h.announced = 70000; });
    ASSERT_TRUE(Finish(s.recorder)) << static_cast<int>(mode);
    EXPECT_EQ(s.recorder->error, ERR_NONE);
    EXPECT_EQ(s.recorder->body, body.substr(0, 70000));
  }
}

TEST(LoadPipelineHandler, AbandonedLoadCancelsTheHandlerOnce) {
  Served s = Serve(TestHandler::Mode::kNeverOpens, "x", 1, "https://game.example/slow");
  ASSERT_TRUE(cef_testing::RunUntil([&] { return s.handler->open_callback != nullptr; }, 5000));
  s.load->Cancel();
  s.load->Cancel();
  ASSERT_TRUE(Finish(s.recorder));
  EXPECT_EQ(s.recorder->error, ERR_ABORTED);
  EXPECT_EQ(s.handler->cancels, 1);
  // A late answer from the handler changes nothing.
  s.handler->open_callback->Continue();
  cef_testing::RunPending(100);
  EXPECT_EQ(s.recorder->events.size(), 1u);
}

TEST(LoadPipelineHandler, ErrorsRedirectsAndRanges) {
  Served failed = Serve(TestHandler::Mode::kError, "", 1, "https://game.example/missing");
  ASSERT_TRUE(Finish(failed.recorder));
  EXPECT_EQ(failed.recorder->error, ERR_FILE_NOT_FOUND);

  LoopbackHttpServer server;
  Served moved = Serve(TestHandler::Mode::kRedirect, "", 1, "https://game.example/moved",
                       [&](TestHandler& h, CefRequest&) { h.redirect_to = server.origin() + "/target"; });
  ASSERT_TRUE(Finish(moved.recorder));
  EXPECT_EQ(moved.recorder->error, ERR_NONE);
  EXPECT_EQ(moved.recorder->body, "ok");
  ASSERT_EQ(moved.recorder->events.size(), 3u);
  EXPECT_EQ(moved.recorder->events[0], "redirect " + server.origin() + "/target");

  // A handler that answers a Range request with the whole resource is
  // skipped forward; one that answers 206 already sent the range.
  for (const std::string status : {"200", "206"}) {
    Served ranged =
        Serve(TestHandler::Mode::kSync, "0123456789", 4, "https://game.example/r", [&](TestHandler& h, CefRequest& r) {
          h.range_status = status;
          r.SetHeaderByName("Range", "bytes=6-", true);
        });
    ASSERT_TRUE(Finish(ranged.recorder));
    EXPECT_EQ(ranged.recorder->body, status == "200" ? "6789" : "0123456789");
  }
}

// Always has data, up to |limit| bytes of unannounced length: every Read
// is answered at once and in full.
class EndlessHandler : public CefResourceHandler {
 public:
  explicit EndlessHandler(int64_t limit) : limit_(limit) {}
  std::atomic<int64_t> served{0};
  std::atomic<int> cancels{0};

  bool Open(CefRefPtr<CefRequest>, bool& handle_request, CefRefPtr<CefCallback>) override {
    handle_request = true;
    return true;
  }
  void GetResponseHeaders(CefRefPtr<CefResponse> response, int64_t& length, CefString&) override {
    response->SetStatus(200);
    response->SetMimeType("application/octet-stream");
    length = -1;
  }
  bool Read(void* out, int want, int& bytes_read, CefRefPtr<CefResourceReadCallback>) override {
    bytes_read = static_cast<int>(std::min<int64_t>(want, limit_ - served));
    memset(out, 'e', static_cast<size_t>(bytes_read));
    served += bytes_read;
    return bytes_read > 0;
  }
  void Cancel() override { ++cancels; }

 private:
  const int64_t limit_;
  IMPLEMENT_REFCOUNTING(EndlessHandler);
};

CefRefPtr<Recorder> LoadFromHandler(CefRefPtr<CefResourceHandler> handler, CefRefPtr<LoadHandle>* load = nullptr) {
  CefRefPtr<CefRequestContext> context = NewContext();
  context->RegisterSchemeHandlerFactory("https", "", new OneHandlerFactory(handler));
  CefRefPtr<Recorder> recorder = new Recorder();
  recorder->keep_body = false;
  CefRefPtr<LoadHandle> started = Load(context, MakeRequest("https://game.example/endless"), recorder);
  if (load)
    *load = started;
  return recorder;
}

TEST(LoadPipelineHandler, AHandlerThatAlwaysHasDataLetsOtherLoadsAndItsCancelIn) {
  LoopbackHttpServer server;
  // Ends there, so that a test that finds the IO thread held still ends.
  CefRefPtr<EndlessHandler> handler = new EndlessHandler(int64_t{4} << 30);
  CefRefPtr<LoadHandle> load;
  CefRefPtr<Recorder> endless = LoadFromHandler(handler, &load);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return endless->received > 0; }, 5000));

  CefRefPtr<Recorder> meanwhile = new Recorder();
  Load(NewContext(), MakeRequest(server.origin() + "/meanwhile"), meanwhile);
  ASSERT_TRUE(Finish(meanwhile));
  EXPECT_EQ(meanwhile->body, "ok");
  EXPECT_FALSE(endless->complete) << "the other load ran only once the handler ran dry";

  load->Cancel();
  ASSERT_TRUE(Finish(endless));
  EXPECT_EQ(endless->error, ERR_ABORTED);
  EXPECT_EQ(handler->cancels, 1);
}

// While the page's thread is busy, what is read for it stays bounded (a
// few MiB, as Chromium's data pipes hold); reading goes on once it catches
// up.
TEST(LoadPipeline, AReceiverThatIsBehindHoldsTheReadsBack) {
  constexpr size_t kBody = 128 << 20;
  // What the system holds for the client stays its own receive buffer.
  StreamingServer server(kBody, 64 * 1024);
  CefRefPtr<EndlessHandler> handler = new EndlessHandler(kBody / 4);
  CefRefPtr<Recorder> from_handler = LoadFromHandler(handler);
  CefRefPtr<Recorder> from_socket = new Recorder();
  from_socket->keep_body = false;
  Load(NewContext(), MakeRequest(server.origin() + "/stream"), from_socket);

  // This thread takes nothing until both sources stand still.
  size_t last = 0;
  for (int still = 0, round = 0; still < 5 && round < 200; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const size_t now = server.sent() + static_cast<size_t>(handler->served);
    still = now == last && now > 0 ? still + 1 : 0;
    last = now;
  }
  // The handler: the bound and at most one more batch. The socket: about
  // that, plus the client's receive buffer (the system grows it up to
  // tcp_rmem's maximum under Wine on Linux, 6 to 32 MiB).
  EXPECT_LE(handler->served, 3 << 20);
  EXPECT_LT(server.sent(), size_t{48} << 20);

  ASSERT_TRUE(Finish(from_handler));
  ASSERT_TRUE(Finish(from_socket));
  EXPECT_EQ(from_handler->error, ERR_NONE);
  EXPECT_EQ(from_handler->received, kBody / 4);
  EXPECT_EQ(from_socket->error, ERR_NONE);
  EXPECT_EQ(from_socket->received, kBody);
}

}  // namespace
