// The rules the client keeps when it talks to the service, as checks the
// service runs on what arrives. A check answers with the violations it
// found, as short texts; the server records them in its journal and log.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
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

// Whether `value` carries `token`: as it stands, percent-decoded, or inside
// Basic credentials.
bool CarriesToken(std::string_view value, std::string_view token);

// The pace of the heartbeat: one exchange ("/api/host", and "/api/launch"
// right after it until the launch is admitted) at a time, and the next one
// about a second after the previous reply. Exchanges are told apart by the
// heartbeat's "pid", so two clients in turn do not mix.
class HeartbeatPacing {
 public:
  using Clock = std::chrono::steady_clock;

  // The client gives up on an answer after its time-out; an exchange the
  // service held longer is no longer open for it.
  static constexpr auto kClientTimeout = std::chrono::milliseconds(3000);
  // "About one second": the client waits 1000 ms after applying a reply.
  static constexpr auto kLeastGap = std::chrono::milliseconds(900);

  // A request arrived; the violation it makes, if any.
  std::optional<std::string> HostArrived(int64_t pid, Clock::time_point now);
  std::optional<std::string> LaunchArrived(Clock::time_point now);
  // Its answer was written, or the connection ended without one.
  void HostAnswered(Clock::time_point now);
  void LaunchAnswered(Clock::time_point now);

 private:
  struct Exchange {
    bool open = false;
    Clock::time_point since;
  };
  std::optional<int64_t> pid_;  // of the exchange last begun
  Exchange host_, launch_;
  bool launchTaken_ = true;  // the last exchange had its launch already
  std::map<int64_t, Clock::time_point> lastReply_;
};

}  // namespace kesta::service
