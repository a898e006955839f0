// CefShutdown() with requests still running: every socket of the network
// stack is closed, the servers see their clients go, resource handlers hear
// Cancel(). A program of its own, since the runtime starts once per process.
#include <atomic>

#include "core/net_socket_pool.h"
#include "include/cef_resource_handler.h"
#include "include/cef_scheme.h"
#include "runtime/net/load_pipeline.h"
#include "support/loopback_http.h"
#include "tests/cef/net/runtime_fixture.h"

namespace {

using kesta::testing::CannedResponse;
using kesta::testing::LoopbackHttpServer;
using kesta::testing::RecordedRequest;

class StuckHandler : public CefResourceHandler {
 public:
  std::atomic<int> cancels{0};
  bool Open(CefRefPtr<CefRequest>, bool& handle_request, CefRefPtr<CefCallback> callback) override {
    handle_request = false;
    callback_ = callback;  // never answered
    return true;
  }
  void GetResponseHeaders(CefRefPtr<CefResponse>, int64_t&, CefString&) override {}
  void Cancel() override {
    ++cancels;
    callback_ = nullptr;
  }

 private:
  CefRefPtr<CefCallback> callback_;
  IMPLEMENT_REFCOUNTING(StuckHandler);
};

class StuckFactory : public CefSchemeHandlerFactory {
 public:
  explicit StuckFactory(CefRefPtr<StuckHandler> handler) : handler_(handler) {}
  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser>,
                                       CefRefPtr<CefFrame>,
                                       const CefString&,
                                       CefRefPtr<CefRequest>) override {
    return handler_;
  }

 private:
  CefRefPtr<StuckHandler> handler_;
  IMPLEMENT_REFCOUNTING(StuckFactory);
};

TEST(NetworkShutdown, LeavesNoSocketOpen) {
  LoopbackHttpServer server([](const RecordedRequest&) {
    CannedResponse c;
    c.body = "start";
    c.hold_after_head = true;
    return c;
  });
  cef_testing::ScopedRuntime runtime;
  ASSERT_TRUE(runtime.initialized());
  CefRefPtr<StuckHandler> handler = new StuckHandler();
  CefRefPtr<CefRequestContext> context = net_test::NewContext();
  context->RegisterSchemeHandlerFactory("stuck", "", new StuckFactory(handler));

  std::vector<CefRefPtr<net_test::RecordingClient>> clients;
  std::vector<CefRefPtr<CefURLRequest>> requests;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(new net_test::RecordingClient());
    requests.push_back(
        CefURLRequest::Create(net_test::MakeRequest(server.origin() + "/hold"), clients.back(), context));
  }
  clients.push_back(new net_test::RecordingClient());
  requests.push_back(CefURLRequest::Create(net_test::MakeRequest("stuck://x/"), clients.back(), context));
  ASSERT_TRUE(cef_testing::RunUntil(
      [&] { return clients[0]->body.size() && clients[1]->body.size() && clients[2]->body.size(); }, 10000));
  EXPECT_EQ(cef_internal::CountedOpenSockets(), 3);
  EXPECT_EQ(cef_internal::LiveLoadCount(), 4);

  runtime.Shutdown();
  EXPECT_EQ(cef_internal::CountedOpenSockets(), 0);
  EXPECT_EQ(cef_internal::LiveLoadCount(), 0);
  EXPECT_EQ(handler->cancels, 1);
  EXPECT_TRUE(server.WaitForAbandonedHolds(3, 10000));
  // After shutdown nothing new starts.
  EXPECT_FALSE(CefURLRequest::Create(net_test::MakeRequest(server.origin() + "/late"), new net_test::RecordingClient(),
                                     nullptr));
}

}  // namespace
