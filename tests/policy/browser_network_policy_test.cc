#include "policy/browser_network_policy.h"

#include <gtest/gtest.h>

#include "policy_test_util.h"
#include "test_contexts.h"

namespace {

using policy_test::Dict;
using policy_test::Json;
using policy_test::NewContext;
using policy_test::Pref;
using policy_test::WriteCount;

constexpr char kProxy[] = "proxy";
constexpr char kPolicy[] = "webrtc.ip_handling_policy";
constexpr char kUrls[] = "webrtc.ip_handling_url";

constexpr char kInvalid[] = "Invalid authenticated loopback proxy configuration";
constexpr char kMissingProxy[] = "Local service is missing browser proxy configuration";
constexpr char kNoQuic[] = "Required QUIC startup restriction is unavailable";

constexpr char kEnforcedState[] = R"({
  "activation": 5, "networkRevision": 7, "networkEnforced": true,
  "browserProxy": {"mode": "fixed_servers", "server": "http://127.0.0.1:8899", "bypass_list": "<-loopback>"},
  "browserProxyAuth": {"host": "127.0.0.1", "port": 8899, "username": "kesta"}})";
constexpr char kEnforcedProxy[] =
    R"([{"bypass_list":"\u003C-loopback>","mode":"fixed_servers","server":"http://127.0.0.1:8899"}])";

constexpr char kDirectState[] = R"({
  "activation": 3, "networkRevision": 4, "networkEnforced": false, "browserProxy": {"mode": "direct"}})";

class ContextsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { policy_test::SetUpContexts(); }
  void TearDown() override { policy_test::TearDownContexts(); }
};
::testing::Environment* const contextsEnvironment = ::testing::AddGlobalTestEnvironment(new ContextsEnvironment);

class BrowserNetworkPolicyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    policy_test::SetGlobalSwitches(true);
    game = NewContext();
    web = NewContext();
  }

  // As start-up leaves the policy when the initial state demanded enforcement.
  void StartEnforced() {
    policy.startupNetworkEnforced = true;
    policy.restartNeededForEnforcement = false;
  }

  int Writes(CefRefPtr<CefRequestContext> context) {
    return WriteCount(context, kProxy) + WriteCount(context, kPolicy) + WriteCount(context, kUrls);
  }

  std::string Heartbeat() {
    CefRefPtr<CefDictionaryValue> heartbeat = CefDictionaryValue::Create();
    policy.WriteHeartbeat(heartbeat);
    return Json(heartbeat);
  }

  kesta::ProxyAuthEndpoint Endpoint() {
    std::lock_guard<kesta::PlainMutex> lock(policy.endpointMutex);
    return policy.endpoint;
  }

  kesta::BrowserNetworkPolicy policy;
  CefRefPtr<CefRequestContext> game;
  CefRefPtr<CefRequestContext> web;
  std::string token = std::string(32, 't');
};

// The process-wide instance is a static that must not need a constructor.
constinit kesta::BrowserNetworkPolicy staticPolicy;

TEST_F(BrowserNetworkPolicyTest, HeartbeatBeforeAnyApply) {
  CefRefPtr<CefDictionaryValue> heartbeat = CefDictionaryValue::Create();
  staticPolicy.WriteHeartbeat(heartbeat);
  EXPECT_EQ(Json(heartbeat), Heartbeat());
  EXPECT_EQ(Heartbeat(), R"({"browserNetworkEnforced":false,"networkError":"","networkRestartRequired":false})");
}

TEST_F(BrowserNetworkPolicyTest, DirectStateWithoutEnforcement) {
  policy.restartNeededForEnforcement = false;
  policy.Apply(Dict(kDirectState), game, web, token);

  EXPECT_EQ(policy.networkError, "");
  for (auto context : {game, web}) {
    EXPECT_EQ(Pref(context, kProxy), R"([{"mode":"direct"}])");
    EXPECT_EQ(Pref(context, kPolicy), R"(["default"])");
    EXPECT_EQ(Pref(context, kUrls), "[[]]");
  }
  EXPECT_FALSE(Endpoint().enabled);
  EXPECT_TRUE(policy.contextsApplied.load());
  EXPECT_TRUE(policy.restartNeededForEnforcement);
  EXPECT_FALSE(policy.networkRestartRequired);
  EXPECT_FALSE(policy.browserNetworkEnforced);
  EXPECT_EQ(policy.networkRevision, 4);
  EXPECT_EQ(policy.confirmedActivation, 3);
  EXPECT_EQ(Heartbeat(), R"({"browserNetworkEnforced":false,"networkError":"","networkRestartRequired":false,)"
                         R"("networkRevision":4.0})");
}

