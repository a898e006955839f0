// The HTTP engine against real loopback servers: framing, errors, proxies,
// cancellation and socket accounting.
#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <boost/asio/io_context.hpp>

#include "core/net_http_transaction.h"
#include "core/net_socket_pool.h"
#include "include/internal/cef_types_net.h"
#include "support/loopback_http.h"

namespace cef_internal {
namespace {

using kesta::testing::Base64;
using kesta::testing::CannedResponse;
using kesta::testing::LoopbackHttpServer;
using kesta::testing::LoopbackProxy;
using kesta::testing::RecordedRequest;

struct Outcome {
  int error = 1;
  HttpResponseHead head;
  bool had_head = false;
  std::string body;
  int data_calls = 0;
};

class Collector : public HttpTransactionDelegate {
 public:
  void OnHttpResponseHead(const HttpResponseHead& head) override {
    outcome_.head = head;
    outcome_.had_head = true;
  }
  void OnHttpData(std::string data) override {
    outcome_.body += data;
    ++outcome_.data_calls;
  }
  void OnHttpComplete(int error) override {
    outcome_.error = error;
    done_.set_value(outcome_);
  }
  std::future<Outcome> future() { return done_.get_future(); }

 private:
  Outcome outcome_;
  std::promise<Outcome> done_;
};

// One loop for the program, as the runtime keeps one: idle connections
// outlive the test that opened them.
const std::shared_ptr<NetworkLoop>& Loop() {
  static auto* loop = new std::shared_ptr<NetworkLoop>(NetworkLoop::OnOwnThread());
  return *loop;
}

Outcome Exchange(HttpRequestSpec spec) {
  auto collector = std::make_shared<Collector>();
  auto future = collector->future();
  auto t = HttpTransaction::Start(Loop(), std::move(spec), collector);
  EXPECT_TRUE(t);
  if (future.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << "transaction did not complete";
    return Outcome();
  }
  return future.get();
}

HttpRequestSpec Get(const std::string& url) {
  HttpRequestSpec spec;
  EXPECT_TRUE(ParseNetUrl(url, spec.url)) << url;
  return spec;
}

TEST(HttpTransaction, ExchangesWithALoopbackServer) {
  LoopbackHttpServer server([](const RecordedRequest& r) {
    CannedResponse c;
    c.status = 201;
    c.headers = {{"Content-Type", "text/html; charset=utf-8"}, {"X-Echo", r.Header("X-Test")}};
    c.body = r.method + " " + r.target + " " + r.body;
    return c;
  });
  HttpRequestSpec spec = Get(server.origin() + "/path?q=1#frag");
  spec.method = "POST";
  spec.headers = {{"X-Test", "one"}, {"Host", "evil"}, {"Content-Length", "99"}};
  spec.body = std::string("a\0b", 3);
  Outcome out = Exchange(spec);
  EXPECT_EQ(out.error, 0);
  EXPECT_EQ(out.head.status, 201);
  EXPECT_EQ(out.head.Get("x-echo"), "one");
  EXPECT_EQ(out.body, std::string("POST /path?q=1 a\0b", 18));
  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Header("Host"), "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(seen[0].Header("Content-Length"), "3");
}

TEST(HttpTransaction, LargeBodiesArriveInChunksAndComplete) {
  // Larger than the stack hands on at once, however fast it arrives.
  std::string big(3 * 1024 * 1024, 'x');
  for (size_t i = 0; i < big.size(); i += 7)
    big[i] = static_cast<char>('a' + i % 26);
  LoopbackHttpServer server([&](const RecordedRequest&) {
    CannedResponse c;
    c.body = big;
    return c;
  });
  Outcome out = Exchange(Get(server.origin() + "/big"));
  EXPECT_EQ(out.error, 0);
  EXPECT_EQ(out.body, big);
  EXPECT_GT(out.data_calls, 1);
}

TEST(HttpTransaction, ReportsConnectionAndProtocolErrors) {
  int dead_port;
  {
    LoopbackHttpServer gone;
    dead_port = gone.port();
  }
  EXPECT_EQ(Exchange(Get("http://127.0.0.1:" + std::to_string(dead_port) + "/")).error, ERR_CONNECTION_REFUSED);

  HttpRequestSpec via_dead_proxy = Get("http://127.0.0.1:1/");
  via_dead_proxy.proxy = {ProxyServer::Scheme::kHttp, "127.0.0.1", dead_port};
  EXPECT_EQ(Exchange(via_dead_proxy).error, ERR_PROXY_CONNECTION_FAILED);

  LoopbackHttpServer short_body([](const RecordedRequest&) {
    CannedResponse c;
    c.headers = {{"Content-Length", "10"}};
    c.body = "abc";
    return c;
  });
  Outcome truncated = Exchange(Get(short_body.origin() + "/"));
  EXPECT_EQ(truncated.error, ERR_CONTENT_LENGTH_MISMATCH);
  // The head arrived whole: it is reported even though the body fell short.
  EXPECT_TRUE(truncated.had_head);
  EXPECT_EQ(truncated.body, "abc");

  HttpRequestSpec injected = Get(short_body.origin() + "/");
  injected.headers = {{"X-Bad", "a\r\nX-Injected: 1"}};
  EXPECT_EQ(Exchange(injected).error, ERR_INVALID_ARGUMENT);
  injected.headers = {{"Bad Name", "v"}};
  EXPECT_EQ(Exchange(injected).error, ERR_INVALID_ARGUMENT);
  EXPECT_EQ(short_body.request_count(), 1u);
}

// A load on the IO thread starts its exchange on the loop's own thread:
// the request goes out at once there, yet a failure is still told after
// Start() has returned.
TEST(HttpTransaction, StartedOnTheLoopThreadItNeverAnswersFromInsideStart) {
  LoopbackHttpServer server([](const RecordedRequest& r) {
    CannedResponse c;
    c.body = "ok " + r.target;
    return c;
  });
  struct Starter : HttpTransactionDelegate {
    std::string origin;
    bool in_start = false;  // loop thread only
    std::shared_ptr<Collector> bad = std::make_shared<Collector>();
    std::shared_ptr<Collector> good = std::make_shared<Collector>();
    std::atomic<bool> answered_inside{false};
    struct Watch : Collector {
      Starter* starter = nullptr;
      void OnHttpComplete(int error) override {
        if (starter->in_start)
          starter->answered_inside = true;
        Collector::OnHttpComplete(error);
      }
    };
    void OnHttpResponseHead(const HttpResponseHead&) override {}
    void OnHttpData(std::string) override {}
    void OnHttpComplete(int) override {
      HttpRequestSpec bad_spec = Get(origin + "/bad");
      bad_spec.method = "GE T";
      in_start = true;
      HttpTransaction::Start(Loop(), bad_spec, bad);
      HttpTransaction::Start(Loop(), Get(origin + "/good"), good);
      in_start = false;
    }
  };
  auto starter = std::make_shared<Starter>();
  starter->origin = server.origin();
  auto watch = std::make_shared<Starter::Watch>();
  watch->starter = starter.get();
  starter->bad = watch;
  auto bad = watch->future();
  auto good = starter->good->future();
  HttpTransaction::Start(Loop(), Get(server.origin() + "/first"), starter);
  ASSERT_EQ(bad.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  ASSERT_EQ(good.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(bad.get().error, ERR_INVALID_ARGUMENT);
  EXPECT_FALSE(starter->answered_inside);
  EXPECT_EQ(good.get().body, "ok /good");
}

TEST(HttpTransaction, GoesThroughAProxyInAbsoluteForm) {
  LoopbackHttpServer origin;
  LoopbackProxy proxy("kesta", "secret");
  HttpRequestSpec spec = Get(origin.origin() + "/via?x");
  spec.proxy = {ProxyServer::Scheme::kHttp, "127.0.0.1", proxy.port()};

  Outcome challenged = Exchange(spec);
  EXPECT_EQ(challenged.error, 0);
  EXPECT_EQ(challenged.head.status, 407);
  EXPECT_EQ(challenged.head.Get("Proxy-Authenticate"), "Basic realm=\"kesta-proxy\"");
  EXPECT_EQ(origin.request_count(), 0u);

  spec.headers = {{"Proxy-Authorization", "Basic " + Base64("kesta:secret")}};
  Outcome passed = Exchange(spec);
  EXPECT_EQ(passed.error, 0);
  EXPECT_EQ(passed.head.status, 200);
  EXPECT_EQ(passed.body, "ok");
  auto at_proxy = proxy.requests();
  ASSERT_EQ(at_proxy.size(), 2u);
  EXPECT_EQ(at_proxy[1].target, origin.origin() + "/via?x");
  ASSERT_EQ(origin.request_count(), 1u);
  EXPECT_EQ(origin.requests()[0].target, "/via?x");
  EXPECT_FALSE(origin.requests()[0].HasHeader("Proxy-Authorization"));
}

TEST(HttpTransaction, CancelClosesTheSocketAndSilencesTheDelegate) {
  LoopbackHttpServer server([](const RecordedRequest&) {
    CannedResponse c;
    c.body = "partial";
    c.hold_after_head = true;
    return c;
  });
  // Cancels from inside its head call when told to, as a load does when
  // it follows a redirect or meets a challenge.
  struct Probe : HttpTransactionDelegate {
    bool cancel_in_head = false;
    std::mutex lock;  // guards transaction
    std::shared_ptr<HttpTransaction> transaction;
    std::promise<void> head;
    std::atomic<int> calls_after_cancel{0};
    std::atomic<bool> cancelled{false};
    void OnHttpResponseHead(const HttpResponseHead&) override {
      if (cancel_in_head) {
        std::lock_guard<std::mutex> guard(lock);
        transaction->Cancel();
        cancelled = true;
      }
      head.set_value();
    }
    void OnHttpData(std::string) override {
      if (cancelled)
        ++calls_after_cancel;
    }
    void OnHttpComplete(int) override {
      if (cancelled)
        ++calls_after_cancel;
    }
  };
  for (bool from_inside : {false, true}) {
    SCOPED_TRACE(from_inside ? "cancelled by the delegate" : "cancelled from another thread");
    auto probe = std::make_shared<Probe>();
    probe->cancel_in_head = from_inside;
    auto head = probe->head.get_future();
    std::shared_ptr<HttpTransaction> transaction;
    {
      std::lock_guard<std::mutex> guard(probe->lock);
      probe->transaction = HttpTransaction::Start(Loop(), Get(server.origin() + "/hold"), probe);
      transaction = probe->transaction;
    }
    ASSERT_EQ(head.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    if (!from_inside) {
      EXPECT_GE(CountedOpenSockets(), 1);
      transaction->Cancel();
      probe->cancelled = true;  // nothing may arrive once Cancel() has returned
    }
    EXPECT_TRUE(server.WaitForAbandonedHolds(from_inside ? 2 : 1, 10000));
    EXPECT_EQ(probe->calls_after_cancel, 0);
  }
}

CannedResponse KeptAlive(std::string body) {
  CannedResponse c;
  c.keep_alive = true;
  c.body = std::move(body);
  return c;
}

// The count of open sockets once the shared loop has run what earlier tests
// left queued there: a transaction closes its socket just after its last
// call.
int SettledOpenSockets() {
  HttpRequestSpec refused = Get("http://127.0.0.1:1/");
  refused.method = "GE T";
  EXPECT_EQ(Exchange(refused).error, ERR_INVALID_ARGUMENT);
  return CountedOpenSockets();
}

// Runs |context| on this thread until |future| is ready.
template <typename T>
bool RunUntilReady(boost::asio::io_context& context, std::future<T>& future) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (future.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    context.restart();
    context.run_one_for(std::chrono::milliseconds(50));
  }
  return true;
}

// On a loop this thread runs, so that what is queued on it waits.
TEST(HttpTransaction, ACancelledExchangeNeverSendsNorKeepsItsSocket) {
  LoopbackHttpServer server([](const RecordedRequest& r) { return KeptAlive("ok " + r.target); });
  const int open_before = SettledOpenSockets();
  {
    // Cancelled, or halted, before its Open() ran, with a kept-alive
    // connection ready.
    boost::asio::io_context context;
    std::shared_ptr<NetworkLoop> loop = NetworkLoop::OnContext(context);
    auto first = std::make_shared<Collector>();
    auto first_done = first->future();
    HttpTransaction::Start(loop, Get(server.origin() + "/first"), first);
    ASSERT_TRUE(RunUntilReady(context, first_done));
    EXPECT_EQ(first_done.get().body, "ok /first");
    std::shared_ptr<HttpTransaction> halted;
    std::thread([&] {
      HttpTransaction::Start(loop, Get(server.origin() + "/cancelled"), std::make_shared<Collector>())->Cancel();
      halted = HttpTransaction::Start(loop, Get(server.origin() + "/halted"), std::make_shared<Collector>());
      halted->Halt();
    }).join();
    context.restart();
    context.run_for(std::chrono::milliseconds(300));
    EXPECT_EQ(server.request_count(), 1u);
    halted->Cancel();
    loop->Shutdown();
  }
  EXPECT_EQ(CountedOpenSockets(), open_before);
  {
    // Shut down while the lookup runs: asio cannot take its answer back.
    boost::asio::io_context context;
    std::shared_ptr<NetworkLoop> loop = NetworkLoop::OnContext(context);
    HttpTransaction::Start(loop, Get(server.origin() + "/looked-up"), std::make_shared<Collector>());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    loop->Shutdown();
    context.restart();
    context.run_for(std::chrono::seconds(2));
    EXPECT_TRUE(context.stopped()) << "a socket or timer holds the loop";
    EXPECT_EQ(server.request_count(), 1u);
    EXPECT_EQ(CountedOpenSockets(), open_before);

    // A connection handed to a closed pool is closed.
    IdleSocketPool pool(context);
    pool.CloseAll();
    boost::asio::ip::tcp::socket socket(context);
    socket.open(boost::asio::ip::tcp::v4());
    CountSocketOpened();
    pool.Put("late", std::move(socket));
    EXPECT_EQ(pool.IdleCount(), 0u);
    EXPECT_EQ(CountedOpenSockets(), open_before);
  }
}

// Connection reuse as Chromium's socket pools do it.

TEST(HttpConnectionReuse, KeptAliveConnectionsCarryTheNextRequests) {
  LoopbackHttpServer server([](const RecordedRequest& r) {
    if (r.target == "/chunked") {
      CannedResponse c = KeptAlive("3\r\nabc\r\n0\r\n\r\n");
      c.headers = {{"Transfer-Encoding", "chunked"}};
      return c;
    }
    return KeptAlive("ok " + r.target);
  });
  EXPECT_EQ(Exchange(Get(server.origin() + "/1")).body, "ok /1");
  EXPECT_EQ(Exchange(Get(server.origin() + "/chunked")).body, "abc");
  HttpRequestSpec post = Get(server.origin() + "/3");
  post.method = "POST";
  post.body = "data";
  Outcome last = Exchange(post);
  EXPECT_EQ(last.error, 0);
  EXPECT_EQ(last.body, "ok /3");
  EXPECT_EQ(server.connection_count(), 1);
  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[2].connection, 1);
  EXPECT_EQ(seen[2].body, "data");
  EXPECT_EQ(seen[0].Header("Connection"), "keep-alive");
}

TEST(HttpConnectionReuse, ConnectionCloseOrStrayBytesEndTheConnection) {
  LoopbackHttpServer server([](const RecordedRequest& r) {
    if (r.target == "/close") {
      CannedResponse c;  // "Connection: close"
      c.body = "bye";
      return c;
    }
    if (r.target == "/stray") {
      // Two bytes more than announced: the connection's state is unknown.
      CannedResponse c = KeptAlive("okXX");
      c.headers = {{"Content-Length", "2"}};
      return c;
    }
    return KeptAlive("ok");
  });
  EXPECT_EQ(Exchange(Get(server.origin() + "/close")).body, "bye");
  EXPECT_EQ(Exchange(Get(server.origin() + "/stray")).body, "ok");
  EXPECT_EQ(Exchange(Get(server.origin() + "/plain")).body, "ok");
  EXPECT_EQ(Exchange(Get(server.origin() + "/plain")).body, "ok");
  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[1].connection, 2);
  EXPECT_EQ(seen[2].connection, 3);
  EXPECT_EQ(seen[3].connection, 3);
}

TEST(HttpConnectionReuse, AServerClosedIdleConnectionIsReplaced) {
  LoopbackHttpServer server([](const RecordedRequest& r) {
    CannedResponse c = KeptAlive("ok " + r.target);
    c.close_after = r.target == "/first";
    return c;
  });
  EXPECT_EQ(Exchange(Get(server.origin() + "/first")).body, "ok /first");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  Outcome next = Exchange(Get(server.origin() + "/next"));
  EXPECT_EQ(next.error, 0);
  EXPECT_EQ(next.body, "ok /next");
  EXPECT_EQ(server.connection_count(), 2);
  EXPECT_EQ(server.request_count(), 2u);
}

TEST(HttpConnectionReuse, AReusedConnectionFailingBeforeAnswerIsRetriedOnceOnANewOne) {
  // The second request on the first connection is dropped unanswered,
  // as by a server that closed the connection just as it was reused.
  LoopbackHttpServer flaky([](const RecordedRequest& r) {
    CannedResponse c = KeptAlive("ok " + r.target);
    c.hang_up = r.connection == 1 && r.target == "/second";
    return c;
  });
  EXPECT_EQ(Exchange(Get(flaky.origin() + "/first")).body, "ok /first");
  Outcome second = Exchange(Get(flaky.origin() + "/second"));
  EXPECT_EQ(second.error, 0);
  EXPECT_EQ(second.body, "ok /second");
  auto seen = flaky.requests();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1].connection, 1);
  EXPECT_EQ(seen[2].connection, 2);
  EXPECT_EQ(seen[2].target, "/second");

