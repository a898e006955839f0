#include "policy/browser_network_policy.h"

namespace kesta {

namespace {

constexpr char kProxyUserName[] = "kesta";
constexpr size_t kMinimumTokenLength = 32;

}  // namespace

bool BrowserNetworkPolicy::Authenticate(bool isProxy,
                                        const std::string& host,
                                        int32_t port,
                                        const std::string& scheme,
                                        const std::string& token,
                                        CefRefPtr<CefAuthCallback> callback) {
  bool matches;
  {
    // Only the comparison is locked: a challenge sees the old endpoint or the
    // new one, and the callback never runs under the mutex.
    std::lock_guard<PlainMutex> lock(endpointMutex);
    matches = endpoint.Matches(isProxy, host, port, scheme);
  }
  // A declined challenge leaves the callback alone; CEF cancels the request.
  if (!matches || token.size() < kMinimumTokenLength || !callback) {
    return false;
  }
  callback->Continue(kProxyUserName, CefString(token));
  return true;
}

}  // namespace kesta
