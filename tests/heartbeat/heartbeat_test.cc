// The heartbeat: what the service receives, which requests a beat makes, and
// what a reply changes. Runs the stand-in runtime once for the program, so
// policy application writes real preferences of real request contexts.
#include <gtest/gtest.h>

#include <windows.h>

#include <io.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "desktop/desktop.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "include/cef_request_context.h"
#include "include/cef_values.h"
#include "shell/simple_handler.h"
#include "support/loopback_http.h"
#include "testing/runtime.h"

namespace kesta::desktop {
namespace {

using kesta::testing::CannedResponse;
using kesta::testing::LoopbackHttpServer;
using kesta::testing::RecordedRequest;

constexpr char kToken[] = "0123456789abcdef0123456789abcdef";
constexpr char kOrigin[] = "https://game.example";

// Standard error of this process, captured into a file while it lives.
class CapturedStderr {
 public:
  CapturedStderr() {
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    path_ = std::string(path) + "kesta-heartbeat-" + std::to_string(GetCurrentProcessId()) + ".err";
    std::fflush(stderr);
    saved_ = _dup(2);
    FILE* file = std::fopen(path_.c_str(), "wb");
    _dup2(_fileno(file), 2);
    std::fclose(file);
  }
  ~CapturedStderr() {
    std::fflush(stderr);
    _dup2(saved_, 2);
    _close(saved_);
    std::remove(path_.c_str());
  }
  std::string Text() {
    std::fflush(stderr);
    std::ifstream in(path_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::string path_;
  int saved_ = -1;
};

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

std::string directState(const std::string& extra = "") {
  return R"({"generation":"g1","siteOrigin":"https://game.example","updateGate":false,)"
         R"("browserProxy":{"mode":"direct"})" +
         (extra.empty() ? "" : "," + extra) + "}";
}

class HeartbeatTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    runtime_ = new cef_testing::ScopedRuntime();
    gameContext = CefRequestContext::GetGlobalContext();
    CefRequestContextSettings settings;
    webContext = CefRequestContext::CreateContext(settings, nullptr);
    webContextReady = true;
  }
  static void TearDownTestSuite() {
    if (requestThread.joinable())
      requestThread.join();
    gameContext = nullptr;
    webContext = nullptr;
    delete runtime_;
  }

  void SetUp() override {
    token = kToken;
    {
      std::lock_guard lock(browserMutex);
      resourceLaunch = ResourceLaunch();
      generation.clear();
      origin.clear();
      gameBrowsers.clear();
    }
    after = 0;
    activation = 0;
    revision = -1;
    restartHost = false;
    proxyError.clear();
    webContextReady = true;
    // As the process starts: what the heartbeat reports of the policy, and
    // no state applied yet (the policy holds a lock, so it is not assigned
    // whole).
    networkPolicy.applied = false;
    networkPolicy.networkRestartRequired = false;
    networkPolicy.browserNetworkEnforced = false;
    networkPolicy.networkRevision = -1;
    networkPolicy.networkError.clear();
  }

  // Applies `reply`; returns (launch, quit, urls).
  struct Outcome {
    bool launch = false;
    bool quit = false;
    std::vector<std::string> urls;
  };
  Outcome apply(const std::string& reply) {
    Outcome outcome;
    DesktopApplyResponse(reply, outcome.launch, outcome.quit, outcome.urls);
    return outcome;
  }

  // One beat through the request thread, waited for.
  void beat(SimpleHandler* handler) {
    DesktopSendHeartbeat(CefListValue::Create(), handler);
    requestThread.join();
  }

