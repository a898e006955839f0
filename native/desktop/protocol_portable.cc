// Small rules of the service protocol and of start-up that need no system
// calls.
#include <cmath>
#include <cstdint>
#include <string>

#include "desktop/desktop_internal.h"

namespace kesta::desktop {

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
