// Just enough URL handling for the network stack: split an absolute URL,
// resolve a redirect target against it.
#ifndef CEF_SRC_CORE_NET_URL_H_
#define CEF_SRC_CORE_NET_URL_H_
#pragma once

#include <string>

namespace cef_internal {

struct NetUrl {
  std::string scheme;  // lower case, without ':'
  std::string host;    // lower case; IPv6 literals keep their brackets
  int port = 0;        // effective port (scheme default when absent)
  bool explicit_port = false;
  std::string path;  // path and query, always starting with '/'

  // "host" or "host:port" as a Host header carries it.
  std::string HostAndPort() const;
  // scheme://host[:port]
  std::string Origin() const;
  // The host without IPv6 brackets, as sockets and auth prompts want it.
  std::string BareHost() const;
  std::string Spec() const { return Origin() + path; }
};

// Parses an absolute URL with an authority (http, https, custom standard
// schemes). User info and the fragment are dropped. False when malformed.
bool ParseNetUrl(const std::string& url, NetUrl& out);

// The scheme of any URL ("data:..." included), lower case; empty if none.
std::string UrlScheme(const std::string& url);

// Resolves |ref| (absolute, scheme-relative, absolute-path or relative) in
// the context of |base|, canonical as GURL::Resolve gives it; empty when
// the result is invalid.
std::string ResolveUrl(const NetUrl& base, const std::string& ref);

// Default port of http/https/ws/wss/ftp, or 0.
int DefaultPort(const std::string& scheme);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_NET_URL_H_
