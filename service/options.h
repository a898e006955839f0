// Command line of kesta-service.exe.
//
//   --data-dir DIR        data directory (token, packages, saved state)
//   --bundle DIR          the client's resources directory (bootstrap.json,
//                         the bundled pools, the client scripts)
//   --site-origin ORIGIN  origin the game is served under; default: the
//                         loopback origin of the service itself
//   --service-version V   version the service reports (default 0.6.12)
//   --network-enforced    enforce the loopback proxy from the start
//   --control             enable the /__control/ endpoints for tests
//   --take-over MS        start as the successor of an upgraded service:
//                         keep the token in local-token and bind the port
//                         MS milliseconds on, once the predecessor let it go
//
// Every option taking a value also accepts the form --name=value.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kesta::service {

struct Options {
  std::string dataDir;
  std::string bundle;
  std::string siteOrigin;
  std::string serviceVersion = "0.6.12";
  bool networkEnforced = false;
  bool control = false;
  int takeOverMs = -1;  // -1: an ordinary start
};

// Arguments in UTF-8, program name excluded. Returns the reason when they
// cannot be used.
std::optional<std::string> ParseOptions(const std::vector<std::string>& args, Options& options);

}  // namespace kesta::service
