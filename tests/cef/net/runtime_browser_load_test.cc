// Browser loads through the pipeline: the client's request handler hooks,
// a real loopback server, a real Basic proxy, scheme handlers, cancellation.
#include <atomic>
#include <mutex>

#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "include/cef_resource_handler.h"
#include "include/cef_scheme.h"
#include "include/cef_task.h"
#include "support/loopback_http.h"
#include "testing/driver.h"
#include "tests/cef/net/runtime_fixture.h"

namespace {

using kesta::testing::LoopbackHttpServer;
using kesta::testing::LoopbackProxy;
using net_test::AuthQuestion;
using net_test::NewContext;
using net_test::SetProxy;

class BrowserClient : public CefClient,
                      public CefLifeSpanHandler,
                      public CefLoadHandler,
                      public CefRequestHandler,
                      public CefResourceRequestHandler {
 public:
  // Answer to proxy challenges; empty user declines.
  std::string user, password;

  std::mutex lock;  // guards the fields below (IO and UI threads)
  std::vector<AuthQuestion> questions;
  std::vector<std::string> hook_log;  // "navigation|sub <url> browser=<0|1>"
  std::vector<std::string> loads;     // "<resource type> <url> <main|frame name>"

  // UI thread only.
  CefRefPtr<CefBrowser> browser;
  bool closed = false;
  int load_end_status = 0;
  cef_errorcode_t load_error = ERR_NONE;
  bool load_finished = false;

  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }

  void OnAfterCreated(CefRefPtr<CefBrowser> b) override { browser = b; }
  void OnBeforeClose(CefRefPtr<CefBrowser>) override {
    browser = nullptr;
    closed = true;
  }

  void OnLoadEnd(CefRefPtr<CefBrowser>, CefRefPtr<CefFrame> frame, int status) override {
    if (frame->IsMain()) {
      load_end_status = status;
      load_finished = true;
    }
  }
  void OnLoadError(CefRefPtr<CefBrowser>,
                   CefRefPtr<CefFrame> frame,
                   ErrorCode error,
                   const CefString&,
                   const CefString&) override {
    if (frame->IsMain()) {
      load_error = error;
      load_finished = true;
    }
  }

  CefRefPtr<CefResourceRequestHandler> GetResourceRequestHandler(CefRefPtr<CefBrowser> b,
                                                                 CefRefPtr<CefFrame>,
                                                                 CefRefPtr<CefRequest> request,
                                                                 bool is_navigation,
                                                                 bool,
                                                                 const CefString&,
                                                                 bool&) override {
    std::lock_guard<std::mutex> guard(lock);
    hook_log.push_back(std::string(is_navigation ? "navigation " : "sub ") + request->GetURL().ToString() +
                       " browser=" + (b ? "1" : "0") + " io=" + (CefCurrentlyOn(TID_IO) ? "1" : "0"));
    return this;
  }

  ReturnValue OnBeforeResourceLoad(CefRefPtr<CefBrowser>,
                                   CefRefPtr<CefFrame> frame,
                                   CefRefPtr<CefRequest> request,
                                   CefRefPtr<CefCallback>) override {
    {
      std::lock_guard<std::mutex> guard(lock);
      loads.push_back(std::to_string(request->GetResourceType()) + " " + request->GetURL().ToString() + " " +
                      (frame->IsMain() ? std::string("main") : frame->GetName().ToString()));
    }
    if (request->GetURL().ToString().find("/blocked") != std::string::npos)
      return RV_CANCEL;
    request->SetHeaderByName("X-Generation", "g7", true);
    return RV_CONTINUE;
  }

  bool GetAuthCredentials(CefRefPtr<CefBrowser>,
                          const CefString&,
                          bool isProxy,
                          const CefString& host,
                          int port,
                          const CefString& realm,
                          const CefString& scheme,
                          CefRefPtr<CefAuthCallback> callback) override {
    {
      std::lock_guard<std::mutex> guard(lock);
      questions.push_back({isProxy, host.ToString(), port, realm.ToString(), scheme.ToString()});
    }
    if (user.empty())
      return false;
    callback->Continue(user, password);
    return true;
  }

  IMPLEMENT_REFCOUNTING(BrowserClient);
};

class BrowserLoad : public ::testing::Test {
 protected:
  void TearDown() override {
    if (client_->browser) {
      client_->browser->GetHost()->CloseBrowser(true);
      EXPECT_TRUE(cef_testing::RunUntil([&] { return client_->closed; }, 10000));
    }
  }

