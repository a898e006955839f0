// A request context's proxy preference, parsed: which route a URL takes.
// Follows Chromium's "fixed_servers" rules and bypass-list syntax.
#ifndef CEF_SRC_CORE_NET_PROXY_CONFIG_H_
#define CEF_SRC_CORE_NET_PROXY_CONFIG_H_
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/net_url.h"

namespace cef_internal {

struct ProxyServer {
  enum class Scheme { kDirect, kHttp, kHttps, kSocks };
  Scheme scheme = Scheme::kDirect;
  std::string host;  // IPv6 without brackets
  int port = 0;
};

// Chromium's bypass list: rules separated by ',' or ';', later rules
// override earlier ones, implicit loopback/link-local bypass unless
// "<-loopback>" removes it.
class ProxyBypassRules {
 public:
  ProxyBypassRules();
  ~ProxyBypassRules();
  ProxyBypassRules(ProxyBypassRules&&) noexcept;
  ProxyBypassRules& operator=(ProxyBypassRules&&) noexcept;

  void ParseFromString(const std::string& text);
  // True when |url| goes direct.
  bool Matches(const NetUrl& url) const;

  // Hosts that go direct whatever the list says (localhost, 127/8, [::1],
  // link-local, and "loopback" on Windows).
  static bool IsImplicitlyBypassed(const NetUrl& url);

  class Rule;

 private:
  std::vector<std::unique_ptr<Rule>> rules_;
};

class ProxyConfig {
 public:
  // Values of the preference's "mode", "server" and "bypass_list" (empty
  // when absent). Modes other than "fixed_servers" go direct: this runtime
  // has no system or PAC resolver.
  static ProxyConfig FromPreference(const std::string& mode, const std::string& server, const std::string& bypass_list);

  // The first hop for |url|: kDirect, or the proxy to send it through.
  ProxyServer ResolveProxy(const NetUrl& url) const;

  bool fixed() const { return fixed_; }

 private:
  bool fixed_ = false;
  // Proxy lists by URL scheme; "single" applies to every scheme.
  std::vector<ProxyServer> single_, http_, https_, other_;
  ProxyBypassRules bypass_;
};

// Parses one entry of a proxy list ("host:port", "http://host:port",
// "socks5://host", "direct://"). False when malformed.
bool ParseProxyServer(const std::string& text, ProxyServer& out);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_NET_PROXY_CONFIG_H_
