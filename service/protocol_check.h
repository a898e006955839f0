// The rules the client keeps when it talks to the service, as checks the
// service runs on what arrives. A check answers with the violations it
// found, as short texts; the server records them in its journal and log.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kesta::service {

// The heartbeat document: compact JSON in the writer's sorted key order,
// exactly the documented members with their types, whole numbers without a
// fraction, windows of exactly "id", "url" and "generation", a game window
// count equal to the windows that carry a generation, and `version`.
std::vector<std::string> HeartbeatViolations(std::string_view body, std::string_view version);

// The revision of an update request, whose body is exactly {"revision":N}
// with N a decimal integer; nothing for any other body.
std::optional<int64_t> UpdateRequestRevision(std::string_view body);

// A pool file name as the client puts it into a "/__pool/" path: every byte
// but ASCII letters, digits and - _ . ! ~ * ' ( ) as %XX.
std::string EncodePoolName(std::string_view name);

// A path under the site origin as the client decodes it before it looks the
// path up in its bindings: escapes of '/', '\' and control characters stay.
std::string DecodeLikeTheClient(std::string_view path);

// A request's path (a query or fragment may follow) as a router that
// decodes it before routing reads it: query and fragment cut off, escapes
// decoded over a few rounds (separators among them),
// '\' taken as '/', ASCII letters lowered, each segment's ";" parameters and
// trailing dots and spaces dropped, empty and dot segments resolved.
std::string RoutedPath(std::string_view path);

// Whether `value` carries `token`: as it stands, percent-decoded, or inside
// Basic credentials.
bool CarriesToken(std::string_view value, std::string_view token);

// The Host header a request to `origin` ("http://host[:port]") carries:
// "host:port", or the bare host on the default port 80, as a browser and
// WinHTTP leave it out.
bool HostNames(std::string_view host, std::string_view origin);

// The headers a request may carry besides its own: what WinHTTP adds to the
// client's requests, or Chromium's network stack to the resource handler's.
bool ClientHttpHeader(std::string_view lowerName);
bool NetworkStackHeader(std::string_view lowerName);

// What a request that reached the loopback proxy breaks: the proxy's
// credentials belong in Proxy-Authorization alone, for user "kesta" and the
// token (or one that an earlier service on this data directory had); the
// token in any other form, or X-KESTA-Generation, goes only toward the
// service's own origins (`toService`).
std::vector<std::string> ProxiedViolations(const std::vector<std::pair<std::string, std::string>>& headers,
                                           std::string_view target,
                                           bool toService,
                                           std::string_view token,
                                           const std::vector<std::string>& earlierTokens);

// The pace and order of the heartbeat: one exchange ("/api/host", and
// "/api/launch" right after its answer until the launch is admitted) at a
// time, and the next one about a second after the previous reply. Exchanges
// are told apart by the heartbeat's "pid", so two clients in turn do not mix.
class HeartbeatPacing {
 public:
  using Clock = std::chrono::steady_clock;

  // The client gives up on an answer after its time-out; an exchange the
  // service held longer is no longer open for it, and what it writes later
  // is no reply the client saw.
  static constexpr auto kClientTimeout = std::chrono::milliseconds(3000);
  // The service sees a request a little after the client started waiting
  // for its answer, so the client may give up that much earlier.
  static constexpr auto kTimeoutSlack = std::chrono::milliseconds(250);
  // "About one second": the client waits 1000 ms after applying a reply.
  static constexpr auto kLeastGap = std::chrono::milliseconds(900);

  // A request of an exchange, handed back when its answer is written.
  struct Request {
    int64_t pid = -1;
    uint64_t exchange = 0;  // 0: belongs to no exchange
    Clock::time_point since;
  };

  // A request arrived; the violations it makes. `gameWindows`: the
  // heartbeat reports game windows, so its client has admitted the launch.
  std::vector<std::string> HostArrived(int64_t pid, bool gameWindows, Clock::time_point now, Request& request);
  std::vector<std::string> LaunchArrived(Clock::time_point now, Request& request);
  // Its answer was written, or the connection ended without one.
  void HostAnswered(const Request& request, Clock::time_point now);
  void LaunchAnswered(const Request& request, Clock::time_point now);
  // Whether a heartbeat of this client came before.
  bool Knows(int64_t pid) const { return lastReply_.count(pid) != 0 || current_.pid == pid; }

 private:
  // When the client had the answer to a request: when it was written, or
  // when the client may have given up on it.
  static Clock::time_point Seen(const Request& request, Clock::time_point now);
  void Replied(const Request& request, Clock::time_point now);

  struct Exchange {
    uint64_t id = 0;
    int64_t pid = -1;
    Clock::time_point hostSince;
    std::optional<Clock::time_point> hostSeen;  // none while the heartbeat is open
    bool launchTaken = false;
  };
  Exchange current_;  // the exchange last begun
  uint64_t nextExchange_ = 1;
  bool launchOpen_ = false;
  Clock::time_point launchSince_;
  std::map<int64_t, Clock::time_point> lastReply_;
  std::set<int64_t> admitted_;
};

}  // namespace kesta::service