TEST_F(BrowserNetworkPolicyTest, ContextWithoutWebRtcPreferences) {
  CefRefPtr<CefRequestContext> bare = NewContext(false);
  policy.Apply(Dict(kDirectState), bare, web, token);
  EXPECT_EQ(policy.networkError, "");
  EXPECT_EQ(Pref(bare, kProxy), R"([{"mode":"direct"}])");
  EXPECT_FALSE(bare->HasPreference(kPolicy));

  // A context with the policy but not the URL list gets the policy alone.
  CefRefPtr<CefRequestContext> partial = NewContext();
  policy_test::Unregister(partial, kUrls);
  policy.Apply(Dict(kDirectState), partial, nullptr, token);
  EXPECT_EQ(policy.networkError, "");
  EXPECT_EQ(Pref(partial, kProxy), R"([{"mode":"direct"}])");

  // Under enforcement WebRTC must be restricted, so its absence is a failure.
  StartEnforced();
  policy.Apply(Dict(kEnforcedState), bare, web, token);
  EXPECT_EQ(policy.networkError, "Game preference is unsupported: webrtc.ip_handling_policy");
  EXPECT_FALSE(policy.contextsApplied.load());
  EXPECT_EQ(Pref(bare, kProxy), R"([{"mode":"direct"}])");
  policy.Apply(Dict(kEnforcedState), partial, nullptr, token);
  EXPECT_EQ(policy.networkError, "Game preference is unsupported: webrtc.ip_handling_url");
}

TEST_F(BrowserNetworkPolicyTest, EnforcedFromStartIsFullyInForce) {
  StartEnforced();
  policy.Apply(Dict(kEnforcedState), game, web, token);

  EXPECT_EQ(policy.networkError, "");
  for (auto context : {game, web}) {
    EXPECT_EQ(Pref(context, kProxy), kEnforcedProxy);
    EXPECT_EQ(Pref(context, kPolicy), R"(["disable_non_proxied_udp"])");
    EXPECT_EQ(Pref(context, kUrls), "[[]]");
  }
  kesta::ProxyAuthEndpoint endpoint = Endpoint();
  EXPECT_EQ(endpoint.host, "127.0.0.1");
  EXPECT_EQ(endpoint.port, 8899);
  EXPECT_TRUE(endpoint.enabled);
  EXPECT_TRUE(policy.contextsApplied.load());
  EXPECT_EQ(policy.confirmedActivation, 5);
  EXPECT_EQ(Heartbeat(), R"({"browserNetworkEnforced":true,"networkError":"","networkRestartRequired":false,)"
                         R"("networkRevision":7.0})");
}

TEST_F(BrowserNetworkPolicyTest, EnforcementAfterStartNeedsRestart) {
  // Started without enforcement: QUIC stayed on, so enforcing needs a restart,
  // but the contexts are configured all the same.
  policy.Apply(Dict(kDirectState), game, web, token);
  ASSERT_EQ(policy.networkRevision, 4);
  policy.Apply(Dict(kEnforcedState), game, web, token);

  EXPECT_EQ(policy.networkError, "");
  EXPECT_TRUE(policy.networkRestartRequired);
  EXPECT_FALSE(policy.browserNetworkEnforced);
  EXPECT_EQ(policy.networkRevision, 4);
  EXPECT_EQ(Pref(web, kProxy), kEnforcedProxy);
  EXPECT_EQ(Pref(web, kPolicy), R"(["disable_non_proxied_udp"])");
  EXPECT_TRUE(policy.contextsApplied.load());

  // Having run without enforcement, a client started enforced needs it too.
  kesta::BrowserNetworkPolicy other;
  other.startupNetworkEnforced = true;
  other.restartNeededForEnforcement = false;
  other.Apply(Dict(kDirectState), game, web, token);
  other.Apply(Dict(kEnforcedState), game, web, token);
  EXPECT_TRUE(other.networkRestartRequired);
  EXPECT_FALSE(other.browserNetworkEnforced);
}

