// The loopback proxy that may receive the client's credentials.
#pragma once

#include <cstdint>
#include <string>

namespace kesta {

// Plain structure. BrowserNetworkPolicy::Apply writes all three fields
// together under the policy's endpointMutex; readers hold the same mutex.
struct ProxyAuthEndpoint {
  // True when a challenge comes from this endpoint: a proxy challenge, the
  // endpoint enabled, a loopback address and a valid port, host and port
  // equal byte for byte, and the Basic scheme. The realm plays no part.
  bool Matches(bool isProxy, const std::string& host, int32_t port, const std::string& scheme) const;

  std::string host;
  int32_t port = 0;
  bool enabled = false;
};

}  // namespace kesta
