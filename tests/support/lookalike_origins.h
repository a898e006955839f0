// Origins that only look like a given one: every test of an origin decision
// runs its rows over these. Most begin with the origin's own text, and one is
// the beginning of it, so a "starts with the origin" that forgets the "/"
// after it, or a prefix test where an equality belongs, takes them for the
// origin; one is as long, for a test that looks only past the origin's
// length. Header-only.
#pragma once

#include <string>
#include <vector>

namespace kesta::testing {

// `origin` is "scheme://host" or "scheme://host:port". The rows are origins
// a browser hands over as written: after a port only digits may follow, so
// there the longer host goes before the port and the text that follows the
// origin directly is another digit (where the port stays a port).
inline std::vector<std::string> LookalikeOrigins(const std::string& origin) {
  const size_t hostStart = origin.find("://") + 3;
  const size_t colon = origin.find(':', hostStart);
  // Cut short, the origin is the beginning of each of these instead.
  const std::string shorter = origin.substr(0, origin.size() - 1);
  if (colon == std::string::npos) {
    return {
        origin + ".evil.test",  // a longer host
        origin + ":444",        // another port
        origin + "@evil.test",  // the host as user information
        origin + ".evil",       // more characters, directly
        origin + "evil",
        shorter,
        shorter + (origin.back() == 'x' ? 'y' : 'x'),  // another host as long
    };
  }
  const std::string host = origin.substr(0, colon);
  const long port = std::stol(origin.substr(colon + 1));
  std::vector<std::string> rows = {
      host + ".evil.test" + origin.substr(colon),
      host + ":" + std::to_string(port == 65535 ? port - 1 : port + 1),
      origin + "@evil.test",
      shorter,
  };
  if (port * 10 + 9 <= 65535)
    rows.push_back(origin + "9");
  return rows;
}

}  // namespace kesta::testing