TEST_F(BrowserNetworkPolicyTest, QuicRuleFollowsTheGlobalCommandLine) {
  StartEnforced();
  policy_test::SetGlobalSwitches(false);
  policy.Apply(Dict(kEnforcedState), game, web, token);
  EXPECT_EQ(policy.networkError, kNoQuic);
  EXPECT_EQ(Writes(game) + Writes(web), 0);
  EXPECT_FALSE(policy.contextsApplied.load());
  // The endpoint was published before the QUIC check.
  EXPECT_TRUE(Endpoint().enabled);

  policy_test::SetGlobalSwitches(true);
  policy.Apply(Dict(kEnforcedState), game, web, token);
  EXPECT_EQ(policy.networkError, "");
  EXPECT_TRUE(policy.browserNetworkEnforced);

  // The switch alone does not count when the start was not enforced, even
  // with no restart pending.
  kesta::BrowserNetworkPolicy unenforced;
  unenforced.restartNeededForEnforcement = false;
  unenforced.Apply(Dict(kEnforcedState), game, web, token);
  EXPECT_EQ(unenforced.networkError, kNoQuic);
}

TEST_F(BrowserNetworkPolicyTest, LoopbackProxyValidation) {
  struct Case {
    const char* name;
    const char* host;
    int port;
    const char* server;
    const char* mode;
    const char* bypass;
    const char* username;
    bool valid;
  } cases[] = {
      {"ipv4", "127.0.0.1", 8899, "http://127.0.0.1:8899", "fixed_servers", "<-loopback>", "kesta", true},
      {"ipv6", "::1", 8899, "http://[::1]:8899", "fixed_servers", "<-loopback>", "kesta", true},
      {"port bounds", "::1", 65535, "http://[::1]:65535", "fixed_servers", "<-loopback>", "kesta", true},
      {"ipv6 unbracketed", "::1", 8899, "http://::1:8899", "fixed_servers", "<-loopback>", "kesta", false},
      {"bracketed host", "[::1]", 8899, "http://[::1]:8899", "fixed_servers", "<-loopback>", "kesta", false},
      {"host name", "localhost", 8899, "http://localhost:8899", "fixed_servers", "<-loopback>", "kesta", false},
      {"other loopback", "127.0.0.2", 8899, "http://127.0.0.2:8899", "fixed_servers", "<-loopback>", "kesta", false},
      {"remote", "10.0.0.1", 8899, "http://10.0.0.1:8899", "fixed_servers", "<-loopback>", "kesta", false},
      {"port 0", "127.0.0.1", 0, "http://127.0.0.1:0", "fixed_servers", "<-loopback>", "kesta", false},
      {"port 65536", "127.0.0.1", 65536, "http://127.0.0.1:65536", "fixed_servers", "<-loopback>", "kesta", false},
      {"negative port", "127.0.0.1", -1, "http://127.0.0.1:-1", "fixed_servers", "<-loopback>", "kesta", false},
      {"server port", "127.0.0.1", 8899, "http://127.0.0.1:8898", "fixed_servers", "<-loopback>", "kesta", false},
      {"server scheme", "127.0.0.1", 8899, "127.0.0.1:8899", "fixed_servers", "<-loopback>", "kesta", false},
      {"mode", "127.0.0.1", 8899, "http://127.0.0.1:8899", "pac_script", "<-loopback>", "kesta", false},
      {"bypass", "127.0.0.1", 8899, "http://127.0.0.1:8899", "fixed_servers", "<local>", "kesta", false},
      {"user", "127.0.0.1", 8899, "http://127.0.0.1:8899", "fixed_servers", "<-loopback>", "Kesta", false},
  };
  StartEnforced();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CefRefPtr<CefDictionaryValue> state = Dict(kEnforcedState);
    CefRefPtr<CefDictionaryValue> proxy = state->GetDictionary("browserProxy");
    CefRefPtr<CefDictionaryValue> auth = state->GetDictionary("browserProxyAuth");
    auth->SetString("host", c.host);
    auth->SetInt("port", c.port);
    auth->SetString("username", c.username);
    proxy->SetString("server", c.server);
    proxy->SetString("mode", c.mode);
    proxy->SetString("bypass_list", c.bypass);

    CefRefPtr<CefRequestContext> fresh = NewContext();
    policy.Apply(state, fresh, web, token);
    EXPECT_EQ(policy.networkError, c.valid ? "" : kInvalid);
    EXPECT_EQ(policy.contextsApplied.load(), c.valid);
    // The URL list already holds its default, the empty list.
    EXPECT_EQ(Writes(fresh), c.valid ? 2 : 0);
    // Invalid descriptions still name their endpoint, but it stays disabled.
    kesta::ProxyAuthEndpoint endpoint = Endpoint();
    EXPECT_EQ(endpoint.enabled, c.valid);
    EXPECT_EQ(endpoint.host, c.host);
    EXPECT_EQ(endpoint.port, c.port);
  }
}

