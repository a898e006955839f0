// CefURLRequest against real loopback servers and a real Basic proxy.
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "core/message_loop.h"
#include "include/cef_request_context_handler.h"
#include "include/cef_task.h"
#include "runtime/net/load_pipeline.h"
#include "support/loopback_http.h"
#include "tests/cef/net/runtime_fixture.h"

namespace {

using kesta::testing::CannedResponse;
using kesta::testing::LoopbackHttpServer;
using kesta::testing::LoopbackProxy;
using kesta::testing::RecordedRequest;
using net_test::Fetch;
using net_test::MakeRequest;
using net_test::NewContext;
using net_test::RecordingClient;
using net_test::SetProxy;

::testing::Environment* const runtime_env = ::testing::AddGlobalTestEnvironment(new net_test::RuntimeEnvironment());

TEST(URLRequest, PostsBytesAndReportsTheResponse) {
  LoopbackHttpServer server([](const RecordedRequest& r) {
    CannedResponse c;
    c.status = 404;
    c.headers = {{"Content-Type", "Application/JSON; charset=UTF-8"}, {"X-Seen", r.Header("X-Custom")}};
    c.body = r.method + ":" + r.body;
    return c;
  });
  CefRefPtr<CefRequest> request = MakeRequest(server.origin() + "/api?x=1", "POST");
  CefRefPtr<CefPostData> post = CefPostData::Create();
  for (const char* part : {"ab", "", "cd"}) {
    CefRefPtr<CefPostDataElement> element = CefPostDataElement::Create();
    element->SetToBytes(strlen(part), part);
    post->AddElement(element);
  }
  request->SetPostData(post);
  request->SetHeaderByName("x-custom", "v1", true);
  request->SetFlags(UR_FLAG_SKIP_CACHE | UR_FLAG_STOP_ON_REDIRECT);
  CefRefPtr<RecordingClient> client = new RecordingClient();
  CefRefPtr<CefURLRequest> url_request = Fetch(request, client);

  EXPECT_TRUE(request->IsReadOnly());
  request->SetURL("http://elsewhere/");
  EXPECT_EQ(request->GetURL().ToString(), server.origin() + "/api?x=1");

  EXPECT_EQ(url_request->GetRequestStatus(), UR_SUCCESS);
  EXPECT_EQ(url_request->GetRequestError(), ERR_NONE);
  CefRefPtr<CefResponse> response = url_request->GetResponse();
  ASSERT_TRUE(response);
  EXPECT_TRUE(response->IsReadOnly());
  EXPECT_EQ(response->GetStatus(), 404);
  EXPECT_EQ(response->GetMimeType().ToString(), "application/json");
  EXPECT_EQ(response->GetCharset().ToString(), "UTF-8");
  EXPECT_EQ(response->GetHeaderByName("x-seen").ToString(), "v1");
  EXPECT_EQ(client->body, "POST:abcd");
  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Header("Cache-Control"), "no-cache");
  EXPECT_EQ(seen[0].Header("Content-Length"), "4");
}

TEST(URLRequest, RedirectsAreFollowedUnlessStopped) {
  LoopbackHttpServer server([](const RecordedRequest& r) {
    CannedResponse c;
    if (r.target == "/old") {
      c.status = 302;
      c.headers = {{"Location", "/new"}};
    } else {
      c.body = "arrived " + r.method;
    }
    return c;
  });
  CefRefPtr<RecordingClient> follows = new RecordingClient();
  auto followed = Fetch(MakeRequest(server.origin() + "/old", "POST"), follows);
  EXPECT_EQ(followed->GetRequestStatus(), UR_SUCCESS);
  EXPECT_EQ(follows->body, "arrived GET");
  EXPECT_EQ(followed->GetResponse()->GetURL().ToString(), server.origin() + "/new");

  CefRefPtr<CefRequest> stop = MakeRequest(server.origin() + "/old");
  stop->SetFlags(UR_FLAG_STOP_ON_REDIRECT);
  CefRefPtr<RecordingClient> stops = new RecordingClient();
  auto stopped = Fetch(stop, stops);
  EXPECT_EQ(stopped->GetRequestStatus(), UR_SUCCESS);
  EXPECT_EQ(stopped->GetResponse()->GetStatus(), 302);
  EXPECT_EQ(server.request_count(), 3u);
}

