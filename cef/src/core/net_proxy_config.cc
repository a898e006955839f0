#include "core/net_proxy_config.h"
#include "core/ascii.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <optional>

namespace cef_internal {

namespace {

using ascii::Lower;
// Proxy rules may span lines.
std::string Trim(const std::string& s) {
  return ascii::Trim(s, " \t\r\n");
}

std::vector<std::string> Split(const std::string& s, const char* seps) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find_first_of(seps, start);
    if (end == std::string::npos)
      end = s.size();
    std::string part = Trim(s.substr(start, end - start));
    if (!part.empty())
      parts.push_back(part);
    start = end + 1;
  }
  return parts;
}

// '*' matches any run of characters.
bool WildcardMatch(const char* pattern, const char* text) {
  if (*pattern == '\0')
    return *text == '\0';
  if (*pattern == '*') {
    for (const char* t = text;; ++t) {
      if (WildcardMatch(pattern + 1, t))
        return true;
      if (*t == '\0')
        return false;
    }
  }
  return *text != '\0' && *pattern == *text && WildcardMatch(pattern + 1, text + 1);
}

// An IPv4 or IPv6 address as 16 bytes (IPv4 mapped into ::ffff:0:0/96).
struct IpAddress {
  std::array<uint8_t, 16> bytes{};
  bool v4 = false;
};

std::optional<IpAddress> ParseIPv4(const std::string& text) {
  IpAddress ip;
  ip.v4 = true;
  ip.bytes[10] = ip.bytes[11] = 0xff;
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    size_t dot = text.find('.', start);
    parts.push_back(text.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos)
      break;
    start = dot + 1;
  }
  if (parts.size() != 4)
    return std::nullopt;
  for (int i = 0; i < 4; ++i) {
    const std::string& p = parts[i];
    if (p.empty() || p.size() > 3)
      return std::nullopt;
    int v = 0;
    for (char c : p) {
      if (!std::isdigit(static_cast<unsigned char>(c)))
        return std::nullopt;
      v = v * 10 + (c - '0');
    }
    if (v > 255)
      return std::nullopt;
    ip.bytes[12 + i] = static_cast<uint8_t>(v);
  }
  return ip;
}

std::optional<IpAddress> ParseIPv6(std::string text) {
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
    text = text.substr(1, text.size() - 2);
  if (text.find(':') == std::string::npos)
    return std::nullopt;
  IpAddress ip;
  std::vector<uint16_t> head, tail;
  bool seen_gap = false;
  size_t pos = 0;
  if (text.compare(0, 2, "::") == 0) {
    seen_gap = true;
    pos = 2;
  }
  while (pos < text.size()) {
    size_t colon = text.find(':', pos);
    std::string group = text.substr(pos, colon == std::string::npos ? std::string::npos : colon - pos);
    auto& groups = seen_gap ? tail : head;
    if (group.find('.') != std::string::npos) {
      auto v4 = ParseIPv4(group);
      if (!v4 || colon != std::string::npos)
        return std::nullopt;
      groups.push_back(static_cast<uint16_t>(v4->bytes[12] << 8 | v4->bytes[13]));
      groups.push_back(static_cast<uint16_t>(v4->bytes[14] << 8 | v4->bytes[15]));
      break;
    }
    if (group.empty() || group.size() > 4)
      return std::nullopt;
    unsigned v = 0;
    for (char c : group) {
      if (!std::isxdigit(static_cast<unsigned char>(c)))
        return std::nullopt;
      v = v * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10));
    }
    groups.push_back(static_cast<uint16_t>(v));
    if (colon == std::string::npos)
      break;
    pos = colon + 1;
    if (pos < text.size() && text[pos] == ':') {
      if (seen_gap)
        return std::nullopt;
      seen_gap = true;
      ++pos;
    }
  }
  size_t total = head.size() + tail.size();
  if (total > 8 || (!seen_gap && total != 8))
    return std::nullopt;
  std::vector<uint16_t> all = head;
  all.resize(8 - tail.size(), 0);
  all.insert(all.end(), tail.begin(), tail.end());
  for (int i = 0; i < 8; ++i) {
    ip.bytes[2 * i] = static_cast<uint8_t>(all[i] >> 8);
    ip.bytes[2 * i + 1] = static_cast<uint8_t>(all[i] & 0xff);
  }
  static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  ip.v4 = std::memcmp(ip.bytes.data(), kMapped, 12) == 0;
  return ip;
}

std::optional<IpAddress> ParseIp(const std::string& host) {
  if (auto v4 = ParseIPv4(host))
    return v4;
  return ParseIPv6(host);
}

// |prefix| counts bits of the 16-byte form.
bool PrefixMatch(const IpAddress& ip, const IpAddress& net, int prefix) {
  for (int bit = 0; bit < prefix; ++bit) {
    int byte = bit / 8;
    int mask = 0x80 >> (bit % 8);
    if ((ip.bytes[byte] & mask) != (net.bytes[byte] & mask))
      return false;
  }
  return true;
}

