// The heartbeat: what the service receives, which requests a beat makes, and
// what a reply changes. Runs the stand-in runtime once for the program, so
// policy application writes real preferences of real request contexts.
#include <gtest/gtest.h>

#include <windows.h>

#include <io.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <sstream>

#include "desktop/desktop.h"
#include "desktop/desktop_flow.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "include/cef_auth_callback.h"
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

class RecordingAuth : public CefAuthCallback {
 public:
  void Continue(const CefString& username, const CefString& password) override { this->password = password; }
  void Cancel() override {}
  std::string password;

 private:
  IMPLEMENT_REFCOUNTING(RecordingAuth);
};

std::string directState(const std::string& extra = "") {
  return R"({"generation":"g1","siteOrigin":"https://game.example","updateGate":false,)"
         R"("browserProxy":{"mode":"direct"})" +
         (extra.empty() ? "" : "," + extra) + "}";
}

class HeartbeatTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The loopback origin is a start-up value, fixed before the runtime's
    // threads may read it; each test says how the service answers.
    service_ = new LoopbackHttpServer([](const RecordedRequest& request) {
      std::lock_guard lock(answerMutex_);
      return answer_(request);
    });
    localOrigin = service_->origin();
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
    delete service_;
  }

  void SetUp() override {
    Answer(nullptr);
    seen_ = service_->request_count();
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

  // How the service answers from now on; null: the host with an empty
  // state, the launch not ready.
  static void Answer(LoopbackHttpServer::Handler answer) {
    std::lock_guard lock(answerMutex_);
    answer_ = answer ? std::move(answer) : [](const RecordedRequest& request) {
      CannedResponse response;
      response.headers = {{"Content-Type", "application/json"}};
      response.body = request.target == "/api/launch" ? R"({"ready":false})" : R"({"state":{}})";
      return response;
    };
  }

  // The requests the service received in this test.
  std::vector<RecordedRequest> Requests() {
    std::vector<RecordedRequest> all = service_->requests();
    return std::vector<RecordedRequest>(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
  }

  static cef_testing::ScopedRuntime* runtime_;
  static LoopbackHttpServer* service_;
  static std::mutex answerMutex_;  // guards answer_ (the server's threads read it)
  static LoopbackHttpServer::Handler answer_;
  size_t seen_ = 0;
};

cef_testing::ScopedRuntime* HeartbeatTest::runtime_ = nullptr;
LoopbackHttpServer* HeartbeatTest::service_ = nullptr;
std::mutex HeartbeatTest::answerMutex_;
LoopbackHttpServer::Handler HeartbeatTest::answer_;

TEST_F(HeartbeatTest, TheDocumentTheServiceReceivesAndTheRequestsOfABeat) {
  CefRefPtr<SimpleHandler> handler(new SimpleHandler(false));

  beat(handler.get());
  auto requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/api/host");
  EXPECT_EQ(requests[0].Header("Authorization"), std::string("Bearer ") + kToken);
  // Keys in the writer's order, whole doubles without a fraction.
  EXPECT_EQ(requests[0].body,
            "{\"after\":0,\"browserNetworkEnforced\":false,\"error\":\"\",\"gameWindowCount\":0,"
            "\"networkError\":\"\",\"networkRestartRequired\":false,\"pid\":" +
                std::to_string(GetCurrentProcessId()) + ",\"proxyRevision\":-1,\"version\":\"0.6.12\",\"windows\":[]}");
  EXPECT_EQ(requests[1].target, "/api/launch");
  EXPECT_EQ(requests[1].body, "{}");

  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.admitted = true;
    gameBrowsers[7] = {"g1", kOrigin};
  }
  after = 3;
  // Network revision 0 in force in both contexts is a revision like any
  // other: it is reported, not left out.
  proxy(parse(directState(R"("networkRevision":0)")));
  ASSERT_EQ(networkPolicy.networkRevision, 0);
  proxyError = "proxy down";
  beat(handler.get());
  requests = Requests();
  ASSERT_EQ(requests.size(), 3u) << "after admission only the host is asked";
  EXPECT_EQ(requests[2].target, "/api/host");
  EXPECT_EQ(requests[2].body,
            "{\"after\":3,\"browserNetworkEnforced\":false,\"error\":\"proxy down\",\"gameWindowCount\":1,"
            "\"networkError\":\"\",\"networkRestartRequired\":false,\"networkRevision\":0,\"pid\":" +
                std::to_string(GetCurrentProcessId()) + ",\"proxyRevision\":0,\"version\":\"0.6.12\",\"windows\":[]}");
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

  outcome = apply(R"({"launch":{"ready":true,"state":)" + directState(R"("updateGate":true)") + "}}");
  EXPECT_FALSE(outcome.launch) << "the update gate is closed";

  outcome = apply(R"({"launch":{"ready":true,"state":)" + directState() + "}}");
  EXPECT_TRUE(outcome.launch);
  std::lock_guard lock(browserMutex);
  EXPECT_EQ(generation, "g1");
  EXPECT_EQ(origin, kOrigin);
}