TEST(URLRequest, DownloadsLargeBodiesInChunks) {
  // Larger than the stack hands on at once, however fast it arrives.
  std::string big(3 * 1024 * 1024, '\0');
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>(i * 31 % 251);
  LoopbackHttpServer server([&](const RecordedRequest&) {
    CannedResponse c;
    c.body = big;
    return c;
  });
  CefRefPtr<RecordingClient> client = new RecordingClient();
  auto r = Fetch(MakeRequest(server.origin() + "/big"), client);
  EXPECT_EQ(r->GetRequestStatus(), UR_SUCCESS);
  EXPECT_EQ(client->body, big);
  EXPECT_GT(client->data_calls, 1);
}

TEST(URLRequest, FailuresCarryChromiumErrorCodes) {
  int dead_port;
  {
    LoopbackHttpServer gone;
    dead_port = gone.port();
  }
  struct Case {
    std::string url;
    cef_errorcode_t error;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(dead_port) + "/", ERR_CONNECTION_REFUSED},
      {"https://127.0.0.1:" + std::to_string(dead_port) + "/", ERR_CONNECTION_FAILED},
      {"gopher://127.0.0.1/", ERR_UNKNOWN_URL_SCHEME},
      {"not a url", ERR_INVALID_URL},
  };
  for (const Case& c : cases) {
    CefRefPtr<RecordingClient> client = new RecordingClient();
    auto r = Fetch(MakeRequest(c.url), client);
    EXPECT_EQ(r->GetRequestStatus(), UR_FAILED) << c.url;
    EXPECT_EQ(r->GetRequestError(), c.error) << c.url;
  }
}

// Counts what it hears once its request is cancelled; cancels from inside
// its first data call when told to.
class CancellingClient : public RecordingClient {
 public:
  bool cancel_in_data = false;
  int completions = 0;
  int heard_after_cancel = 0;  // progress, data or completion
  bool completed_inside_cancel = false;
  cef_urlrequest_status_t status_after_cancel = UR_UNKNOWN;
  cef_errorcode_t error_after_cancel = ERR_NONE;

  void CancelNow(CefRefPtr<CefURLRequest> request) {
    in_cancel_ = true;
    request->Cancel();
    in_cancel_ = false;
    cancelled_ = true;
    status_after_cancel = request->GetRequestStatus();
    error_after_cancel = request->GetRequestError();
  }

  void OnRequestComplete(CefRefPtr<CefURLRequest> request) override {
    Heard();
    ++completions;
    completed_inside_cancel = completed_inside_cancel || in_cancel_;
    RecordingClient::OnRequestComplete(request);
  }
  void OnDownloadProgress(CefRefPtr<CefURLRequest>, int64_t, int64_t) override { Heard(); }
  void OnDownloadData(CefRefPtr<CefURLRequest> request, const void* data, size_t size) override {
    Heard();
    RecordingClient::OnDownloadData(request, data, size);
    if (cancel_in_data && !cancelled_)
      CancelNow(request);
  }

 private:
  void Heard() { heard_after_cancel += cancelled_ ? 1 : 0; }

  bool in_cancel_ = false;
  bool cancelled_ = false;
};

TEST(URLRequest, CancelEndsTheRequestAtOnceAndClosesTheConnection) {
  LoopbackHttpServer server([](const RecordedRequest&) {
    CannedResponse c;
    c.body = "first bytes";
    c.hold_after_head = true;
    return c;
  });
  CefRefPtr<CancellingClient> client = new CancellingClient();
  auto r = CefURLRequest::Create(MakeRequest(server.origin() + "/slow"), client, nullptr);
  ASSERT_TRUE(r);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return !client->body.empty(); }, 10000));
  client->CancelNow(r);
  EXPECT_TRUE(client->completed_inside_cancel);
  EXPECT_EQ(client->status_after_cancel, UR_CANCELED);
  EXPECT_EQ(client->error_after_cancel, ERR_ABORTED);
  r->Cancel();  // ignored
  EXPECT_TRUE(server.WaitForAbandonedHolds(1, 10000));
  cef_testing::RunPending(100);
  EXPECT_EQ(client->completions, 1);
  EXPECT_EQ(client->heard_after_cancel, 0);

  // A completed request ignores it.
  LoopbackHttpServer kept([](const RecordedRequest&) {
    CannedResponse c;
    c.keep_alive = true;
    return c;
  });
  CefRefPtr<CancellingClient> done = new CancellingClient();
  auto finished = Fetch(MakeRequest(kept.origin() + "/first"), done);
  done->CancelNow(finished);
  EXPECT_EQ(done->status_after_cancel, UR_SUCCESS);
  EXPECT_EQ(done->error_after_cancel, ERR_NONE);
  EXPECT_EQ(done->completions, 1);

  // Cancelled before its load starts, with a kept-alive connection ready for
  // it: nothing goes out. The IO thread is held meanwhile, else it may start
  // the load (and send at once on the idle connection) before the cancel.
  std::promise<void> hold;
  cef_internal::PostFunction(TID_IO, [held = hold.get_future().share()] { held.wait(); });
  CefRefPtr<CancellingClient> early = new CancellingClient();
  auto never = CefURLRequest::Create(MakeRequest(kept.origin() + "/never"), early, nullptr);
  if (never)
    early->CancelNow(never);
  hold.set_value();
  ASSERT_TRUE(never);
  EXPECT_TRUE(early->completed_inside_cancel);
  EXPECT_TRUE(cef_testing::RunUntil([] { return cef_internal::LiveLoadCount() == 0; }, 10000));
  cef_testing::RunPending(200);
  EXPECT_EQ(kept.request_count(), 1u);
  EXPECT_EQ(early->heard_after_cancel, 0);
}