  // Opens a browser on |url| in |context| and waits for the main frame.
  void Open(const std::string& url, CefRefPtr<CefRequestContext> context) {
    CefWindowInfo info;
    info.SetAsPopup(nullptr, "net test");
    info.runtime_style = CEF_RUNTIME_STYLE_ALLOY;
    ASSERT_TRUE(CefBrowserHost::CreateBrowser(info, client_.get(), url, CefBrowserSettings(), nullptr, context));
    ASSERT_TRUE(cef_testing::RunUntil([&] { return client_->load_finished; }, 15000));
  }

  CefRefPtr<BrowserClient> client_ = new BrowserClient();
};

TEST_F(BrowserLoad, NavigationReachesALoopbackServerWithHookHeaders) {
  LoopbackHttpServer server;
  CefRefPtr<CefRequestContext> context = NewContext();
  Open(server.origin() + "/start", context);
  EXPECT_EQ(client_->load_error, ERR_NONE);
  EXPECT_EQ(client_->load_end_status, 200);
  auto seen = server.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Header("X-Generation"), "g7");
  ASSERT_FALSE(client_->hook_log.empty());
  EXPECT_EQ(client_->hook_log[0], "navigation " + server.origin() + "/start browser=1 io=1");
}

TEST_F(BrowserLoad, ProxyChallengeGoesToTheRequestHandler) {
  LoopbackHttpServer origin;
  LoopbackProxy proxy("kesta", "0123456789abcdef0123456789abcdef");
  CefRefPtr<CefRequestContext> context = NewContext();
  SetProxy(context, "fixed_servers", "http://127.0.0.1:" + std::to_string(proxy.port()), "<-loopback>");
  client_->user = "kesta";
  client_->password = "0123456789abcdef0123456789abcdef";
  Open(origin.origin() + "/game", context);
  EXPECT_EQ(client_->load_error, ERR_NONE);
  EXPECT_EQ(client_->load_end_status, 200);
  ASSERT_EQ(client_->questions.size(), 1u);
  EXPECT_TRUE(client_->questions[0].is_proxy);
  EXPECT_EQ(client_->questions[0].host, "127.0.0.1");
  EXPECT_EQ(client_->questions[0].port, proxy.port());
  EXPECT_EQ(client_->questions[0].realm, "kesta-proxy");
  EXPECT_EQ(client_->questions[0].scheme, "basic");
  ASSERT_EQ(origin.request_count(), 1u);
  EXPECT_EQ(origin.requests()[0].Header("X-Generation"), "g7");

  // A sub-resource meets the challenge afresh.
  cef_testing::ResourceResult sub =
      cef_testing::LoadResource(client_->browser->GetMainFrame(), "GET", origin.origin() + "/api/x");
  EXPECT_EQ(sub.error, ERR_NONE);
  EXPECT_EQ(sub.body, "ok");
  EXPECT_EQ(client_->questions.size(), 2u);
}

TEST_F(BrowserLoad, DeclinedProxyChallengeFailsTheNavigation) {
  LoopbackHttpServer origin;
  LoopbackProxy proxy("kesta", "secret");
  CefRefPtr<CefRequestContext> context = NewContext();
  SetProxy(context, "fixed_servers", "127.0.0.1:" + std::to_string(proxy.port()), "<-loopback>");
  Open(origin.origin() + "/", context);
  EXPECT_NE(client_->load_error, ERR_NONE);
  EXPECT_EQ(client_->questions.size(), 1u);
  EXPECT_EQ(origin.request_count(), 0u);
}

TEST_F(BrowserLoad, CancelledLoadsNeverLeave) {
  LoopbackHttpServer server;
  CefRefPtr<CefRequestContext> context = NewContext();
  Open(server.origin() + "/blocked", context);
  EXPECT_EQ(client_->load_error, ERR_ABORTED);
  EXPECT_EQ(server.request_count(), 0u);
}

class EchoHandler : public CefResourceHandler {
 public:
  bool Open(CefRefPtr<CefRequest> request, bool& handle_request, CefRefPtr<CefCallback>) override {
    body_ = "served " + request->GetHeaderByName("X-Generation").ToString();
    handle_request = true;
    return true;
  }
  void GetResponseHeaders(CefRefPtr<CefResponse> response, int64_t& length, CefString&) override {
    response->SetStatus(200);
    response->SetMimeType("text/plain");
    length = static_cast<int64_t>(body_.size());
  }
  bool Read(void* out, int want, int& bytes_read, CefRefPtr<CefResourceReadCallback>) override {
    bytes_read = static_cast<int>(std::min<size_t>(want, body_.size() - offset_));
    memcpy(out, body_.data() + offset_, bytes_read);
    offset_ += bytes_read;
    return bytes_read > 0;
  }
  void Cancel() override {}