TEST_F(HeartbeatTest, AdmissionWaitsForThePolicyInEveryContextAndTheWebContext) {
  // Without a proxy description the policy is in force in no context.
  const std::string unapplied = R"({"generation":"g1","siteOrigin":"https://game.example","updateGate":false})";
  Outcome outcome = apply(R"({"launch":{"ready":true,"state":)" + unapplied + "}}");
  ASSERT_FALSE(networkPolicy.contextsApplied.load());
  EXPECT_FALSE(outcome.launch);

  webContextReady = false;
  outcome = apply(R"({"launch":{"ready":true,"state":)" + directState() + "}}");
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

  // The proxy's challenge gets the token; the same address as a server does not.
  CefRefPtr<RecordingAuth> auth = new RecordingAuth();
  EXPECT_FALSE(DesktopProxyAuthentication(false, "127.0.0.1", 9, "basic", auth));
  EXPECT_EQ(auth->password, "");
  EXPECT_TRUE(DesktopProxyAuthentication(true, "127.0.0.1", 9, "basic", auth));
  EXPECT_EQ(auth->password, kToken);
}

TEST_F(HeartbeatTest, AnActivationRiseWithAnotherClientHandsOver) {
  Outcome outcome =
      apply(R"({"state":)" + directState(R"("activation":2,"clientPath":"C:\\new","client":"0.6.12")") + "}");
  EXPECT_FALSE(outcome.quit) << "the same client version is no hand-over";
  EXPECT_EQ(activation, 2);

  restartHost = true;
  outcome = apply(R"({"state":)" + directState(R"("activation":2,"clientPath":"C:\\new","client":"0.7.0")") + "}");
  EXPECT_FALSE(outcome.quit) << "an equal activation does nothing";

  outcome = apply(R"({"state":)" + directState(R"("activation":3,"clientPath":"C:\\new")") + "}");
  EXPECT_TRUE(outcome.quit);
  EXPECT_FALSE(restartHost);

  restartHost = true;
  outcome = apply(R"({"state":)" + directState(R"("activation":4,"client":"0.7.0")") + "}");
  EXPECT_FALSE(outcome.quit) << "no other client is installed without its path";
  EXPECT_TRUE(restartHost);
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

// Before admission the launch answer goes under "launch" of the host reply,
// replacing any "launch" the host reply had; when either answer is no
// object the host reply goes on alone, and the launch is asked even when the
// host exchange failed.
TEST_F(HeartbeatTest, TheLaunchAnswerIsNestedInTheHostReply) {
  // Replies other tests' beats posted are applied first, before anything is
  // looked at.
  cef_testing::RunPending(50);
  CapturedStderr errors;
  CefRefPtr<SimpleHandler> handler(new SimpleHandler(false));
  auto answering = [](int hostStatus, std::string host, std::string launch) {
    return [=](const RecordedRequest& request) {
      CannedResponse response;
      response.status = request.target == "/api/launch" ? 200 : hostStatus;
      response.body = request.target == "/api/launch" ? launch : host;
      return response;
    };
  };
  // One beat, with its reply applied as the loop applies it (the next poll
  // it schedules is not waited for).
  auto beatAndApply = [&] {
    beat(handler.get());
    cef_testing::RunPending(100);
  };

  Answer(answering(500, "", R"({"ready":true,"state":)" + directState() + "}"));
  beatAndApply();
  auto requests = Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].target, "/api/launch");
  EXPECT_EQ(count(errors.Text(), "Local control heartbeat failed\n"), 1u) << "the failed host exchange is the reply";

  Answer(answering(200, R"({"state":)" + directState(R"("activation":2)") + R"(,"commands":[{"id":2}]})", "[]"));
  beatAndApply();
  EXPECT_EQ(activation, 2) << "the host reply applies alone";
  EXPECT_EQ(after, 2);

  // The host's own "launch" has no state: kept, it would void the reply.
  Answer(answering(200, R"({"state":{},"launch":{"ready":false},"commands":[{"id":4}]})",
                   R"({"ready":true,"state":)" + directState(R"("activation":3)") + "}"));
  beatAndApply();
  EXPECT_EQ(activation, 3) << "the state comes from the launch answer";
  EXPECT_EQ(after, 4) << "the commands from the host reply";

  // A reply that arrives after the stop is dropped.
  running = false;
  Answer(answering(200, R"({"state":)" + directState(R"("activation":9)") + "}", "[]"));
  beatAndApply();
  running = true;
  EXPECT_EQ(activation, 3);
  std::lock_guard lock(browserMutex);
  EXPECT_TRUE(resourceLaunch.admitted);
  EXPECT_EQ(generation, "g1");
}

// The policy's error goes to standard error once per new error: repeats and
// a recovery say nothing, the same error coming back says it again.
TEST_F(HeartbeatTest, APolicyErrorIsWrittenOncePerNewError) {
  CapturedStderr errors;
  const std::string missing = R"({"generation":"g1"})";
  const std::string invalid = R"({"networkEnforced":true,"browserProxy":{"mode":"direct"}})";
  for (const std::string& state : {missing, missing, directState(), directState(), missing, invalid, invalid})
    proxy(parse(state));
  EXPECT_EQ(proxyError, "Invalid authenticated loopback proxy configuration");
  const std::string text = errors.Text();
  EXPECT_EQ(count(text, "Local service is missing browser proxy configuration\n"), 2u) << text;
  EXPECT_EQ(count(text, "Invalid authenticated loopback proxy configuration\n"), 1u) << text;
  EXPECT_EQ(count(text, "\n"), 3u) << text;
  proxy(parse(directState()));
}

}  // namespace
}  // namespace kesta::desktop
