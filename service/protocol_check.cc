#include "protocol_check.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include <nlohmann/json.hpp>

#include "proxy.h"
#include "resources.h"

namespace kesta::service {

using nlohmann::json;

namespace {

// Routers that decode again decode twice; a margin beyond that costs nothing.
constexpr int kRoutedDecodeRounds = 4;

// Reads the heartbeat's text as the writer produced it: key order within
// each object and how numbers are written, which a parsed document forgets.
class WriterShape : public nlohmann::json_sax<json> {
 public:
  std::vector<std::string> problems;

  bool null() override { return true; }
  bool boolean(bool) override { return true; }
  bool number_integer(number_integer_t) override { return true; }
  bool number_unsigned(number_unsigned_t) override { return true; }
  bool number_float(number_float_t value, const string_t& text) override {
    if (std::isfinite(value) && std::trunc(value) == value)
      problems.push_back("whole number written with a fraction: " + text);
    return true;
  }
  bool string(string_t&) override { return true; }
  bool binary(binary_t&) override { return true; }
  bool start_object(std::size_t) override {
    lastKeys_.emplace_back();
    return true;
  }
  bool key(string_t& key) override {
    std::optional<std::string>& last = lastKeys_.back();
    if (last && !(*last < key))
      problems.push_back("member \"" + key + "\" out of the writer's sorted order (after \"" + *last + "\")");
    last = key;
    return true;
  }
  bool end_object() override {
    lastKeys_.pop_back();
    return true;
  }
  bool start_array(std::size_t) override { return true; }
  bool end_array() override { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    problems.push_back("not JSON");
    return false;
  }

 private:
  std::vector<std::optional<std::string>> lastKeys_;
};

// White space outside strings: the writer puts none.
bool Compact(std::string_view text) {
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      return false;
    }
  }
  return true;
}

enum class Kind { kInteger, kNumber, kString, kBoolean, kArray };

bool Is(const json& value, Kind kind) {
  switch (kind) {
    case Kind::kInteger:
      return value.is_number_integer();
    case Kind::kNumber:
      return value.is_number();
    case Kind::kString:
      return value.is_string();
    case Kind::kBoolean:
      return value.is_boolean();
    case Kind::kArray:
      return value.is_array();
  }
  return false;
}

const char* Name(Kind kind) {
  switch (kind) {
    case Kind::kInteger:
      return "an integer";
    case Kind::kNumber:
      return "a number";
    case Kind::kString:
      return "a string";
    case Kind::kBoolean:
      return "a boolean";
    case Kind::kArray:
      return "an array";
  }
  return "";
}

struct Member {
  const char* key;
  Kind kind;
  bool required;
};

// Exactly `members`, each of its kind.
void CheckMembers(const json& object,
                  const std::vector<Member>& members,
                  const std::string& where,
                  std::vector<std::string>& problems) {
  for (const Member& member : members) {
    const auto it = object.find(member.key);
    if (it == object.end()) {
      if (member.required)
        problems.push_back(where + " lacks \"" + member.key + "\"");
    } else if (!Is(*it, member.kind)) {
      problems.push_back(where + " \"" + member.key + "\" is not " + Name(member.kind));
    }
  }
  for (const auto& [key, value] : object.items()) {
    bool known = false;
    for (const Member& member : members)
      known = known || key == member.key;
    if (!known)
      problems.push_back(where + " has an unexpected member \"" + key + "\"");
  }
}

}  // namespace