// Whatever the load had already sent to the creating thread is dropped
// once the client has cancelled, its completion included.
TEST(URLRequest, NothingIsHeardAfterCancelEvenFromALoadThatHadEnded) {
  // More than one hand-on, yet little enough to be buffered whole for a
  // receiver that is behind.
  const std::string body(1536 * 1024, 'x');
  LoopbackHttpServer server([&](const RecordedRequest&) {
    CannedResponse c;
    c.body = body;
    return c;
  });
  CefRefPtr<CancellingClient> client = new CancellingClient();
  client->cancel_in_data = true;
  auto r = CefURLRequest::Create(MakeRequest(server.origin() + "/ended"), client, nullptr);
  ASSERT_TRUE(r);
  // This thread stays away until the load has ended on the IO thread.
  for (int i = 0; i < 500 && cef_internal::LiveLoadCount() != 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(cef_internal::LiveLoadCount(), 0);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return client->data_calls > 0; }, 10000));
  cef_testing::RunPending(200);
  EXPECT_EQ(client->data_calls, 1);
  EXPECT_TRUE(client->completed_inside_cancel);
  EXPECT_EQ(client->status_after_cancel, UR_CANCELED);
  EXPECT_EQ(r->GetRequestStatus(), UR_CANCELED);
  EXPECT_EQ(r->GetRequestError(), ERR_ABORTED);
  EXPECT_EQ(client->completions, 1);
  EXPECT_EQ(client->heard_after_cancel, 0);
}

TEST(URLRequestProxy, BasicChallengeIsPutToTheClientAndAnsweredOnce) {
  LoopbackHttpServer origin;
  LoopbackProxy proxy("kesta", "token-token");
  CefRefPtr<CefRequestContext> context = NewContext();
  SetProxy(context, "fixed_servers", "http://127.0.0.1:" + std::to_string(proxy.port()), "<-loopback>");

  for (int round = 0; round < 2; ++round) {
    CefRefPtr<RecordingClient> client = new RecordingClient();
    client->user = "kesta";
    client->password = "token-token";
    auto r = Fetch(MakeRequest(origin.origin() + "/through"), client, context);
    EXPECT_EQ(r->GetRequestStatus(), UR_SUCCESS);
    EXPECT_EQ(client->body, "ok");
    // Credentials are not remembered: every request meets the challenge.
    ASSERT_EQ(client->questions.size(), 1u);
    const auto& q = client->questions[0];
    EXPECT_TRUE(q.is_proxy);
    EXPECT_EQ(q.host, "127.0.0.1");
    EXPECT_EQ(q.port, proxy.port());
    EXPECT_EQ(q.realm, "kesta-proxy");
    EXPECT_EQ(q.scheme, "basic");
  }
  EXPECT_EQ(proxy.challenges_sent(), 2);
  EXPECT_EQ(origin.request_count(), 2u);
}