TEST_F(BrowserNetworkPolicyTest, MissingMembersAreInvalid) {
  StartEnforced();
  const char* removals[][2] = {
      {"browserProxyAuth", nullptr},   {"browserProxyAuth", "username"}, {"browserProxyAuth", "port"},
      {"browserProxyAuth", "host"},    {"browserProxy", "mode"},         {"browserProxy", "server"},
      {"browserProxy", "bypass_list"},
  };
  for (const auto& removal : removals) {
    SCOPED_TRACE(std::string(removal[0]) + "." + (removal[1] ? removal[1] : ""));
    CefRefPtr<CefDictionaryValue> state = Dict(kEnforcedState);
    if (removal[1]) {
      state->GetDictionary(removal[0])->Remove(removal[1]);
    } else {
      state->Remove(removal[0]);
    }
    policy.Apply(state, game, web, token);
    EXPECT_EQ(policy.networkError, kInvalid);
    EXPECT_FALSE(Endpoint().enabled);
  }
  // A port given as a fraction is not an integer and reads 0.
  CefRefPtr<CefDictionaryValue> state = Dict(kEnforcedState);
  state->GetDictionary("browserProxyAuth")->SetDouble("port", 8899.5);
  policy.Apply(state, game, web, token);
  EXPECT_EQ(policy.networkError, kInvalid);
  EXPECT_EQ(Endpoint().port, 0);
  EXPECT_EQ(Writes(game) + Writes(web), 0);
}

TEST_F(BrowserNetworkPolicyTest, TokenMustBeLongEnough) {
  StartEnforced();
  policy.Apply(Dict(kEnforcedState), game, web, std::string(31, 't'));
  EXPECT_EQ(policy.networkError, kInvalid);
  EXPECT_EQ(Writes(game) + Writes(web), 0);
  EXPECT_FALSE(Endpoint().enabled);

  policy.Apply(Dict(kEnforcedState), game, web, std::string(32, 't'));
  EXPECT_EQ(policy.networkError, "");
  EXPECT_TRUE(Endpoint().enabled);
}

TEST_F(BrowserNetworkPolicyTest, MissingBrowserProxy) {
  CefRefPtr<CefDictionaryValue> enforced = Dict(kEnforcedState);
  enforced->Remove("browserProxy");
  StartEnforced();
  policy.Apply(enforced, game, web, token);
  EXPECT_EQ(policy.networkError, kInvalid);

  CefRefPtr<CefDictionaryValue> direct = Dict(kDirectState);
  direct->Remove("browserProxy");
  policy.Apply(direct, game, web, token);
  EXPECT_EQ(policy.networkError, kMissingProxy);
  EXPECT_EQ(Writes(game) + Writes(web), 0);
  EXPECT_FALSE(policy.contextsApplied.load());

  // A member of another type is no proxy description either.
  direct->SetString("browserProxy", "direct");
  policy.Apply(direct, game, web, token);
  EXPECT_EQ(policy.networkError, kMissingProxy);

  // No state at all is reported the same way rather than crashing.
  policy.Apply(nullptr, game, web, token);
  EXPECT_EQ(policy.networkError, kMissingProxy);

  // Without a description a context is not touched at all: a null proxy value
  // would silently reset the preference to the browser's default.
  EXPECT_FALSE(policy.ApplyContext(game, nullptr, true, "Game"));
  EXPECT_EQ(policy.networkError, "Game preference failed: proxy");
  EXPECT_EQ(Writes(game), 0);
}