  // Only once, and only when nothing of an answer came: a new connection
  // that fails is the request's failure.
  LoopbackHttpServer dead([](const RecordedRequest& r) {
    CannedResponse c = KeptAlive("ok");
    c.hang_up = r.target != "/first";
    return c;
  });
  EXPECT_EQ(Exchange(Get(dead.origin() + "/first")).error, 0);
  EXPECT_EQ(Exchange(Get(dead.origin() + "/again")).error, ERR_EMPTY_RESPONSE);
  EXPECT_EQ(dead.request_count(), 3u);

  LoopbackHttpServer truncating([](const RecordedRequest& r) {
    CannedResponse c = KeptAlive(r.target == "/first" ? "ok" : "abc");
    if (r.target != "/first") {
      c.headers = {{"Content-Length", "10"}};
      c.close_after = true;
    }
    return c;
  });
  EXPECT_EQ(Exchange(Get(truncating.origin() + "/first")).error, 0);
  Outcome cut = Exchange(Get(truncating.origin() + "/cut"));
  EXPECT_EQ(cut.error, ERR_CONTENT_LENGTH_MISMATCH);
  EXPECT_EQ(cut.body, "abc");
  EXPECT_EQ(truncating.request_count(), 2u);
}

TEST(HttpConnectionReuse, ProxiedAndDirectConnectionsArePooledApart) {
  LoopbackHttpServer origin([](const RecordedRequest& r) { return KeptAlive("ok " + r.target); });
  LoopbackProxy proxy("kesta", "secret");
  EXPECT_EQ(Exchange(Get(origin.origin() + "/direct")).body, "ok /direct");

  HttpRequestSpec proxied = Get(origin.origin() + "/proxied");
  proxied.proxy = {ProxyServer::Scheme::kHttp, "127.0.0.1", proxy.port()};
  proxied.headers = {{"Proxy-Authorization", "Basic " + Base64("kesta:secret")}};
  EXPECT_EQ(Exchange(proxied).body, "ok /proxied");
  EXPECT_EQ(Exchange(Get(origin.origin() + "/direct-again")).body, "ok /direct-again");

  auto at_proxy = proxy.requests();
  ASSERT_EQ(at_proxy.size(), 1u);
  EXPECT_EQ(at_proxy[0].target, origin.origin() + "/proxied");
  EXPECT_EQ(at_proxy[0].Header("Proxy-Connection"), "keep-alive");
  auto at_origin = origin.requests();
  ASSERT_EQ(at_origin.size(), 3u);
  EXPECT_EQ(at_origin[1].target, "/proxied");
  EXPECT_NE(at_origin[1].connection, 1);
  EXPECT_EQ(at_origin[2].connection, 1);
}