TEST(URLRequestProxy, DeclinedOrWrongCredentialsNeverReachTheOrigin) {
  LoopbackHttpServer origin;
  LoopbackProxy proxy("kesta", "right");
  CefRefPtr<CefRequestContext> context = NewContext();
  SetProxy(context, "fixed_servers", "127.0.0.1:" + std::to_string(proxy.port()), "<-loopback>");

  CefRefPtr<RecordingClient> declines = new RecordingClient();
  auto declined = Fetch(MakeRequest(origin.origin() + "/"), declines, context);
  EXPECT_EQ(declined->GetRequestStatus(), UR_CANCELED);
  EXPECT_EQ(declines->questions.size(), 1u);

  // An answer the proxy keeps refusing ends after a bounded number of tries.
  CefRefPtr<RecordingClient> wrong = new RecordingClient();
  wrong->user = "kesta";
  wrong->password = "wrong";
  auto refused = Fetch(MakeRequest(origin.origin() + "/"), wrong, context);
  EXPECT_EQ(refused->GetRequestStatus(), UR_FAILED);
  EXPECT_GT(wrong->questions.size(), 1u);
  EXPECT_EQ(origin.request_count(), 0u);
}

TEST(URLRequestProxy, LoopbackBypassesTheProxyUnlessSubtracted) {
  LoopbackHttpServer origin;
  LoopbackProxy proxy("kesta", "right");
  struct Case {
    std::string bypass;
    bool through_proxy;
  } cases[] = {{"", false}, {"<-loopback>", true}, {"<-loopback>;127.0.0.1", false}, {"127.0.0.1;<-loopback>", true}};
  for (const Case& c : cases) {
    CefRefPtr<CefRequestContext> context = NewContext();
    SetProxy(context, "fixed_servers", "127.0.0.1:" + std::to_string(proxy.port()), c.bypass);
    size_t before = proxy.requests().size();
    CefRefPtr<RecordingClient> client = new RecordingClient();
    Fetch(MakeRequest(origin.origin() + "/"), client, context);
    EXPECT_EQ(proxy.requests().size() > before, c.through_proxy) << c.bypass;
  }
  CefRefPtr<CefRequestContext> direct = NewContext();
  SetProxy(direct, "direct", "127.0.0.1:" + std::to_string(proxy.port()), "<-loopback>");
  size_t before = proxy.requests().size();
  CefRefPtr<RecordingClient> client = new RecordingClient();
  auto r = Fetch(MakeRequest(origin.origin() + "/"), client, direct);
  EXPECT_EQ(r->GetRequestStatus(), UR_SUCCESS);
  EXPECT_EQ(proxy.requests().size(), before);
}

}  // namespace

namespace {

// A resource handler's own fetch: created on the IO thread, heard there,
// never from inside Create(); the next one may start from the completion,
// where the load that completed is already gone.
class IoClient : public RecordingClient {
 public:
  IoClient(CefRefPtr<CefRequestContext> context, std::string next_url)
      : context_(context), next_url_(std::move(next_url)) {}

  // IO thread.
  void Start(CefRefPtr<CefRequest> request) {
    in_create_ = true;
    started_ = CefURLRequest::Create(request, this, context_);
    in_create_ = false;
    created = created && started_;
  }

  std::atomic<bool> all_on_io{true};
  std::atomic<bool> heard_inside_create{false};
  std::atomic<bool> created{true};
  std::atomic<bool> done{false};
  std::atomic<int> loads_left_at_completion{-1};
  std::atomic<int> status{UR_UNKNOWN};

  void OnRequestComplete(CefRefPtr<CefURLRequest> request) override {
    Heard();
    status = request->GetRequestStatus();
    if (request->GetRequestStatus() != UR_SUCCESS || next_url_.empty()) {
      loads_left_at_completion = cef_internal::LiveLoadCount();
      done = true;
      return;
    }
    Start(MakeRequest(next_url_));
    next_url_.clear();
  }
  void OnDownloadData(CefRefPtr<CefURLRequest> request, const void* data, size_t size) override {
    Heard();
    RecordingClient::OnDownloadData(request, data, size);
  }

 private:
  void Heard() {
    all_on_io = all_on_io && CefCurrentlyOn(TID_IO);
    heard_inside_create = heard_inside_create || in_create_;
  }