TEST_F(BrowserNetworkPolicyTest, UnchangedStateIsNotReapplied) {
  StartEnforced();
  policy.Apply(Dict(kEnforcedState), game, web, token);
  ASSERT_EQ(policy.networkError, "");
  const int writes = Writes(game) + Writes(web);
  EXPECT_EQ(writes, 4);

  // Changed behind the policy's back: an unchanged state still writes
  // nothing, and no field moves.
  policy.contextsApplied.store(false);
  policy.Apply(Dict(kEnforcedState), game, web, token);
  EXPECT_EQ(Writes(game) + Writes(web), writes);
  EXPECT_FALSE(policy.contextsApplied.load());

  // The same numbers as an integer or a double are the same state, and key
  // order does not matter to the fingerprint.
  policy.Apply(Dict(R"({"networkRevision": 7.0, "activation": 5.0, "networkEnforced": true,
      "browserProxyAuth": {"username": "kesta", "port": 8899, "host": "127.0.0.1"},
      "browserProxy": {"server": "http://127.0.0.1:8899", "mode": "fixed_servers", "bypass_list": "<-loopback>"}})"),
               game, web, token);
  EXPECT_FALSE(policy.contextsApplied.load());

  // A new activation runs in full, but rewrites only what differs: nothing.
  CefRefPtr<CefDictionaryValue> next = Dict(kEnforcedState);
  next->SetInt("activation", 6);
  policy.Apply(next, game, web, token);
  EXPECT_TRUE(policy.contextsApplied.load());
  EXPECT_EQ(policy.confirmedActivation, 6);
  EXPECT_EQ(Writes(game) + Writes(web), writes);

  // A changed description that only touches the auth part runs in full too.
  next->GetDictionary("browserProxyAuth")->SetString("realm", "x");
  policy.contextsApplied.store(false);
  policy.Apply(next, game, web, token);
  EXPECT_TRUE(policy.contextsApplied.load());
}

TEST_F(BrowserNetworkPolicyTest, FailedStateIsAppliedAgainInFull) {
  StartEnforced();
  policy_test::FailWrites(web, kProxy, "busy");
  policy.Apply(Dict(kEnforcedState), game, web, token);
  EXPECT_EQ(policy.networkError, "Web window preference failed: proxy (busy)");
  EXPECT_FALSE(policy.applied);
  EXPECT_FALSE(policy.contextsApplied.load());
  EXPECT_FALSE(policy.browserNetworkEnforced);
  EXPECT_EQ(policy.networkRevision, -1);
  EXPECT_EQ(policy.confirmedActivation, -1);
  // What was written before the failure stays written.
  EXPECT_EQ(Pref(game, kProxy), kEnforcedProxy);
  EXPECT_EQ(Pref(web, kPolicy), R"(["disable_non_proxied_udp"])");

  CefRefPtr<CefRequestContext> healthy = NewContext();
  policy.Apply(Dict(kEnforcedState), game, healthy, token);
  EXPECT_EQ(policy.networkError, "");
  EXPECT_TRUE(policy.contextsApplied.load());
  EXPECT_EQ(Pref(healthy, kProxy), kEnforcedProxy);
}

TEST_F(BrowserNetworkPolicyTest, LastGoodStateAfterAFailureIsAppliedAgain) {
  policy.Apply(Dict(kDirectState), game, web, token);
  ASSERT_TRUE(policy.contextsApplied.load());
  policy.Apply(Dict(R"({"activation": 3, "networkRevision": 4})"), game, web, token);
  ASSERT_EQ(policy.networkError, kMissingProxy);

  // The snapshot still names the earlier state, but the failure in between
  // must not let it pass as unchanged.
  policy.Apply(Dict(kDirectState), game, web, token);
  EXPECT_EQ(policy.networkError, "");
  EXPECT_TRUE(policy.contextsApplied.load());
}

TEST_F(BrowserNetworkPolicyTest, WithoutWebContextOnlyTheGameIsConfigured) {
  policy.Apply(Dict(kDirectState), game, nullptr, token);
  EXPECT_EQ(policy.networkError, "");
  EXPECT_TRUE(policy.contextsApplied.load());
  EXPECT_EQ(policy.networkRevision, -1);
  EXPECT_EQ(policy.confirmedActivation, -1);
  EXPECT_EQ(Writes(web), 0);

  // The web context becoming ready makes the same state new.
  policy.Apply(Dict(kDirectState), game, web, token);
  EXPECT_EQ(Pref(web, kProxy), R"([{"mode":"direct"}])");
  EXPECT_EQ(policy.networkRevision, 4);
  EXPECT_EQ(policy.confirmedActivation, 3);
}