// Chromium's limit: six connections per destination (per proxy and
// destination through a proxy) at a time; further requests wait for one.

TEST(HttpConnectionLimit, TwentyParallelRequestsShareSixConnections) {
  for (bool keep_alive : {true, false}) {
    SCOPED_TRACE(keep_alive ? "kept alive" : "closed after each answer");
    LoopbackHttpServer server([keep_alive](const RecordedRequest& r) {
      CannedResponse c;
      c.keep_alive = keep_alive;
      c.body = "ok " + r.target;
      c.delay_ms = 100;  // long enough for every request to be under way
      return c;
    });
    std::vector<std::future<Outcome>> outcomes;
    for (int i = 0; i < 20; ++i) {
      auto collector = std::make_shared<Collector>();
      outcomes.push_back(collector->future());
      ASSERT_TRUE(HttpTransaction::Start(Loop(), Get(server.origin() + "/" + std::to_string(i)), collector));
    }
    for (int i = 0; i < 20; ++i) {
      ASSERT_EQ(outcomes[i].wait_for(std::chrono::seconds(20)), std::future_status::ready) << i;
      Outcome out = outcomes[i].get();
      EXPECT_EQ(out.error, 0);
      EXPECT_EQ(out.body, "ok /" + std::to_string(i));
    }
    EXPECT_EQ(server.request_count(), 20u);
    EXPECT_LE(server.peak_unanswered(), 6);
    EXPECT_EQ(server.connection_count(), keep_alive ? 6 : 20);
  }
}