  static cef_testing::ScopedRuntime* runtime_;
};

cef_testing::ScopedRuntime* HeartbeatTest::runtime_ = nullptr;

TEST_F(HeartbeatTest, TheDocumentTheServiceReceivesAndTheRequestsOfABeat) {
  LoopbackHttpServer server([](const RecordedRequest& request) {
    CannedResponse response;
    response.headers = {{"Content-Type", "application/json"}};
    response.body = request.target == "/api/launch" ? R"({"ready":false})" : R"({"state":{}})";
    return response;
  });
  localOrigin = server.origin();
  CefRefPtr<SimpleHandler> handler(new SimpleHandler(false));

  beat(handler.get());
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/api/host");
  EXPECT_EQ(requests[0].Header("Authorization"), std::string("Bearer ") + kToken);
  // Keys in the writer's order, whole doubles without a fraction.
  EXPECT_EQ(requests[0].body, "{\"after\":0,\"browserNetworkEnforced\":false,\"error\":\"\",\"gameWindowCount\":0,"
                              "\"networkError\":\"\",\"networkRestartRequired\":false,\"pid\":" +
                                  std::to_string(GetCurrentProcessId()) +
                                  ",\"proxyRevision\":-1,\"version\":\"0.6.12\",\"windows\":[]}");
  EXPECT_EQ(requests[1].target, "/api/launch");
  EXPECT_EQ(requests[1].body, "{}");

  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.admitted = true;
  }
  after = 3;
  beat(handler.get());
  requests = server.requests();
  ASSERT_EQ(requests.size(), 3u) << "after admission only the host is asked";
  EXPECT_EQ(requests[2].target, "/api/host");
  EXPECT_NE(requests[2].body.find("\"after\":3,"), std::string::npos) << requests[2].body;
}

TEST_F(HeartbeatTest, AFailedOrUnusableReplyOnlySaysSo) {
  CapturedStderr errors;
  for (const char* reply : {"", "not json", "[1]", R"({"commands":[{"id":9,"type":"open","url":"x"}]})"}) {
    Outcome outcome = apply(reply);
    EXPECT_FALSE(outcome.launch);
    EXPECT_FALSE(outcome.quit);
    EXPECT_TRUE(outcome.urls.empty()) << "a reply without a state is ignored whole";
  }
  EXPECT_EQ(after, 0);
  EXPECT_EQ(count(errors.Text(), "Local control heartbeat failed\n"), 3u);
}

TEST_F(HeartbeatTest, ANestedLaunchAnswerCarriesTheState) {
  // The launch answer has no state: the host's is not read.
  Outcome outcome = apply(R"({"state":)" + directState() + R"(,"launch":{"ready":true},"commands":[{"id":1}]})");
  EXPECT_FALSE(outcome.launch);
  EXPECT_EQ(after, 0);

  outcome = apply(R"({"launch":{"ready":1,"state":)" + directState() + "}}");
  EXPECT_FALSE(outcome.launch) << "a ready that is not a boolean is not ready";

  outcome = apply(R"({"launch":{"ready":true,"state":)" + directState() + "}}");
  EXPECT_TRUE(outcome.launch);
  std::lock_guard lock(browserMutex);
  EXPECT_EQ(generation, "g1");
  EXPECT_EQ(origin, kOrigin);
}

TEST_F(HeartbeatTest, AdmissionWaitsForTheWebContext) {
  webContextReady = false;
  Outcome outcome = apply(R"({"launch":{"ready":true,"state":)" + directState() + "}}");
  EXPECT_FALSE(outcome.launch);
  webContextReady = true;
  outcome = apply(R"({"launch":{"ready":true,"state":)" + directState() + "}}");
  EXPECT_TRUE(outcome.launch);
  // Admitted once only.
  outcome = apply(R"({"launch":{"ready":true,"state":)" + directState() + "}}");
  EXPECT_FALSE(outcome.launch);
}

TEST_F(HeartbeatTest, ARestartRequiredByThePolicyBeatsAdmission) {
  networkPolicy.restartNeededForEnforcement = true;
  const std::string enforced = directState(
      R"("networkEnforced":true,"browserProxy":{"mode":"fixed_servers","server":"http://127.0.0.1:9","bypass_list":"<-loopback>"},)"
      R"("browserProxyAuth":{"host":"127.0.0.1","port":9,"username":"kesta"})");
  // The later "browserProxy" of the extra members replaces the direct one.
  Outcome outcome = apply(R"({"launch":{"ready":true,"state":)" + enforced + "}}");
  EXPECT_TRUE(networkPolicy.networkRestartRequired);
  EXPECT_TRUE(outcome.quit);
  EXPECT_FALSE(outcome.launch);
  EXPECT_TRUE(restartHost);
}

TEST_F(HeartbeatTest, AnActivationRiseWithAnotherClientHandsOver) {
  Outcome outcome = apply(R"({"state":)" + directState(R"("activation":2,"clientPath":"C:\\new","client":"0.6.12")") + "}");
  EXPECT_FALSE(outcome.quit) << "the same client version is no hand-over";
  EXPECT_EQ(activation, 2);

  restartHost = true;
  outcome = apply(R"({"state":)" + directState(R"("activation":2,"clientPath":"C:\\new","client":"0.7.0")") + "}");
  EXPECT_FALSE(outcome.quit) << "an equal activation does nothing";

  outcome = apply(R"({"state":)" + directState(R"("activation":3,"clientPath":"C:\\new")") + "}");
  EXPECT_TRUE(outcome.quit);
  EXPECT_FALSE(restartHost);
}

TEST_F(HeartbeatTest, CommandsRaiseAfterAndOpenUrlsInOrder) {
  Outcome outcome = apply(R"({"state":)" + directState() + R"(,"commands":[
      {"id":3,"type":"open","url":"https://a.example/"},
      {"id":1,"type":"Open","url":"https://b.example/"},
      5,
      {"id":2,"type":"open"},
      {"type":"other"}]})");
  EXPECT_EQ(outcome.urls, (std::vector<std::string>{"https://a.example/", ""}));
  EXPECT_EQ(after, 3);
}

TEST_F(HeartbeatTest, TheContextsStartWithTheInitialState) {
  // The client's own contexts replace the suite's for this test only.
  CefRefPtr<CefRequestContext> suiteGame = gameContext;
  CefRefPtr<CefRequestContext> suiteWeb = webContext;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  dataDir = std::string(temp) + "kesta-contexts-" + std::to_string(GetCurrentProcessId());
  origin = kOrigin;
  initialState = R"({"state":)" + directState(R"("activation":5)") + "}";
  DesktopContextInitialized();
  EXPECT_EQ(networkPolicy.networkError, "") << "the initial state's network policy was not read";
  EXPECT_TRUE(networkPolicy.contextsApplied);
  EXPECT_EQ(activation, 5);
  {
    std::lock_guard lock(browserMutex);
    EXPECT_EQ(generation, "g1");
    EXPECT_EQ(resourceLaunch.observedGeneration, "g1");
  }
  gameContext->ClearSchemeHandlerFactories();
  gameContext = suiteGame;
  webContext = suiteWeb;
  setLocalContext(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(dataDir, ignored);
}

}  // namespace
}  // namespace kesta::desktop