TEST_F(BrowserNetworkPolicyTest, MissingGameContext) {
  policy.Apply(Dict(kDirectState), nullptr, web, token);
  EXPECT_EQ(policy.networkError, "Game request context is unavailable");
  EXPECT_EQ(Writes(web), 0);
  EXPECT_FALSE(policy.contextsApplied.load());
}

TEST_F(BrowserNetworkPolicyTest, PreferenceFailures) {
  struct Case {
    const char* name;
    void (*breakIt)(CefRefPtr<CefRequestContext>);
    const char* error;
  } cases[] = {
      {"failing write with text", [](auto c) { policy_test::FailWrites(c, kProxy, "locked by policy"); },
       "Game preference failed: proxy (locked by policy)"},
      {"failing write without text", [](auto c) { policy_test::FailWrites(c, kProxy, ""); },
       "Game preference failed: proxy"},
      {"unsettable", [](auto c) { policy_test::MakeUnsettable(c, kProxy); }, "Game preference failed: proxy"},
      {"not read back", [](auto c) { policy_test::DropWrites(c, kProxy); }, "Game preference was not applied: proxy"},
      {"not read back webrtc", [](auto c) { policy_test::DropWrites(c, kPolicy); },
       "Game preference was not applied: webrtc.ip_handling_policy"},
  };
  StartEnforced();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CefRefPtr<CefRequestContext> broken = NewContext();
    CefRefPtr<CefRequestContext> other = NewContext();
    c.breakIt(broken);
    policy.Apply(Dict(kEnforcedState), broken, other, token);
    EXPECT_EQ(policy.networkError, c.error);
    EXPECT_FALSE(policy.contextsApplied.load());
    EXPECT_FALSE(policy.browserNetworkEnforced);
    EXPECT_EQ(Writes(other), 0);
  }
}

TEST_F(BrowserNetworkPolicyTest, EqualPreferencesAreNotWritten) {
  // WebRTC already holds its defaults: only the proxy is written.
  policy.Apply(Dict(kDirectState), game, nullptr, token);
  EXPECT_EQ(Writes(game), 1);
  EXPECT_EQ(WriteCount(game, kProxy), 1);

  // A preference that already holds the value is left alone, so even an
  // unsettable one does not fail.
  CefString error;
  CefRefPtr<CefValue> proxy = CefValue::Create();
  proxy->SetDictionary(Dict(R"({"mode": "direct"})"));
  ASSERT_TRUE(web->SetPreference(kProxy, proxy, error));
  policy_test::MakeUnsettable(web, kProxy);
  policy.Apply(Dict(kDirectState), game, web, token);
  EXPECT_EQ(policy.networkError, "");
  EXPECT_EQ(WriteCount(web, kProxy), 1);
  EXPECT_EQ(Writes(web), 1);
  EXPECT_TRUE(policy.contextsApplied.load());
}

TEST_F(BrowserNetworkPolicyTest, ProxyIsWrittenAsAFullCopy) {
  CefRefPtr<CefDictionaryValue> state = Dict(R"({"browserProxy": {"mode": "direct", "extra": {}, "list": []}})");
  policy.Apply(state, game, nullptr, token);
  ASSERT_EQ(policy.networkError, "");
  EXPECT_EQ(Pref(game, kProxy), R"([{"extra":{},"list":[],"mode":"direct"}])");
  // The state keeps its own description.
  EXPECT_TRUE(state->GetDictionary("browserProxy")->HasKey("mode"));
}

TEST_F(BrowserNetworkPolicyTest, NumbersReadAsDoubles) {
  CefRefPtr<CefDictionaryValue> state = Dict(R"({"i": 3, "d": 2.5, "big": 3000000000, "s": "4"})");
  EXPECT_EQ(kesta::BrowserNetworkPolicy::Number(state, "i"), 3.0);
  EXPECT_EQ(kesta::BrowserNetworkPolicy::Number(state, "d"), 2.5);
  EXPECT_EQ(kesta::BrowserNetworkPolicy::Number(state, "big"), 3000000000.0);
  EXPECT_EQ(kesta::BrowserNetworkPolicy::Number(state, "s"), 0.0);
  EXPECT_EQ(kesta::BrowserNetworkPolicy::Number(state, "missing"), 0.0);
}

}  // namespace