TEST(HttpConnectionLimit, AWaitingRequestLeavesWhenCancelledAndOtherDestinationsGoOn) {
  LoopbackHttpServer held([](const RecordedRequest& r) {
    CannedResponse c;
    c.hold_after_head = r.target == "/held";
    c.body = "ok " + r.target;
    return c;
  });
  LoopbackHttpServer other;
  std::vector<std::shared_ptr<HttpTransaction>> holding;
  auto sink = std::make_shared<Collector>();  // never completes: every held one is cancelled
  for (int i = 0; i < 6; ++i)
    holding.push_back(HttpTransaction::Start(Loop(), Get(held.origin() + "/held"), sink));
  auto cancelled = HttpTransaction::Start(Loop(), Get(held.origin() + "/cancelled"), sink);
  auto waiting = std::make_shared<Collector>();
  auto waited = waiting->future();
  HttpTransaction::Start(Loop(), Get(held.origin() + "/waited"), waiting);

  EXPECT_EQ(Exchange(Get(other.origin() + "/")).body, "ok");
  for (int i = 0; i < 250 && held.request_count() < 6; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(held.request_count(), 6u);

  cancelled->Cancel();
  holding[0]->Cancel();
  ASSERT_EQ(waited.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(waited.get().body, "ok /waited");
  for (size_t i = 1; i < holding.size(); ++i)
    holding[i]->Cancel();
  EXPECT_TRUE(held.WaitForAbandonedHolds(6, 10000));
  auto seen = held.requests();
  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen[6].target, "/waited");
}

TEST(HttpTransactionShutdown, ClosesEverySocketAndRefusesNewWork) {
  LoopbackHttpServer server([](const RecordedRequest&) {
    CannedResponse c;
    c.hold_after_head = true;
    return c;
  });
  LoopbackHttpServer kept([](const RecordedRequest&) { return KeptAlive("idle"); });
  std::shared_ptr<NetworkLoop> loop = NetworkLoop::OnOwnThread();
  const int open_before = SettledOpenSockets();
  auto idle = std::make_shared<Collector>();
  auto idle_done = idle->future();
  HttpTransaction::Start(loop, Get(kept.origin() + "/"), idle);
  ASSERT_EQ(idle_done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  auto collector = std::make_shared<Collector>();
  // Six held and two waiting for a connection of theirs.
  std::vector<std::shared_ptr<HttpTransaction>> held;
  for (int i = 0; i < 8; ++i)
    held.push_back(HttpTransaction::Start(loop, Get(server.origin() + "/hold"), collector));
  for (int i = 0; i < 200 && server.request_count() < 6; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(server.request_count(), 6u);
  EXPECT_EQ(CountedOpenSockets(), open_before + 7);  // six held, one idle
  loop->Shutdown();
  EXPECT_EQ(CountedOpenSockets(), open_before);
  EXPECT_TRUE(server.WaitForAbandonedHolds(6, 10000));
  EXPECT_EQ(HttpTransaction::Start(loop, Get(server.origin() + "/late"), collector), nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(server.request_count(), 6u);  // the waiting ones never went out
}

// A loop with its own thread may be shut down, or let go, on that thread:
// from a delegate's call, or with the last transaction that held it.
TEST(HttpTransactionShutdown, AnOwnThreadLoopMayEndOnItsThread) {
  std::promise<void> go;
  std::shared_future<void> gate = go.get_future().share();
  LoopbackHttpServer server([gate](const RecordedRequest&) {
    gate.wait();
    return CannedResponse();
  });
  struct Ender : Collector {
    std::shared_ptr<NetworkLoop> loop;
    bool shut_down = false;
    void OnHttpComplete(int error) override {
      if (shut_down)
        loop->Shutdown();
      loop.reset();
      Collector::OnHttpComplete(error);
    }
  };
  const int open_before = SettledOpenSockets();
  std::vector<std::future<Outcome>> outcomes;
  for (bool shut_down : {true, false}) {
    std::shared_ptr<NetworkLoop> loop = NetworkLoop::OnOwnThread();
    auto ender = std::make_shared<Ender>();
    ender->loop = loop;
    ender->shut_down = shut_down;
    outcomes.push_back(ender->future());
    EXPECT_TRUE(HttpTransaction::Start(loop, Get(server.origin() + "/"), ender));
  }
  // Every other reference is gone before the answers come.
  go.set_value();
  for (auto& outcome : outcomes) {
    ASSERT_EQ(outcome.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(outcome.get().error, 0);
  }
  for (int i = 0; i < 100 && CountedOpenSockets() != open_before; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(CountedOpenSockets(), open_before);
}

}  // namespace
}  // namespace cef_internal