 private:
  std::string body_;
  size_t offset_ = 0;
  IMPLEMENT_REFCOUNTING(EchoHandler);
};

class EchoFactory : public CefSchemeHandlerFactory {
 public:
  std::atomic<int> with_browser{0};
  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser,
                                       CefRefPtr<CefFrame> frame,
                                       const CefString&,
                                       CefRefPtr<CefRequest>) override {
    if (browser && frame)
      ++with_browser;
    return new EchoHandler();
  }
  IMPLEMENT_REFCOUNTING(EchoFactory);
};

TEST_F(BrowserLoad, SchemeHandlerOfTheBrowsersContextServes) {
  CefRefPtr<CefRequestContext> context = NewContext();
  CefRefPtr<EchoFactory> factory = new EchoFactory();
  ASSERT_TRUE(context->RegisterSchemeHandlerFactory("https", "", factory));
  Open("https://game.example/", context);
  EXPECT_EQ(client_->load_error, ERR_NONE);
  EXPECT_EQ(client_->load_end_status, 200);
  cef_testing::ResourceResult sub =
      cef_testing::LoadResource(client_->browser->GetMainFrame(), "GET", "https://game.example/asset");
  EXPECT_EQ(sub.error, ERR_NONE);
  EXPECT_EQ(sub.body, "served g7");
  EXPECT_EQ(factory->with_browser, 2);
}

TEST_F(BrowserLoad, ADocumentRequestsItsStaticSubresourcesOnTheSameRoad) {
  // The page comes from a scheme handler, a foreign image from a loopback
  // server behind an authenticating proxy.
  LoopbackHttpServer remote;
  LoopbackProxy proxy("kesta", "secret");
  CefRefPtr<CefRequestContext> context = NewContext();
  SetProxy(context, "fixed_servers", "http://127.0.0.1:" + std::to_string(proxy.port()), "<-loopback>");
  client_->user = "kesta";
  client_->password = "secret";
  cef_testing::PageServer pages(context, "https", "game.example");
  pages.Serve("https://game.example/dir/page",
              "<html><head><link rel=stylesheet href='Style.CSS'><script src=\"./x/../app.js?v=1\"></script>"
              "<script>var s = '<img src=/written.png>';</script></head><body><!-- <img src=/old.png> -->"
              "<img src=\"/img/%61.png\"><iframe name=inner src=frame.html></iframe>"
              "<img src=\"" +
                  remote.origin() + "/remote.png\"><img src=\"data:image/png;base64,AA==\"></body>");
  pages.Serve("https://game.example/dir/frame.html", "<img src=in-frame.png><iframe src=page></iframe>");

  Open("HTTPS://Game.Example:443/dir/page", context);
  EXPECT_EQ(client_->load_end_status, 200);
  // The load ended only once the page's own resources had.
  EXPECT_EQ(remote.request_count(), 1u);
  ASSERT_TRUE(cef_testing::RunUntil([&] {
    std::lock_guard<std::mutex> guard(client_->lock);
    return client_->loads.size() >= 7;
  }));
  cef_testing::WaitForUIIdle();
  std::lock_guard<std::mutex> guard(client_->lock);
  // Canonical URLs, in document order, each with its resource type and
  // from the frame that holds it; the iframe as a sub-frame navigation,
  // which may not load its parent document again.
  const std::vector<std::string> expected = {
      std::to_string(RT_MAIN_FRAME) + " https://game.example/dir/page main",
      std::to_string(RT_STYLESHEET) + " https://game.example/dir/Style.CSS main",
      std::to_string(RT_SCRIPT) + " https://game.example/dir/app.js?v=1 main",
      std::to_string(RT_IMAGE) + " https://game.example/img/%61.png main",
      std::to_string(RT_SUB_FRAME) + " https://game.example/dir/frame.html inner",
      std::to_string(RT_IMAGE) + " " + remote.origin() + "/remote.png main",
      std::to_string(RT_IMAGE) + " https://game.example/dir/in-frame.png inner",
  };
  EXPECT_EQ(client_->loads, expected);
  // The foreign image met the proxy's challenge, answered by the client.
  ASSERT_EQ(client_->questions.size(), 1u);
  EXPECT_TRUE(client_->questions[0].is_proxy);
  EXPECT_EQ(remote.requests()[0].Header("X-Generation"), "g7");
  std::vector<std::string> served;
  for (const auto& request : pages.requests())
    served.push_back(request.url);
  EXPECT_EQ(served.size(), 6u);
}

}  // namespace