bool IsLocalhostName(const std::string& host) {
  std::string h = host;
  if (!h.empty() && h.back() == '.')
    h.pop_back();
  if (h == "localhost" || h == "localhost.localdomain" || h == "localhost6" || h == "localhost6.localdomain6")
    return true;
  const std::string suffix = ".localhost";
  return h.size() > suffix.size() && h.compare(h.size() - suffix.size(), suffix.size(), suffix) == 0;
}

enum class RuleResult { kNoMatch, kBypass, kProxy };

}  // namespace

class ProxyBypassRules::Rule {
 public:
  virtual ~Rule() = default;
  virtual RuleResult Evaluate(const NetUrl& url) const = 0;
};

namespace {

class HostPatternRule : public ProxyBypassRules::Rule {
 public:
  HostPatternRule(std::string scheme, std::string pattern, int port)
      : scheme_(std::move(scheme)), pattern_(std::move(pattern)), port_(port) {}
  RuleResult Evaluate(const NetUrl& url) const override {
    if (!scheme_.empty() && scheme_ != url.scheme)
      return RuleResult::kNoMatch;
    if (port_ != -1 && port_ != url.port)
      return RuleResult::kNoMatch;
    return WildcardMatch(pattern_.c_str(), url.host.c_str()) ? RuleResult::kBypass : RuleResult::kNoMatch;
  }

 private:
  std::string scheme_, pattern_;
  int port_;
};

class IpBlockRule : public ProxyBypassRules::Rule {
 public:
  IpBlockRule(std::string scheme, IpAddress net, int prefix) : scheme_(std::move(scheme)), net_(net), prefix_(prefix) {}
  RuleResult Evaluate(const NetUrl& url) const override {
    if (!scheme_.empty() && scheme_ != url.scheme)
      return RuleResult::kNoMatch;
    auto ip = ParseIp(url.host);
    if (!ip || ip->v4 != net_.v4)
      return RuleResult::kNoMatch;
    return PrefixMatch(*ip, net_, prefix_) ? RuleResult::kBypass : RuleResult::kNoMatch;
  }

 private:
  std::string scheme_;
  IpAddress net_;
  int prefix_;
};

// "<local>": plain host names without a dot.
class LocalRule : public ProxyBypassRules::Rule {
 public:
  RuleResult Evaluate(const NetUrl& url) const override {
    if (ParseIp(url.host))
      return RuleResult::kNoMatch;
    return url.host.find('.') == std::string::npos ? RuleResult::kBypass : RuleResult::kNoMatch;
  }
};

// "<-loopback>": what the implicit rules would bypass is proxied.
class SubtractImplicitRule : public ProxyBypassRules::Rule {
 public:
  RuleResult Evaluate(const NetUrl& url) const override {
    return ProxyBypassRules::IsImplicitlyBypassed(url) ? RuleResult::kProxy : RuleResult::kNoMatch;
  }
};

std::unique_ptr<ProxyBypassRules::Rule> ParseRule(const std::string& raw) {
  std::string text = Lower(raw);
  if (text == "<local>")
    return std::make_unique<LocalRule>();
  if (text == "<-loopback>")
    return std::make_unique<SubtractImplicitRule>();
  std::string scheme;
  size_t sep = text.find("://");
  if (sep != std::string::npos) {
    scheme = text.substr(0, sep);
    text = text.substr(sep + 3);
  }
  if (text.empty())
    return nullptr;
  // CIDR block: "192.168.0.0/16", "fe80::/10".
  size_t slash = text.find('/');
  if (slash != std::string::npos) {
    auto net = ParseIp(text.substr(0, slash));
    std::string bits = text.substr(slash + 1);
    if (!net || bits.empty() || bits.size() > 3)
      return nullptr;
    int prefix = 0;
    for (char c : bits) {
      if (!std::isdigit(static_cast<unsigned char>(c)))
        return nullptr;
      prefix = prefix * 10 + (c - '0');
    }
    int max = net->v4 ? 32 : 128;
    if (prefix > max)
      return nullptr;
    return std::make_unique<IpBlockRule>(scheme, *net, net->v4 ? prefix + 96 : prefix);
  }
  // Host pattern with an optional port.
  std::string host = text;
  int port = -1;
  if (host[0] == '[') {
    size_t close = host.find(']');
    if (close == std::string::npos)
      return nullptr;
    if (close + 1 < host.size()) {
      if (host[close + 1] != ':')
        return nullptr;
      port = std::atoi(host.c_str() + close + 2);
    }
    host = host.substr(0, close + 1);
  } else {
    size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(':') == colon) {
      std::string p = host.substr(colon + 1);
      host = host.substr(0, colon);
      if (p.empty())
        return nullptr;
      for (char c : p) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
          return nullptr;
      }
      port = std::atoi(p.c_str());
    }
  }
  if (host.empty())
    return nullptr;
  // A literal IP matches by address, so "127.0.0.1" also covers other
  // spellings of the same address.
  if (host.find('*') == std::string::npos && port == -1) {
    if (auto ip = ParseIp(host))
      return std::make_unique<IpBlockRule>(scheme, *ip, 128);
  }
  if (host[0] == '.')
    host.insert(0, "*");
  return std::make_unique<HostPatternRule>(scheme, host, port);
}

}  // namespace

