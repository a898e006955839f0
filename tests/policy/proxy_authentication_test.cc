#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "include/cef_auth_callback.h"
#include "policy/browser_network_policy.h"
#include "policy_test_util.h"
#include "test_contexts.h"

namespace {

using policy_test::Dict;

class RecordingAuthCallback : public CefAuthCallback {
 public:
  void Continue(const CefString& username, const CefString& password) override {
    std::lock_guard<std::mutex> lock(mutex_);
    continued_.emplace_back(username.ToString(), password.ToString());
  }
  void Cancel() override { cancelled_ = true; }

  std::vector<std::pair<std::string, std::string>> Continued() {
    std::lock_guard<std::mutex> lock(mutex_);
    return continued_;
  }
  bool Cancelled() const { return cancelled_; }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::string, std::string>> continued_;
  std::atomic<bool> cancelled_ = false;
  IMPLEMENT_REFCOUNTING(RecordingAuthCallback);
};

std::string EnforcedState(const std::string& host, int port) {
  const std::string server = "http://" + (host == "::1" ? "[::1]" : host) + ":" + std::to_string(port);
  return R"({"activation": 1, "networkRevision": 1, "networkEnforced": true,
    "browserProxy": {"mode": "fixed_servers", "server": ")" +
         server + R"(", "bypass_list": "<-loopback>"},
    "browserProxyAuth": {"host": ")" +
         host + R"(", "port": )" + std::to_string(port) + R"(, "username": "kesta"}})";
}

class ProxyAuthenticationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    policy_test::SetGlobalSwitches(true);
    policy.startupNetworkEnforced = true;
    policy.restartNeededForEnforcement = false;
  }

  // The endpoint is published before the contexts are touched, so a missing
  // game context still leaves it in place.
  void Publish(const std::string& json, const std::string& withToken) {
    policy.Apply(Dict(json), nullptr, nullptr, withToken);
  }
  void Publish(const std::string& host, int port) { Publish(EnforcedState(host, port), token); }

  // Answers one challenge; returns the credentials given, or none.
  std::vector<std::pair<std::string, std::string>> Challenge(bool isProxy,
                                                             const std::string& host,
                                                             int port,
                                                             const std::string& scheme,
                                                             const std::string& password,
                                                             bool* result = nullptr) {
    CefRefPtr<RecordingAuthCallback> callback = new RecordingAuthCallback;
    bool answered = policy.Authenticate(isProxy, host, port, scheme, password, callback);
    EXPECT_FALSE(callback->Cancelled());
    // Authenticate keeps no reference on any path.
    EXPECT_TRUE(callback->HasOneRef());
    auto continued = callback->Continued();
    EXPECT_EQ(answered, !continued.empty());
    if (result) {
      *result = answered;
    }
    return continued;
  }

  bool Answered(bool isProxy, const std::string& host, int port, const std::string& scheme = "Basic") {
    return !Challenge(isProxy, host, port, scheme, token).empty();
  }

  kesta::BrowserNetworkPolicy policy;
  std::string token = "0123456789abcdef0123456789abcdef";
};

TEST_F(ProxyAuthenticationTest, DeclinedUntilAValidEnforcedStateIsApplied) {
  EXPECT_FALSE(Answered(true, "127.0.0.1", 8899));
  EXPECT_FALSE(Answered(true, "", 0));

  Publish(R"({"networkEnforced": false, "browserProxy": {"mode": "direct"}})", token);
  EXPECT_FALSE(Answered(true, "127.0.0.1", 8899));
  EXPECT_FALSE(Answered(true, "", 0));

  // An invalid description keeps its host and port in the endpoint, disabled.
  Publish(EnforcedState("127.0.0.1", 8899), std::string(31, 'x'));
  ASSERT_EQ(policy.endpoint.port, 8899);
  EXPECT_FALSE(Answered(true, "127.0.0.1", 8899));

  Publish("127.0.0.1", 8899);
  EXPECT_TRUE(Answered(true, "127.0.0.1", 8899));
  // Dropping enforcement withdraws the endpoint again.
  Publish(R"({"networkEnforced": false, "browserProxy": {"mode": "direct"}})", token);
  EXPECT_FALSE(Answered(true, "127.0.0.1", 8899));
}

