#include "policy/proxy_auth_endpoint.h"

namespace kesta {

bool ProxyAuthEndpoint::Matches(bool isProxy,
                                const std::string& challengeHost,
                                int32_t challengePort,
                                const std::string& scheme) const {
  if (!isProxy || !enabled) {
    return false;
  }
  // Apply only enables loopback endpoints with a valid port; checked again so
  // the credentials can never leave these two addresses whatever wrote here.
  if (host != "::1" && host != "127.0.0.1") {
    return false;
  }
  if (port < 1 || port > 65535) {
    return false;
  }
  if (challengeHost != host || challengePort != port) {
    return false;
  }
  return scheme == "basic" || scheme == "Basic";
}

}  // namespace kesta
