// The HTTP engine against real loopback servers: framing, errors, proxies,
// cancellation and socket accounting.
#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "core/net_http_transaction.h"
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

Outcome Exchange(HttpRequestSpec spec) {
  auto collector = std::make_shared<Collector>();
  auto future = collector->future();
  auto t = HttpTransaction::Start(std::move(spec), collector);
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
  std::string big(300 * 1024, 'x');
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
  EXPECT_EQ(truncated.body, "abc");

  HttpRequestSpec injected = Get(short_body.origin() + "/");
  injected.headers = {{"X-Bad", "a\r\nX-Injected: 1"}};
  EXPECT_EQ(Exchange(injected).error, ERR_INVALID_ARGUMENT);
  injected.headers = {{"Bad Name", "v"}};
  EXPECT_EQ(Exchange(injected).error, ERR_INVALID_ARGUMENT);
  EXPECT_EQ(short_body.request_count(), 1u);
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
  struct Probe : HttpTransactionDelegate {
    std::promise<void> head;
    std::atomic<int> calls_after_cancel{0};
    std::atomic<bool> cancelled{false};
    void OnHttpResponseHead(const HttpResponseHead&) override { head.set_value(); }
    void OnHttpData(std::string) override {
      if (cancelled)
        ++calls_after_cancel;
    }
    void OnHttpComplete(int) override {
      if (cancelled)
        ++calls_after_cancel;
    }
  };
  auto probe = std::make_shared<Probe>();
  auto head = probe->head.get_future();
  auto t = HttpTransaction::Start(Get(server.origin() + "/hold"), probe);
  ASSERT_EQ(head.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_GE(network_thread::OpenSocketCount(), 1);
  t->Cancel();
  probe->cancelled = true;  // nothing may arrive once Cancel() has returned
  EXPECT_TRUE(server.WaitForAbandonedHolds(1, 10000));
  EXPECT_EQ(probe->calls_after_cancel, 0);
}

// Runs last in this program: the network thread does not come back.
TEST(HttpTransactionShutdown, ClosesEverySocketAndRefusesNewWork) {
  LoopbackHttpServer server([](const RecordedRequest&) {
    CannedResponse c;
    c.hold_after_head = true;
    return c;
  });
  auto collector = std::make_shared<Collector>();
  std::vector<std::shared_ptr<HttpTransaction>> held;
  for (int i = 0; i < 3; ++i)
    held.push_back(HttpTransaction::Start(Get(server.origin() + "/hold"), collector));
  for (int i = 0; i < 200 && server.request_count() < 3; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_EQ(server.request_count(), 3u);
  network_thread::Shutdown();
  EXPECT_EQ(network_thread::OpenSocketCount(), 0);
  EXPECT_TRUE(server.WaitForAbandonedHolds(3, 10000));
  EXPECT_EQ(HttpTransaction::Start(Get(server.origin() + "/late"), collector), nullptr);
  network_thread::ResetForTesting();
}

}  // namespace
}  // namespace cef_internal