  CefRefPtr<CefRequestContext> context_;
  std::string next_url_;
  bool in_create_ = false;  // IO thread only
  CefRefPtr<CefURLRequest> started_;
};

TEST(URLRequest, WorksFromTheIOThread) {
  LoopbackHttpServer server([](const RecordedRequest& r) {
    CannedResponse c;
    c.keep_alive = true;
    c.body = "ok " + r.target;
    return c;
  });
  CefRefPtr<IoClient> client = new IoClient(NewContext(), server.origin() + "/second");
  CefRefPtr<CefRequest> request = MakeRequest(server.origin() + "/first");
  cef_internal::PostFunction(TID_IO, [client, request] { client->Start(request); });
  ASSERT_TRUE(cef_testing::RunUntil([&] { return client->done.load(); }, 10000));
  EXPECT_TRUE(client->created);
  EXPECT_TRUE(client->all_on_io);
  EXPECT_FALSE(client->heard_inside_create);
  EXPECT_EQ(client->status, UR_SUCCESS);
  EXPECT_EQ(client->body, "ok /firstok /second");
  EXPECT_EQ(client->loads_left_at_completion, 0);
}

// A task on the IO thread that waits for its own request by posting
// itself again leaves the request's sockets their turn.
TEST(URLRequest, ATaskPollingOnTheIOThreadSeesItsRequestComplete) {
  LoopbackHttpServer server;
  struct Poll {
    CefRefPtr<RecordingClient> client = new RecordingClient();  // IO thread only
    CefRefPtr<CefURLRequest> request;
    std::chrono::steady_clock::time_point give_up;
    std::atomic<int> outcome{0};  // 1 complete, 2 gave up
    void Again(std::shared_ptr<Poll> self) {
      if (client->complete || std::chrono::steady_clock::now() >= give_up) {
        outcome = client->complete ? 1 : 2;
        return;
      }
      cef_internal::PostFunction(TID_IO, [self] { self->Again(self); });
    }
  };
  auto poll = std::make_shared<Poll>();
  CefRefPtr<CefRequestContext> context = NewContext();
  CefRefPtr<CefRequest> request = MakeRequest(server.origin() + "/polled");
  cef_internal::PostFunction(TID_IO, [poll, context, request] {
    poll->request = CefURLRequest::Create(request, poll->client, context);
    poll->give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    poll->Again(poll);
  });
  ASSERT_TRUE(cef_testing::RunUntil([&] { return poll->outcome != 0; }, 15000));
  EXPECT_EQ(poll->outcome, 1);
  std::atomic<bool> released{false};
  cef_internal::PostFunction(TID_IO, [poll, &released] {
    EXPECT_EQ(poll->request->GetRequestStatus(), UR_SUCCESS);
    EXPECT_EQ(poll->client->body, "ok");
    poll->request = nullptr;
    released = true;
  });
  EXPECT_TRUE(cef_testing::RunUntil([&] { return released.load(); }, 5000));
}

}  // namespace

namespace {

TEST(URLRequest, ServerChallengesAndStrayProxyChallenges) {
  const std::string expected = "Basic " + kesta::testing::Base64("user:pw");
  LoopbackHttpServer server([&](const RecordedRequest& r) {
    CannedResponse c;
    if (r.target == "/proxy-auth-from-origin") {
      c.status = 407;
      c.headers = {{"Proxy-Authenticate", "Basic realm=\"stray\""}};
    } else if (r.Header("Authorization") != expected) {
      c.status = 401;
      c.headers = {{"WWW-Authenticate", "Basic realm=\"site\", charset=\"UTF-8\""}};
    } else {
      c.body = "welcome";
    }
    return c;
  });
  CefRefPtr<RecordingClient> client = new RecordingClient();
  client->user = "user";
  client->password = "pw";
  auto r = Fetch(MakeRequest(server.origin() + "/private"), client);
  EXPECT_EQ(r->GetRequestStatus(), UR_SUCCESS);
  EXPECT_EQ(client->body, "welcome");
  ASSERT_EQ(client->questions.size(), 1u);
  EXPECT_FALSE(client->questions[0].is_proxy);
  EXPECT_EQ(client->questions[0].host, "127.0.0.1");
  EXPECT_EQ(client->questions[0].port, server.port());
  EXPECT_EQ(client->questions[0].realm, "site");

  // A 407 on a direct connection is never shown to the client.
  CefRefPtr<RecordingClient> stray = new RecordingClient();
  stray->user = "user";
  auto s = Fetch(MakeRequest(server.origin() + "/proxy-auth-from-origin"), stray);
  EXPECT_EQ(s->GetRequestError(), ERR_UNEXPECTED_PROXY_AUTH);
  EXPECT_TRUE(stray->questions.empty());
}

}  // namespace