ProxyBypassRules::ProxyBypassRules() = default;
ProxyBypassRules::~ProxyBypassRules() = default;
ProxyBypassRules::ProxyBypassRules(ProxyBypassRules&&) noexcept = default;
ProxyBypassRules& ProxyBypassRules::operator=(ProxyBypassRules&&) noexcept = default;

void ProxyBypassRules::ParseFromString(const std::string& text) {
  rules_.clear();
  for (const std::string& part : Split(text, ",;")) {
    if (auto rule = ParseRule(part))
      rules_.push_back(std::move(rule));
  }
}

bool ProxyBypassRules::Matches(const NetUrl& url) const {
  // Later rules override earlier ones.
  for (auto it = rules_.rbegin(); it != rules_.rend(); ++it) {
    RuleResult result = (*it)->Evaluate(url);
    if (result != RuleResult::kNoMatch)
      return result == RuleResult::kBypass;
  }
  return IsImplicitlyBypassed(url);
}

bool ProxyBypassRules::IsImplicitlyBypassed(const NetUrl& url) {
  if (IsLocalhostName(url.host))
    return true;
#if defined(_WIN32)
  if (url.host == "loopback")
    return true;
#endif
  auto ip = ParseIp(url.host);
  if (!ip)
    return false;
  if (ip->v4) {
    uint8_t a = ip->bytes[12], b = ip->bytes[13];
    return a == 127 || (a == 169 && b == 254);
  }
  static const IpAddress kLoopback6 = *ParseIPv6("::1");
  static const IpAddress kLinkLocal6 = *ParseIPv6("fe80::");
  return PrefixMatch(*ip, kLoopback6, 128) || PrefixMatch(*ip, kLinkLocal6, 10);
}

bool ParseProxyServer(const std::string& raw, ProxyServer& out) {
  out = ProxyServer();
  std::string text = Lower(Trim(raw));
  if (text.empty())
    return false;
  std::string scheme = "http";
  size_t sep = text.find("://");
  if (sep != std::string::npos) {
    scheme = text.substr(0, sep);
    text = text.substr(sep + 3);
  }
  int default_port;
  if (scheme == "direct") {
    out.scheme = ProxyServer::Scheme::kDirect;
    return text.empty();
  } else if (scheme == "http") {
    out.scheme = ProxyServer::Scheme::kHttp;
    default_port = 80;
  } else if (scheme == "https") {
    out.scheme = ProxyServer::Scheme::kHttps;
    default_port = 443;
  } else if (scheme == "socks" || scheme == "socks4" || scheme == "socks5") {
    out.scheme = ProxyServer::Scheme::kSocks;
    default_port = 1080;
  } else {
    return false;
  }
  while (!text.empty() && text.back() == '/')
    text.pop_back();
  NetUrl parsed;
  if (!ParseNetUrl("x://" + text, parsed) || parsed.path != "/")
    return false;
  out.host = parsed.BareHost();
  out.port = parsed.explicit_port ? parsed.port : default_port;
  return out.port > 0;
}

ProxyConfig ProxyConfig::FromPreference(const std::string& mode,
                                        const std::string& server,
                                        const std::string& bypass_list) {
  ProxyConfig config;
  if (mode != "fixed_servers")
    return config;
  config.fixed_ = true;
  for (const std::string& entry : Split(server, ";")) {
    std::vector<ProxyServer>* list = &config.single_;
    std::string servers = entry;
    size_t eq = entry.find('=');
    if (eq != std::string::npos) {
      std::string scheme = Lower(Trim(entry.substr(0, eq)));
      servers = entry.substr(eq + 1);
      if (scheme == "http")
        list = &config.http_;
      else if (scheme == "https")
        list = &config.https_;
      else if (scheme == "socks")
        list = &config.other_;
      else
        continue;
    }
    for (const std::string& item : Split(servers, ",")) {
      ProxyServer proxy;
      if (ParseProxyServer(item, proxy))
        list->push_back(proxy);
    }
  }
  config.bypass_.ParseFromString(bypass_list);
  return config;
}

ProxyServer ProxyConfig::ResolveProxy(const NetUrl& url) const {
  if (!fixed_ || bypass_.Matches(url))
    return ProxyServer();
  const std::vector<ProxyServer>* list = nullptr;
  if (!single_.empty())
    list = &single_;
  else if (url.scheme == "http" && !http_.empty())
    list = &http_;
  else if ((url.scheme == "https" || url.scheme == "wss") && !https_.empty())
    list = &https_;
  else if (!other_.empty())
    list = &other_;
  if (!list)
    return ProxyServer();
  return list->front();
}

}  // namespace cef_internal