TEST_F(ProxyAuthenticationTest, AnswersOnlyTheEndpointItself) {
  Publish("127.0.0.1", 8899);
  bool result = false;
  auto credentials = Challenge(true, "127.0.0.1", 8899, "Basic", token, &result);
  EXPECT_TRUE(result);
  ASSERT_EQ(credentials.size(), 1u);
  EXPECT_EQ(credentials[0].first, "kesta");
  EXPECT_EQ(credentials[0].second, token);

  EXPECT_FALSE(Answered(false, "127.0.0.1", 8899));  // a server, not the proxy
  EXPECT_FALSE(Answered(true, "127.0.0.1", 8900));
  EXPECT_FALSE(Answered(true, "::1", 8899));
  EXPECT_FALSE(Answered(true, "localhost", 8899));
  EXPECT_FALSE(Answered(true, "127.0.0.1 ", 8899));
}

TEST_F(ProxyAuthenticationTest, Ipv6HostMatchesWithoutBrackets) {
  Publish("::1", 8899);
  EXPECT_TRUE(Answered(true, "::1", 8899));
  EXPECT_FALSE(Answered(true, "[::1]", 8899));
  EXPECT_FALSE(Answered(true, "127.0.0.1", 8899));
}

TEST_F(ProxyAuthenticationTest, OnlyTheBasicScheme) {
  Publish("127.0.0.1", 8899);
  EXPECT_TRUE(Answered(true, "127.0.0.1", 8899, "basic"));
  EXPECT_TRUE(Answered(true, "127.0.0.1", 8899, "Basic"));
  for (const char* scheme : {"BASIC", "bAsic", "basic ", "Digest", "NTLM", "Negotiate", ""}) {
    SCOPED_TRACE(scheme);
    EXPECT_FALSE(Answered(true, "127.0.0.1", 8899, scheme));
  }
}

TEST_F(ProxyAuthenticationTest, ShortTokenIsNeverSent) {
  Publish("127.0.0.1", 8899);
  EXPECT_TRUE(Challenge(true, "127.0.0.1", 8899, "Basic", std::string(31, 'x')).empty());
  auto credentials = Challenge(true, "127.0.0.1", 8899, "Basic", std::string(32, 'x'));
  ASSERT_EQ(credentials.size(), 1u);
  EXPECT_EQ(credentials[0].second, std::string(32, 'x'));
}

TEST_F(ProxyAuthenticationTest, RepeatedChallengesAreAnsweredAgain) {
  Publish("127.0.0.1", 8899);
  EXPECT_TRUE(Answered(true, "127.0.0.1", 8899));
  EXPECT_TRUE(Answered(true, "127.0.0.1", 8899));
}

TEST_F(ProxyAuthenticationTest, NoCallbackMeansNoAnswer) {
  Publish("127.0.0.1", 8899);
  EXPECT_FALSE(policy.Authenticate(true, "127.0.0.1", 8899, "Basic", token, nullptr));
}

TEST(ProxyAuthEndpoint, RefusesNonLoopbackOrOutOfRangeEndpoints) {
  // Apply never enables these; the check guards the credentials regardless.
  struct Case {
    const char* host;
    int port;
    bool matches;
  } cases[] = {
      {"127.0.0.1", 1, true},  {"::1", 65535, true},        {"localhost", 80, false}, {"10.1.2.3", 80, false},
      {"127.0.0.1", 0, false}, {"127.0.0.1", 65536, false}, {"::1", -5, false},       {"", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.host) + ":" + std::to_string(c.port));
    kesta::ProxyAuthEndpoint endpoint{c.host, c.port, true};
    EXPECT_EQ(endpoint.Matches(true, c.host, c.port, "Basic"), c.matches);
    endpoint.enabled = false;
    EXPECT_FALSE(endpoint.Matches(true, c.host, c.port, "Basic"));
  }
}

