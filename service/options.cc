#include "options.h"

namespace kesta::service {

std::optional<std::string> ParseOptions(const std::vector<std::string>& args, Options& options) {
  struct ValueOption {
    const char* name;
    std::string* target;
  };
  std::string takeOver;
  const ValueOption valued[] = {{"--data-dir", &options.dataDir},
                                {"--bundle", &options.bundle},
                                {"--site-origin", &options.siteOrigin},
                                {"--service-version", &options.serviceVersion},
                                {"--take-over", &takeOver}};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--network-enforced") {
      options.networkEnforced = true;
      continue;
    }
    if (arg == "--control") {
      options.control = true;
      continue;
    }
    bool known = false;
    for (const ValueOption& option : valued) {
      const std::string name = option.name;
      if (arg == name) {
        if (i + 1 >= args.size())
          return "missing value for " + name;
        *option.target = args[++i];
        known = true;
        break;
      }
      if (arg.compare(0, name.size() + 1, name + "=") == 0) {
        *option.target = arg.substr(name.size() + 1);
        known = true;
        break;
      }
    }
    if (!known)
      return "unknown argument: " + arg;
  }
  if (!takeOver.empty()) {
    if (takeOver.size() > 6 || takeOver.find_first_not_of("0123456789") != std::string::npos)
      return "--take-over needs milliseconds";
    options.takeOverMs = std::stoi(takeOver);
  }
  if (options.dataDir.empty())
    return "--data-dir is required";
  if (options.bundle.empty())
    return "--bundle is required";
  return std::nullopt;
}

}  // namespace kesta::service
