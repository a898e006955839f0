// Small rules of the service protocol and of start-up that need no system
// calls.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "desktop/desktop_internal.h"
#include "include/cef_parser.h"

namespace kesta::desktop {

namespace {

// Every escape, path separators included: a router that decodes before it
// splits the path takes them for separators.
constexpr cef_uri_unescape_rule_t kRouterUnescapeRule = static_cast<cef_uri_unescape_rule_t>(
    UU_NORMAL | UU_SPACES | UU_PATH_SEPARATORS | UU_URL_SPECIAL_CHARS_EXCEPT_PATH_SEPARATORS);
// Routers that decode again decode twice; a margin beyond that costs nothing.
constexpr int kDecodeRounds = 4;

// A segment as routers compare it. "." and ".." stay dot segments (a
// trailing space does not hide one); other segments lose their trailing
// dots and spaces, as Windows names do.
std::string routedSegment(std::string segment) {
  segment.erase(std::min(segment.find(';'), segment.size()));
  const size_t spaces = segment.find_last_not_of(' ');
  const std::string bare = spaces == std::string::npos ? "" : segment.substr(0, spaces + 1);
  if (bare == "." || bare == "..")
    return bare;
  const size_t kept = segment.find_last_not_of(". ");
  segment.erase(kept == std::string::npos ? 0 : kept + 1);
  return segment;
}

}  // namespace

std::string routedPath(const std::string& path) {
  std::string decoded = path.substr(0, path.find_first_of("?#"));
  for (int round = 0; round < kDecodeRounds && decoded.find('%') != std::string::npos; ++round) {
    std::string next = CefURIDecode(decoded, false, kRouterUnescapeRule).ToString();
    if (next == decoded)
      break;
    decoded = std::move(next);
  }
  for (char& c : decoded) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    else if (c == '\\')
      c = '/';
  }

  std::vector<std::string> segments;
  bool directory = false;  // the path read so far ends in a separator
  size_t start = decoded.empty() || decoded[0] != '/' ? 0 : 1;
  while (start <= decoded.size()) {
    const size_t slash = std::min(decoded.find('/', start), decoded.size());
    const std::string segment = routedSegment(decoded.substr(start, slash - start));
    start = slash + 1;
    directory = segment.empty() || segment == "." || segment == "..";
    if (segment == ".." && !segments.empty())
      segments.pop_back();
    else if (!directory)
      segments.push_back(segment);
  }
  std::string routed;
  for (const std::string& segment : segments)
    routed += "/" + segment;
  return directory || routed.empty() ? routed + "/" : routed;
}

std::string updateRequestBody(double revision) {
  // Cut toward zero; values beyond 64 bits (or NaN) would be undefined to
  // convert, so they are clamped first.
  double whole = std::trunc(revision);
  long long value = 0;
  if (std::isnan(whole))
    value = 0;
  else if (whole >= 9.2e18)
    value = INT64_MAX;
  else if (whole <= -9.2e18)
    value = INT64_MIN;
  else
    value = static_cast<long long>(whole);
  return "{\"revision\":" + std::to_string(value) + "}";
}

int originPort(const std::string& origin) {
  std::string::size_type colon = origin.rfind(':');
  if (colon == std::string::npos)
    return 0;
  int port = 0;
  for (std::string::size_type i = colon + 1; i < origin.size(); ++i) {
    char c = origin[i];
    if (c < '0' || c > '9')
      break;
    port = port * 10 + (c - '0');
    if (port > 65535)
      return 0;
  }
  return port;
}

std::string trimTrailingWhiteSpace(std::string text) {
  auto space = [](unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (!text.empty() && space(static_cast<unsigned char>(text.back())))
    text.pop_back();
  return text;
}

bool dataDirectoryNameAllowed(const std::string& name) {
  if (name == "..")
    return false;
  return name.find_first_of("/:\\") == std::string::npos;
}

std::wstring quote(const std::wstring& text) {
  std::wstring result(1, L'"');
  size_t backslashes = 0;  // seen and not yet written
  for (wchar_t c : text) {
    if (c == L'\\') {
      ++backslashes;
    } else if (c == L'"') {
      // Each pending backslash doubles, one more escapes the quote.
      result.append(2 * backslashes + 1, L'\\');
      result.push_back(c);
      backslashes = 0;
    } else {
      result.append(backslashes, L'\\');
      result.push_back(c);
      backslashes = 0;
    }
  }
  // Before the closing quote they must be doubled to stay literal.
  result.append(2 * backslashes, L'\\');
  result.push_back(L'"');
  return result;
}

}  // namespace kesta::desktop