// Apply rewrites the endpoint on the UI thread while challenges arrive on the
// IO thread: its three fields change in one step under endpointMutex, so a
// challenge never sees the host of one proxy with the port of another.
TEST_F(ProxyAuthenticationTest, ApplyWritesTheEndpointUnderItsMutex) {
  Publish("127.0.0.1", 1111);
  CefRefPtr<CefDictionaryValue> next = Dict(EnforcedState("::1", 2222));

  std::mutex signalMutex;  // guards calling and finished
  std::condition_variable signal;
  bool calling = false;
  bool finished = false;
  kesta::ProxyAuthEndpoint seen;
  std::jthread writer;  // joined after the lock below is let go, on every path
  {
    std::unique_lock<kesta::PlainMutex> held(policy.endpointMutex);
    writer = std::jthread([&] {
      {
        std::lock_guard<std::mutex> lock(signalMutex);
        calling = true;
      }
      signal.notify_all();
      // Without contexts nothing but the endpoint is written.
      policy.Apply(next, nullptr, nullptr, token);
      {
        std::lock_guard<std::mutex> lock(signalMutex);
        finished = true;
      }
      signal.notify_all();
    });
    std::unique_lock<std::mutex> lock(signalMutex);
    signal.wait(lock, [&] { return calling; });
    // Only a check that something does not happen: the wait is bounded.
    EXPECT_FALSE(signal.wait_for(lock, std::chrono::milliseconds(300), [&] { return finished; }))
        << "Apply went on while endpointMutex was held";
    seen = policy.endpoint;
  }
  EXPECT_EQ(seen.host, "127.0.0.1");
  EXPECT_EQ(seen.port, 1111);
  EXPECT_TRUE(seen.enabled);

  writer.join();
  EXPECT_TRUE(finished);
  EXPECT_TRUE(Answered(true, "::1", 2222));
  EXPECT_FALSE(Answered(true, "127.0.0.1", 1111));
  EXPECT_FALSE(Answered(true, "::1", 1111));
}

// A challenge compares under the same mutex: while a writer holds it half
// way through (host written, port not yet), the challenge waits, and then
// meets the whole new endpoint, never the old port with the new host.
TEST_F(ProxyAuthenticationTest, AChallengeReadsTheEndpointUnderItsMutex) {
  Publish("127.0.0.1", 1111);

  std::mutex signalMutex;  // guards calling and answer
  std::condition_variable signal;
  bool calling = false;
  std::optional<bool> answer;
  std::jthread reader;  // joined after the lock below is let go, on every path
  {
    std::unique_lock<kesta::PlainMutex> held(policy.endpointMutex);
    policy.endpoint.host = "::1";
    reader = std::jthread([&] {
      {
        std::lock_guard<std::mutex> lock(signalMutex);
        calling = true;
      }
      signal.notify_all();
      const bool answered = Answered(true, "::1", 1111);
      {
        std::lock_guard<std::mutex> lock(signalMutex);
        answer = answered;
      }
      signal.notify_all();
    });
    std::unique_lock<std::mutex> lock(signalMutex);
    signal.wait(lock, [&] { return calling; });
    // Only a check that something does not happen: the wait is bounded.
    EXPECT_FALSE(signal.wait_for(lock, std::chrono::milliseconds(300), [&] { return answer.has_value(); }))
        << "a challenge went on while endpointMutex was held";
    policy.endpoint.port = 2222;
  }
  reader.join();
  ASSERT_TRUE(answer.has_value());
  EXPECT_FALSE(*answer) << "a challenge answered one proxy's host with another's port";
}

}  // namespace