std::vector<std::string> HeartbeatViolations(std::string_view body, std::string_view version) {
  std::vector<std::string> problems;
  WriterShape shape;
  json::sax_parse(body.begin(), body.end(), &shape);
  const json heartbeat = json::parse(body.begin(), body.end(), nullptr, false);
  if (!heartbeat.is_object()) {
    problems.push_back("heartbeat is not a JSON object");
    return problems;
  }
  if (!Compact(body))
    problems.push_back("heartbeat is not compact JSON");
  for (std::string& problem : shape.problems)
    problems.push_back("heartbeat: " + problem);

  CheckMembers(heartbeat,
               {{"pid", Kind::kInteger, true},
                {"version", Kind::kString, true},
                {"windows", Kind::kArray, true},
                {"gameWindowCount", Kind::kInteger, true},
                {"after", Kind::kNumber, true},
                {"proxyRevision", Kind::kNumber, true},
                {"error", Kind::kString, true},
                {"networkRevision", Kind::kNumber, false},
                {"networkRestartRequired", Kind::kBoolean, true},
                {"browserNetworkEnforced", Kind::kBoolean, true},
                {"networkError", Kind::kString, true}},
               "heartbeat", problems);
  if (heartbeat.contains("version") && heartbeat["version"].is_string() && heartbeat["version"] != version)
    problems.push_back("heartbeat version " + heartbeat["version"].dump() + " is not " + std::string(version));
  if (heartbeat.contains("networkRevision") && heartbeat["networkRevision"].is_number() &&
      heartbeat["networkRevision"].get<double>() < 0)
    problems.push_back("heartbeat carries a negative \"networkRevision\"");

  int64_t withGeneration = 0;
  if (heartbeat.contains("windows") && heartbeat["windows"].is_array()) {
    for (const json& window : heartbeat["windows"]) {
      if (!window.is_object()) {
        problems.push_back("heartbeat window is not an object");
        continue;
      }
      CheckMembers(window,
                   {{"id", Kind::kInteger, true}, {"url", Kind::kString, true}, {"generation", Kind::kString, true}},
                   "heartbeat window", problems);
      if (window.contains("generation") && window["generation"].is_string() &&
          !window["generation"].get<std::string>().empty())
        ++withGeneration;
    }
    if (heartbeat.contains("gameWindowCount") && heartbeat["gameWindowCount"].is_number_integer() &&
        heartbeat["gameWindowCount"].get<int64_t>() != withGeneration)
      problems.push_back("heartbeat gameWindowCount " + heartbeat["gameWindowCount"].dump() + " but " +
                         std::to_string(withGeneration) + " windows carry a generation");
  }
  return problems;
}

std::optional<int64_t> UpdateRequestRevision(std::string_view body) {
  constexpr std::string_view prefix = "{\"revision\":";
  if (body.size() < prefix.size() + 2 || body.substr(0, prefix.size()) != prefix || body.back() != '}')
    return std::nullopt;
  std::string_view digits = body.substr(prefix.size(), body.size() - prefix.size() - 1);
  const bool negative = !digits.empty() && digits.front() == '-';
  if (negative)
    digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 18 || (digits.size() > 1 && digits.front() == '0'))
    return std::nullopt;
  int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9')
      return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

std::string EncodePoolName(std::string_view name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || std::string_view("-_.!~*'()").find(ch) != std::string_view::npos) {
      out += ch;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string DecodeLikeTheClient(std::string_view path) {
  return DecodeEscapes(path, [](int byte) { return byte < 0x20 || byte == '/' || byte == '\\'; });
}

std::string RoutedPath(std::string_view path) {
  std::string decoded(path.substr(0, path.find_first_of("?#")));
  for (int round = 0; round < kRoutedDecodeRounds; ++round) {
    std::string next = DecodeEscapes(decoded);
    if (next == decoded)
      break;
    decoded = std::move(next);
  }
  std::vector<std::string> segments;
  bool directory = false;  // the path so far ends in a separator
  for (size_t start = decoded.starts_with('/') || decoded.starts_with('\\') ? 1 : 0; start <= decoded.size();) {
    const size_t end = std::min(decoded.find_first_of("/\\", start), decoded.size());
    std::string segment = decoded.substr(start, end - start);
    start = end + 1;
    for (char& c : segment)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    segment = segment.substr(0, segment.find(';'));
    // "." and ".." followed by spaces are still dot segments.
    const std::string bare = segment.substr(0, segment.find_last_not_of(' ') + 1);
    if (bare != "." && bare != "..")
      segment.erase(segment.find_last_not_of(". ") + 1);
    else
      segment = bare;
    if (segment == ".." && !segments.empty())
      segments.pop_back();
    directory = segment.empty() || segment == "." || segment == "..";
    if (!directory)
      segments.push_back(segment);
  }
  std::string routed;
  for (const std::string& segment : segments)
    routed += "/" + segment;
  return routed.empty() || directory ? routed + "/" : routed;
}

bool CarriesToken(std::string_view value, std::string_view token) {
  if (token.empty())
    return false;
  if (value.find(token) != std::string_view::npos)
    return true;
  if (DecodeEscapes(value).find(token) != std::string::npos)
    return true;
  std::string credentials;
  return DecodeBasicCredentials(value, credentials) && credentials.find(token) != std::string::npos;
}

bool HostNames(std::string_view host, std::string_view origin) {
  constexpr std::string_view scheme = "http://";
  if (origin.substr(0, scheme.size()) != scheme)
    return false;
  const std::string_view authority = origin.substr(scheme.size());
  if (host == authority)
    return true;
  // The default port goes unwritten on either side.
  constexpr std::string_view defaultPort = ":80";
  auto bare = [&](std::string_view text) {
    return text.size() > defaultPort.size() && text.substr(text.size() - defaultPort.size()) == defaultPort
               ? text.substr(0, text.size() - defaultPort.size())
               : text;
  };
  return bare(host) == bare(authority);
}

bool ClientHttpHeader(std::string_view lowerName) {
  for (std::string_view allowed :
       {"host", "user-agent", "connection", "content-length", "authorization", "content-type"}) {
    if (lowerName == allowed)
      return true;
  }
  return false;
}

bool NetworkStackHeader(std::string_view lowerName) {
  for (std::string_view allowed : {"host", "connection", "content-length", "transfer-encoding", "user-agent", "accept",
                                   "accept-encoding", "accept-language", "cache-control", "pragma"}) {
    if (lowerName == allowed)
      return true;
  }
  return false;
}

std::vector<std::string> ProxiedViolations(const std::vector<std::pair<std::string, std::string>>& headers,
                                           std::string_view target,
                                           bool toService,
                                           std::string_view token,
                                           const std::vector<std::string>& earlierTokens) {
  std::vector<std::string> found;
  for (const auto& [name, value] : headers) {
    std::string lower = name;
    for (char& c : lower)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "proxy-authorization") {
      constexpr std::string_view user = "kesta:";
      std::string credentials;
      const bool kesta = DecodeBasicCredentials(value, credentials) && credentials.compare(0, user.size(), user) == 0;
      const std::string_view password = kesta ? std::string_view(credentials).substr(user.size()) : "";
      if (!kesta ||
          (password != token && std::find(earlierTokens.begin(), earlierTokens.end(), password) == earlierTokens.end()))
        found.push_back("proxy credentials other than \"kesta\" and the token");
    } else if (lower == "x-kesta-generation" && !toService) {
      found.push_back("X-KESTA-Generation sent through the proxy to another origin");
    } else if (CarriesToken(value, token) && !toService) {
      found.push_back("the token in the " + name + " header sent through the proxy");
    }
  }
  if (CarriesToken(target, token))
    found.push_back("the token in the target of a proxied request");
  return found;
}

