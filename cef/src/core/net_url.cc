#include "core/net_url.h"
#include "core/ascii.h"
#include "core/url_canon.h"

#include <cctype>

namespace cef_internal {

namespace {

using ascii::Lower;

bool IsSchemeChar(char c, bool first) {
  if (std::isalpha(static_cast<unsigned char>(c)))
    return true;
  return !first && (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.');
}

}  // namespace

int DefaultPort(const std::string& scheme) {
  if (scheme == "http" || scheme == "ws")
    return 80;
  if (scheme == "https" || scheme == "wss")
    return 443;
  if (scheme == "ftp")
    return 21;
  return 0;
}

std::string UrlScheme(const std::string& url) {
  size_t colon = url.find(':');
  if (colon == std::string::npos || colon == 0)
    return std::string();
  for (size_t i = 0; i < colon; ++i) {
    if (!IsSchemeChar(url[i], i == 0))
      return std::string();
  }
  return Lower(url.substr(0, colon));
}

bool ParseNetUrl(const std::string& url, NetUrl& out) {
  out = NetUrl();
  out.scheme = UrlScheme(url);
  if (out.scheme.empty())
    return false;
  size_t pos = out.scheme.size() + 1;
  if (url.compare(pos, 2, "//") != 0)
    return false;
  pos += 2;
  size_t end = url.find_first_of("/?#", pos);
  std::string authority = url.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
  size_t at = authority.rfind('@');
  if (at != std::string::npos)
    authority.erase(0, at + 1);
  std::string host = authority;
  std::string port_text;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string::npos)
      return false;
    host = authority.substr(0, close + 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != ':')
        return false;
      port_text = authority.substr(close + 2);
    }
  } else {
    size_t colon = authority.rfind(':');
    if (colon != std::string::npos) {
      host = authority.substr(0, colon);
      port_text = authority.substr(colon + 1);
    }
  }
  if (host.empty())
    return false;
  for (char c : host) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '\\' || c == '%')
      return false;
  }
  out.host = Lower(host);
  out.port = DefaultPort(out.scheme);
  if (!port_text.empty()) {
    if (port_text.size() > 5)
      return false;
    int port = 0;
    for (char c : port_text) {
      if (!std::isdigit(static_cast<unsigned char>(c)))
        return false;
      port = port * 10 + (c - '0');
    }
    if (port > 65535)
      return false;
    out.port = port;
    out.explicit_port = true;
  }
  std::string rest = end == std::string::npos ? std::string() : url.substr(end);
  size_t hash = rest.find('#');
  if (hash != std::string::npos)
    rest.erase(hash);
  if (rest.empty() || rest[0] != '/')
    rest.insert(0, "/");
  // Spaces cannot travel in a request line.
  std::string path;
  for (char c : rest) {
    if (c == ' ')
      path += "%20";
    else if (static_cast<unsigned char>(c) < ' ')
      continue;
    else
      path += c;
  }
  out.path = path;
  return true;
}

std::string NetUrl::HostAndPort() const {
  if (port == DefaultPort(scheme))
    return host;
  return host + ":" + std::to_string(port);
}

std::string NetUrl::Origin() const {
  return scheme + "://" + HostAndPort();
}

std::string NetUrl::BareHost() const {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    return host.substr(1, host.size() - 2);
  return host;
}

std::string ResolveUrl(const NetUrl& base, const std::string& ref) {
  return ResolveUrlReference(base.Spec(), ref);
}

}  // namespace cef_internal
