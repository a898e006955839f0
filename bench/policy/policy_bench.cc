// Times what the policy costs the client on every heartbeat reply (mostly an
// unchanged state) and on every proxy challenge. Prints one line per
// measurement.
#include <chrono>
#include <cstdio>
#include <string>

#include "include/cef_parser.h"
#include "policy/browser_network_policy.h"
#include "test_contexts.h"

namespace {

template <typename F>
void Time(const char* name, int iterations, F&& work) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < iterations; ++i)
    work(i);
  const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%-44s %10.3f us/iteration\n", name, elapsed.count() / iterations);
}

class NullAuthCallback : public CefAuthCallback {
 public:
  void Continue(const CefString&, const CefString&) override {}
  void Cancel() override {}
  IMPLEMENT_REFCOUNTING(NullAuthCallback);
};

}  // namespace

int main() {
  const std::string token(64, 't');
  CefRefPtr<CefDictionaryValue> state = CefParseJSON(R"({
    "activation": 5, "networkRevision": 7, "networkEnforced": true, "generation": "g1", "updateGate": false,
    "browserProxy": {"mode": "fixed_servers", "server": "http://127.0.0.1:8899", "bypass_list": "<-loopback>"},
    "browserProxyAuth": {"host": "127.0.0.1", "port": 8899, "username": "kesta"}})",
                                                     JSON_PARSER_RFC)
                                            ->GetDictionary();
  CefRefPtr<CefDictionaryValue> next = state->Copy(false);

  kesta::BrowserNetworkPolicy policy;
  CefRefPtr<CefRequestContext> game = policy_test::NewContext();
  CefRefPtr<CefRequestContext> web = policy_test::NewContext();
  policy.Apply(state, game, web, token);
  if (!policy.networkError.empty()) {
    std::printf("apply failed: %s\n", policy.networkError.c_str());
    return 1;
  }

  Time("Apply, unchanged state", 20000, [&](int) { policy.Apply(state, game, web, token); });
  // A new activation each time: runs in full but writes nothing.
  Time("Apply, new activation, equal preferences", 20000, [&](int i) {
    next->SetInt("activation", i + 6);
    policy.Apply(next, game, web, token);
  });
  CefRefPtr<CefAuthCallback> callback = new NullAuthCallback;
  Time("Authenticate, answered", 200000,
       [&](int) { policy.Authenticate(true, "127.0.0.1", 8899, "Basic", token, callback); });
  Time("Authenticate, declined", 200000,
       [&](int) { policy.Authenticate(true, "127.0.0.1", 8898, "Basic", token, callback); });
  return 0;
}