HeartbeatPacing::Clock::time_point HeartbeatPacing::Seen(const Request& request, Clock::time_point now) {
  return std::min(now, request.since + kClientTimeout - kTimeoutSlack);
}

void HeartbeatPacing::Replied(const Request& request, Clock::time_point now) {
  // Answers of an exchange the client has left behind tell nothing.
  if (request.exchange == 0 || request.exchange != current_.id)
    return;
  Clock::time_point& last = lastReply_[request.pid];
  last = std::max(last, Seen(request, now));
}

std::vector<std::string> HeartbeatPacing::HostArrived(int64_t pid,
                                                      bool gameWindows,
                                                      Clock::time_point now,
                                                      Request& request) {
  const bool launchOpen = launchOpen_ && now - launchSince_ < kClientTimeout;
  const bool hostOpen = current_.id != 0 && !current_.hostSeen && now - current_.hostSince < kClientTimeout;
  std::vector<std::string> problems;
  if (current_.pid == pid && (hostOpen || launchOpen)) {
    problems.push_back("a heartbeat while the previous exchange is still open");
  } else if (const auto last = lastReply_.find(pid); last != lastReply_.end() && now - last->second < kLeastGap) {
    const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(now - last->second).count();
    problems.push_back("a heartbeat " + std::to_string(gap) + " ms after the previous reply");
  }
  if (gameWindows)
    admitted_.insert(pid);
  current_ = {nextExchange_++, pid, now, std::nullopt, false};
  request = {pid, current_.id, now};
  return problems;
}

std::vector<std::string> HeartbeatPacing::LaunchArrived(Clock::time_point now, Request& request) {
  std::vector<std::string> problems;
  if (launchOpen_ && now - launchSince_ < kClientTimeout)
    problems.push_back("a launch request while another is open");
  launchOpen_ = true;
  launchSince_ = now;
  request = {-1, 0, now};
  // The client asks right after the heartbeat's answer, or after giving up
  // on it.
  std::optional<Clock::time_point> hostSeen = current_.hostSeen;
  const Request host = {current_.pid, current_.id, current_.hostSince};
  if (!hostSeen && Seen(host, now) < now)
    hostSeen = Seen(host, now);
  if (current_.id == 0 || current_.launchTaken || !hostSeen || now - *hostSeen >= kClientTimeout) {
    problems.push_back("a launch request that does not follow a heartbeat's answer");
    return problems;
  }
  current_.launchTaken = true;
  request = {current_.pid, current_.id, now};
  if (admitted_.count(current_.pid))
    problems.push_back("a launch request after the launch was admitted");
  return problems;
}

void HeartbeatPacing::HostAnswered(const Request& request, Clock::time_point now) {
  if (request.exchange == current_.id)
    current_.hostSeen = Seen(request, now);
  Replied(request, now);
}

void HeartbeatPacing::LaunchAnswered(const Request& request, Clock::time_point now) {
  launchOpen_ = false;
  Replied(request, now);
}

}  // namespace kesta::service
