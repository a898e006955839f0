#include "core/url_canon.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "core/ascii.h"
#include "core/net_url.h"
#include "core/utf8_util.h"

namespace cef_internal {

namespace {

bool IsAlpha(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}
using ascii::HexValue;
using ascii::kUpperHexDigits;
char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool IsSlash(char c, bool special) {
  return c == '/' || (special && c == '\\');
}

void AppendEscaped(unsigned char c, std::string& out) {
  out += '%';
  out += kUpperHexDigits[c >> 4];
  out += kUpperHexDigits[c & 15];
}

// Appends the UTF-8 sequence that starts at the non-ASCII byte |s[i]|
// escaped, leaving |i| on its last byte. An ill-formed sequence (its longest
// prefix that a well-formed one could start with, or one stray byte) becomes
// an escaped U+FFFD, as Chromium writes it; false then.
bool AppendUtf8Escaped(std::string_view s, size_t& i, std::string& out) {
  size_t end = i;
  char32_t cp;
  const bool valid = DecodeUtf8(s, &end, &cp);
  if (valid) {
    for (size_t k = i; k < end; ++k)
      AppendEscaped(static_cast<unsigned char>(s[k]), out);
  } else {
    // A prefix could start a well-formed sequence when the smallest
    // continuation bytes complete it (none of it is one already).
    end = i + 1;
    while (end < s.size() && end - i < 3) {
      std::string padded(s.substr(i, end + 1 - i));
      padded.resize(4, '\x80');
      size_t pos = 0;
      if (!DecodeUtf8(padded, &pos, &cp))
        break;
      ++end;
    }
    out += "%EF%BF%BD";
  }
  i = end - 1;
  return valid;
}

bool IsSpecialScheme(std::string_view scheme) {
  return scheme == "http" || scheme == "https" || scheme == "ws" || scheme == "wss" || scheme == "ftp" ||
         scheme == "file";
}

// Leading and trailing C0 controls and spaces go; tabs and newlines go
// from everywhere (but data: URLs keep theirs, as Chromium does).
std::string CleanInput(std::string_view in) {
  size_t begin = 0, end = in.size();
  while (begin < end && static_cast<unsigned char>(in[begin]) <= 0x20)
    ++begin;
  while (end > begin && static_cast<unsigned char>(in[end - 1]) <= 0x20)
    --end;
  std::string_view trimmed = in.substr(begin, end - begin);
  bool is_data = trimmed.size() > 5 && Lower(trimmed[0]) == 'd' && Lower(trimmed[1]) == 'a' &&
                 Lower(trimmed[2]) == 't' && Lower(trimmed[3]) == 'a' && trimmed[4] == ':';
  std::string out;
  out.reserve(trimmed.size());
  for (char c : trimmed) {
    if (!is_data && (c == '\t' || c == '\n' || c == '\r'))
      continue;
    out += c;
  }
  return out;
}

// The scheme before the first ':', lower case; nullopt when there is none.
std::optional<std::string> ExtractScheme(std::string_view s) {
  if (s.empty() || !IsAlpha(s[0]))
    return std::nullopt;
  for (size_t i = 1; i < s.size(); ++i) {
    unsigned char c = s[i];
    if (c == ':') {
      std::string scheme;
      for (size_t k = 0; k < i; ++k)
        scheme += Lower(s[k]);
      return scheme;
    }
    if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.')
      return std::nullopt;
  }
  return std::nullopt;
}

// --- host ---

std::optional<uint32_t> ParseIPv4Number(std::string_view part) {
  if (part.empty())
    return std::nullopt;
  int base = 10;
  if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    base = 16;
    part.remove_prefix(2);
  } else if (part.size() >= 2 && part[0] == '0') {
    base = 8;
    part.remove_prefix(1);
  }
  uint64_t value = 0;
  for (char c : part) {
    int digit = HexValue(c);
    if (digit < 0 || digit >= base || (base == 10 && !IsDigit(c)))
      return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull)
      return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

// True when the host's last label is a number, so it must be an IPv4
// address ("1.2.3.4", "0x7f.1", "2130706433", "foo.09" included).
bool EndsInNumber(std::string_view host) {
  if (!host.empty() && host.back() == '.')
    host.remove_suffix(1);
  size_t dot = host.rfind('.');
  std::string_view last = dot == std::string_view::npos ? host : host.substr(dot + 1);
  if (last.empty())
    return false;
  bool digits = true;
  for (char c : last)
    digits &= IsDigit(c);
  if (digits)
    return true;
  return last.size() >= 2 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X') && [&] {
    for (char c : last.substr(2)) {
      if (HexValue(c) < 0)
        return false;
    }
    return true;
  }();
}

std::optional<std::string> CanonIPv4(std::string_view host) {
  if (!host.empty() && host.back() == '.')
    host.remove_suffix(1);
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    size_t dot = host.find('.', start);
    parts.push_back(host.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos)
      break;
    start = dot + 1;
  }
  if (parts.size() > 4)
    return std::nullopt;
  std::vector<uint32_t> numbers;
  for (std::string_view part : parts) {
    auto number = ParseIPv4Number(part);
    if (!number)
      return std::nullopt;
    numbers.push_back(*number);
  }
  for (size_t i = 0; i + 1 < numbers.size(); ++i) {
    if (numbers[i] > 255)
      return std::nullopt;
  }
  uint64_t limit = 1ull << (8 * (5 - numbers.size()));
  if (numbers.back() >= limit)
    return std::nullopt;
  uint64_t address = numbers.back();
  for (size_t i = 0; i + 1 < numbers.size(); ++i)
    address += static_cast<uint64_t>(numbers[i]) << (8 * (3 - i));
  std::string out;
  for (int shift = 24; shift >= 0; shift -= 8) {
    out += std::to_string((address >> shift) & 0xFF);
    if (shift)
      out += '.';
  }
  return out;
}

// Four IPv4 numbers of a byte each, as an IPv6 literal may end with.
std::optional<uint32_t> ParseDottedQuad(std::string_view in) {
  uint32_t address = 0;
  for (int part = 0; part < 4; ++part) {
    size_t dot = part < 3 ? in.find('.') : in.size();
    if (dot == std::string_view::npos)
      return std::nullopt;
    auto number = ParseIPv4Number(in.substr(0, dot));
    if (!number || *number > 255)
      return std::nullopt;
    address = address << 8 | *number;
    in.remove_prefix(part < 3 ? dot + 1 : dot);
  }
  return address;
}

std::optional<std::string> CanonIPv6(std::string_view in) {
  uint16_t pieces[8] = {};
  int piece = 0;
  int compress = -1;
  size_t i = 0;
  if (i < in.size() && in[i] == ':') {
    if (in.size() < 2 || in[1] != ':')
      return std::nullopt;
    i += 2;
    compress = ++piece;
  }
  while (i < in.size()) {
    if (piece == 8)
      return std::nullopt;
    if (in[i] == ':') {
      if (compress >= 0)
        return std::nullopt;
      ++i;
      compress = ++piece;
      continue;
    }
    // An embedded IPv4 address ("1.2.3.4", also "0xC0.0250.0.1") ends the
    // literal and fills the last two pieces.
    if (std::string_view rest = in.substr(i);
        rest.find('.') != std::string_view::npos && rest.find(':') == std::string_view::npos) {
      auto address = ParseDottedQuad(rest);
      if (!address || piece > 6)
        return std::nullopt;
      pieces[piece++] = static_cast<uint16_t>(*address >> 16);
      pieces[piece++] = static_cast<uint16_t>(*address & 0xFFFF);
      break;
    }
    uint32_t value = 0;
    size_t length = 0;
    while (length < 4 && i < in.size() && HexValue(in[i]) >= 0) {
      value = value * 16 + HexValue(in[i]);
      ++i;
      ++length;
    }
    if (length == 0)
      return std::nullopt;
    if (i < in.size()) {
      if (in[i] != ':')
        return std::nullopt;
      ++i;
      if (i == in.size())
        return std::nullopt;
    }
    pieces[piece++] = static_cast<uint16_t>(value);
  }
  if (compress >= 0) {
    int swaps = piece - compress;
    piece = 7;
    while (piece != 0 && swaps > 0) {
      std::swap(pieces[piece], pieces[compress + swaps - 1]);
      --piece;
      --swaps;
    }
  } else if (piece != 8) {
    return std::nullopt;
  }
  // The longest run of two or more zero pieces (the first of equals)
  // becomes "::".
  int best = -1, best_length = 1;
  for (int k = 0; k < 8;) {
    int run = 0;
    while (k + run < 8 && pieces[k + run] == 0)
      ++run;
    if (run > best_length) {
      best = k;
      best_length = run;
    }
    k += run ? run : 1;
  }
  std::string out = "[";
  for (int k = 0; k < 8; ++k) {
    if (k == best) {
      out += "::";
      k += best_length - 1;
      continue;
    }
    if (out.back() != '[' && out.back() != ':')
      out += ':';
    char buffer[8];
    snprintf(buffer, sizeof(buffer), "%x", pieces[k]);
    out += buffer;
  }
  return out + "]";
}

// A special URL's host: unescaped, lower case, checked; IP addresses in
// their canonical form.
std::optional<std::string> CanonHost(std::string_view in) {
  if (in.empty())
    return std::nullopt;
  if (in.front() == '[') {
    if (in.size() < 2 || in.back() != ']')
      return std::nullopt;
    return CanonIPv6(in.substr(1, in.size() - 2));
  }
  std::string host;
  for (size_t i = 0; i < in.size(); ++i) {
    int c = static_cast<unsigned char>(in[i]);
    if (c == '%') {
      c = ascii::EscapedByte(in, i);
      if (c < 0)
        return std::nullopt;
      i += 2;
    }
    if (c >= 0x80)
      return std::nullopt;  // would need IDNA
    if (IsAlpha(c) || IsDigit(c)) {
      host += Lower(static_cast<char>(c));
    } else if (c == '*') {
      AppendEscaped(static_cast<unsigned char>(c), host);
    } else if (std::string_view("!\"$&'()+,-.;=_`{}~").find(static_cast<char>(c)) != std::string_view::npos) {
      host += static_cast<char>(c);
    } else {
      return std::nullopt;  // controls, space, # % / : < > ? @ [ \ ] ^ |, written or escaped
    }
  }
  if (EndsInNumber(host))
    return CanonIPv4(host);
  return host;
}

// A non-special URL's host: kept as written, controls and non-ASCII
// escaped; forbidden characters refuse it.
std::optional<std::string> CanonOpaqueHost(std::string_view in) {
  if (!in.empty() && in.front() == '[') {
    if (in.size() < 2 || in.back() != ']')
      return std::nullopt;
    return CanonIPv6(in.substr(1, in.size() - 2));
  }
  std::string host;
  for (char ch : in) {
    unsigned char c = ch;
    if (c == 0 || c == ' ' || c == '#' || c == '/' || c == ':' || c == '<' || c == '>' || c == '?' || c == '@' ||
        c == '[' || c == '\\' || c == ']' || c == '^' || c == '|')
      return std::nullopt;
    if (c < 0x20 || c >= 0x7F)
      AppendEscaped(c, host);
    else
      host += ch;
  }
  return host;
}

// --- path, query, fragment, user info ---

// Bytes a path cannot hold as they are.
bool EscapedInPath(unsigned char c) {
  return c < 0x21 || c >= 0x7F || std::string_view("\"#<>?^`{|}").find(static_cast<char>(c)) != std::string_view::npos;
}

// Length of a dot at |i| ("." or "%2e"/"%2E"), 0 when there is none.
size_t DotLength(std::string_view s, size_t i) {
  if (i < s.size() && s[i] == '.')
    return 1;
  if (i + 2 < s.size() && s[i] == '%' && s[i + 1] == '2' && (s[i + 2] == 'e' || s[i + 2] == 'E'))
    return 3;
  return 0;
}

// Chromium's path canonicaliser: dot segments resolved where a slash
// precedes them (also written escaped, and never above the root), every
// escape kept exactly as written (Chromium no longer decodes them), other
// characters outside the path set escaped, and in special URLs
// backslashes made slashes. Multiple slashes stay.
std::string CanonPath(std::string_view path, bool special) {
  std::string out;
  if (path.empty() || !IsSlash(path[0], special))
    out += '/';
  auto back_up = [&] {
    // |out| ends with '/': drop the last segment, keep its leading slash.
    if (out.size() <= 1)
      return;
    size_t k = out.size() - 1;
    do {
      --k;
    } while (k > 0 && out[k] != '/');
    out.resize(k + 1);
  };
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = path[i];
    if (size_t dot = DotLength(path, i)) {
      // A dot segment ends at a slash of either kind, as in Chromium, also
      // in URLs whose backslashes are not separators.
      size_t after = i + dot;
      if (out.back() == '/') {
        if (after == path.size()) {
          i = after - 1;  // "/." at the end
          continue;
        }
        if (IsSlash(path[after], true)) {
          i = after;  // "/./"
          continue;
        }
        if (size_t second = DotLength(path, after)) {
          size_t end = after + second;
          if (end == path.size() || IsSlash(path[end], true)) {
            back_up();
            i = end == path.size() ? end - 1 : end;
            continue;
          }
        }
      }
      out += '.';
      i = after - 1;
      continue;
    }
    if (c == '\\' && special) {
      out += '/';
    } else if (!EscapedInPath(c)) {
      out += static_cast<char>(c);  // '%' too: escapes, valid or not, as written
    } else {
      AppendEscaped(c, out);
    }
  }
  return out;
}

// |text| with every ASCII byte that |escape| picks percent-escaped and
// every other one escaped as UTF-8 (ill-formed UTF-8 as U+FFFD, which
// clears |valid|).
template <typename Pred>
std::string EscapeWhere(std::string_view text, Pred escape, bool* valid = nullptr) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = text[i];
    if (c >= 0x80) {
      if (!AppendUtf8Escaped(text, i, out) && valid)
        *valid = false;
    } else if (escape(c)) {
      AppendEscaped(c, out);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Special URLs also escape "'" in queries.
std::string CanonQuery(std::string_view query, bool special) {
  return EscapeWhere(query, [special](unsigned char c) {
    return c < 0x21 || c == 0x7F || c == '"' || c == '#' || c == '<' || c == '>' || (special && c == '\'');
  });
}

std::string CanonFragment(std::string_view fragment) {
  return EscapeWhere(
      fragment, [](unsigned char c) { return c < 0x21 || c == 0x7F || c == '"' || c == '<' || c == '>' || c == '`'; });
}

std::string CanonUserInfo(std::string_view text) {
  return EscapeWhere(text, [](unsigned char c) {
    return c < 0x21 || c == 0x7F ||
           std::string_view("\"#'/:;<=>?@[\\]^`{|}").find(static_cast<char>(c)) != std::string_view::npos;
  });
}

// Appends the canonical query and fragment of |rest| ("?q#f", "#f" or "").
void AppendQueryFragment(std::string_view rest, bool special, std::string& out) {
  size_t hash = rest.find('#');
  std::string_view query = rest.substr(0, hash);
  if (!query.empty())
    out += "?" + CanonQuery(query.substr(1), special);
  if (hash != std::string_view::npos)
    out += "#" + CanonFragment(rest.substr(hash + 1));
}

// Splits "path?query#fragment" and appends the canonical pieces.
void AppendPathQueryFragment(std::string_view rest, bool special, bool opaque_path, std::string& out) {
  std::string_view path = rest.substr(0, rest.find_first_of("?#"));
  if (opaque_path)
    out += EscapeWhere(path, [](unsigned char c) { return c < 0x20 || c == 0x7F; });
  else
    out += CanonPath(path, special);
  AppendQueryFragment(rest.substr(path.size()), special, out);
}

// "user:pass@host:port" of an authority; false when it is invalid.
bool AppendAuthority(std::string_view authority, const std::string& scheme, bool special, std::string& out) {
  size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    std::string_view info = authority.substr(0, at);
    size_t colon = info.find(':');
    std::string user = CanonUserInfo(info.substr(0, colon));
    std::string password = colon == std::string_view::npos ? std::string() : CanonUserInfo(info.substr(colon + 1));
    if (!user.empty() || !password.empty())
      out += user + (password.empty() ? "" : ":" + password) + "@";
    authority.remove_prefix(at + 1);
  }
  std::string_view host = authority;
  std::string_view port;
  bool has_port = false;
  size_t bracket = authority.rfind(']');
  size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
    has_port = true;
  }
  // User info or a port need a host to belong to ("git://@" is invalid).
  if (host.empty() && (at != std::string_view::npos || has_port))
    return false;
  std::optional<std::string> canonical_host = special ? CanonHost(host) : CanonOpaqueHost(host);
  if (!canonical_host)
    return false;
  out += *canonical_host;
  if (has_port && !port.empty()) {
    size_t digits = port.find_first_not_of('0');
    std::string_view significant = digits == std::string_view::npos ? "0" : port.substr(digits);
    if (significant.size() > 5)
      return false;
    int number = 0;
    for (char c : significant) {
      if (!IsDigit(c))
        return false;
      number = number * 10 + (c - '0');
    }
    for (char c : port) {
      if (!IsDigit(c))
        return false;
    }
    if (number > 65535)
      return false;
    if (number != DefaultPort(scheme) || !special)
      out += ":" + std::to_string(number);
  }
  return true;
}

size_t CountSlashes(std::string_view s, bool special) {
  size_t n = 0;
  while (n < s.size() && IsSlash(s[n], special))
    ++n;
  return n;
}

// "c:" or "c|": a Windows drive at the start of |s|.
bool BeginsWithDrive(std::string_view s) {
  return s.size() >= 2 && IsAlpha(s[0]) && (s[1] == ':' || s[1] == '|');
}

// Where a file path's drive letter is ("/c:/x", "/./C|/x"): the first
// letter before ':' or '|' whose preceding text canonicalises to "/".
size_t FindDriveLetter(std::string_view path) {
  for (size_t i = 0; i + 1 < path.size(); ++i) {
    if (BeginsWithDrive(path.substr(i)))
      return CanonPath(path.substr(0, i), true) == "/" ? i : std::string_view::npos;
  }
  return std::string_view::npos;
}

// A file path as Chromium on Windows writes it: the drive upper case with
// a colon, and dot segments never climbing above it.
std::string CanonFilePath(std::string_view path) {
  size_t drive = FindDriveLetter(path);
  if (drive == std::string_view::npos)
    return CanonPath(path, true);
  std::string out = "/";
  out += static_cast<char>(path[drive] & ~0x20);
  out += ':';
  if (std::string_view after = path.substr(drive + 2); !after.empty())
    out += CanonPath(after, true);
  return out;
}

// A file URL after "file:", or a bare Windows path ("c:\x", "\\server\x"),
// parsed as Chromium on Windows does: a drive after the slashes, or exactly
// three slashes, mean a local path; anything else names a UNC host, which
// follows the special host rules (so a port makes it invalid).
std::string CanonFile(std::string_view rest) {
  const size_t slashes = CountSlashes(rest, true);
  std::string_view after = rest.substr(slashes);
  std::string_view host, path;
  if (BeginsWithDrive(after) || slashes == 3) {
    path = rest.substr(slashes ? slashes - 1 : 0);
  } else {
    size_t end = after.find_first_of("/\\");
    host = after.substr(0, end);
    path = end == std::string_view::npos ? std::string_view() : after.substr(end);
  }
  std::string_view query_fragment = path;
  path = path.substr(0, path.find_first_of("?#"));
  query_fragment.remove_prefix(path.size());
  if (host == "localhost" && FindDriveLetter(path) != std::string_view::npos)
    host = {};
  std::optional<std::string> canonical_host = host.empty() ? std::string() : CanonHost(host);
  if (!canonical_host)
    return std::string();
  std::string out = "file://" + *canonical_host + CanonFilePath(path);
  AppendQueryFragment(query_fragment, true, out);
  return out;
}

// mailto: has a path and a query only; the path escapes what mail
// handlers could misread.
std::string CanonMailto(std::string_view rest) {
  size_t question = rest.find('?');
  bool valid = true;
  std::string out =
      "mailto:" + EscapeWhere(
                      rest.substr(0, question),
                      [](unsigned char c) {
                        return c < 0x21 || c == 0x7F ||
                               std::string_view("\"<>`{|}").find(static_cast<char>(c)) != std::string_view::npos;
                      },
                      &valid);
  if (question != std::string_view::npos)
    out += "?" + CanonQuery(rest.substr(question + 1), false);
  return valid ? out : std::string();
}

std::string CanonSpecial(const std::string& scheme, std::string_view rest) {
  std::string out = scheme + "://";
  rest.remove_prefix(CountSlashes(rest, true));
  size_t end = rest.find_first_of("/\\?#");
  std::string_view authority = rest.substr(0, end);
  if (!AppendAuthority(authority, scheme, true, out))
    return std::string();
  AppendPathQueryFragment(rest.substr(authority.size()), true, false, out);
  return out;
}

std::string CanonNonSpecial(const std::string& scheme, std::string_view rest) {
  std::string out = scheme + ":";
  if (rest.substr(0, 2) == "//") {
    rest.remove_prefix(2);
    size_t end = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, end);
    out += "//";
    if (!AppendAuthority(authority, scheme, false, out))
      return std::string();
    rest.remove_prefix(authority.size());
    // Without a path at all, nothing stands before the query.
    bool no_path = rest.empty() || rest[0] == '?' || rest[0] == '#';
    AppendPathQueryFragment(rest, false, no_path, out);
    return out;
  }
  bool hierarchical = !rest.empty() && rest[0] == '/';
  std::string tail;
  AppendPathQueryFragment(rest, false, !hierarchical, tail);
  // A path that would read as an authority ("git:/.//a") keeps a "/." in
  // front of it.
  if (hierarchical && tail.compare(0, 2, "//") == 0)
    out += "/.";
  return out + tail;
}

// A canonical URL split where relative references need it.
struct CanonParts {
  std::string prefix;  // everything before the path ("http://h:1")
  std::string path;    // "/a/b", or the opaque path
  bool opaque = false;
};

CanonParts SplitCanonical(const std::string& spec, const std::string& scheme) {
  CanonParts parts;
  size_t start = scheme.size() + 1;
  if (spec.compare(start, 2, "//") == 0) {
    size_t path = spec.find_first_of("/?#", start + 2);
    parts.prefix = spec.substr(0, path);
    start = path == std::string::npos ? spec.size() : path;
  } else {
    parts.prefix = spec.substr(0, start);
    parts.opaque = start >= spec.size() || spec[start] != '/';
  }
  size_t end = spec.find_first_of("?#", start);
  parts.path = spec.substr(start, end == std::string::npos ? std::string::npos : end - start);
  return parts;
}

}  // namespace

std::string CanonicalizeUrl(std::string_view url) {
  std::string input = CleanInput(url);
  // As Chromium on Windows: "c:\x" and "\\server\x" are file paths.
  if (BeginsWithDrive(input) || CountSlashes(input, true) >= 2)
    return CanonFile(input);
  std::optional<std::string> scheme = ExtractScheme(input);
  if (!scheme)
    return std::string();
  std::string_view rest = std::string_view(input).substr(scheme->size() + 1);
  if (*scheme == "file")
    return CanonFile(rest);
  if (*scheme == "mailto")
    return CanonMailto(rest);
  return IsSpecialScheme(*scheme) ? CanonSpecial(*scheme, rest) : CanonNonSpecial(*scheme, rest);
}

std::string ResolveUrlReference(std::string_view base_url, std::string_view reference) {
  std::string base = CanonicalizeUrl(base_url);
  std::string ref = CleanInput(reference);
  std::optional<std::string> ref_scheme = ExtractScheme(ref);
  if (base.empty())
    return ref_scheme ? CanonicalizeUrl(ref) : std::string();
  // As Chromium on Windows: a drive path, or a UNC path written with
  // backslashes, is a file URL against any base.
  if (BeginsWithDrive(ref) || ref.compare(0, 2, "\\\\") == 0)
    return CanonFile(ref);
  std::string scheme = *ExtractScheme(base);
  const bool special = IsSpecialScheme(scheme);
  if (ref_scheme) {
    // "http:path" and "http:/path" against an http base are relative in
    // special URLs; two slashes make a new authority.
    std::string_view after = std::string_view(ref).substr(ref_scheme->size() + 1);
    if (!(special && *ref_scheme == scheme && CountSlashes(after, true) < 2))
      return CanonicalizeUrl(ref);
    ref = std::string(after);
  }
  CanonParts parts = SplitCanonical(base, scheme);
  std::string without_fragment = base.substr(0, base.find('#'));
  if (ref.empty())
    return parts.opaque ? std::string() : without_fragment;
  if (ref[0] == '#')
    return CanonicalizeUrl(without_fragment + ref);
  if (parts.opaque)
    return std::string();  // only fragments resolve against "data:..." and the like
  const size_t slashes = CountSlashes(ref, special);
  if (scheme == "file" && (slashes >= 2 || BeginsWithDrive(std::string_view(ref).substr(slashes))))
    return CanonFile(ref);
  if (slashes >= 2)
    return CanonicalizeUrl(scheme + ":" + ref);
  // A path on a drive stays on it ("/x" against "file:///C:/a").
  std::string drive;
  if (scheme == "file" && parts.path.size() >= 3 && BeginsWithDrive(std::string_view(parts.path).substr(1)))
    drive = parts.path.substr(0, 3);
  if (slashes == 1)
    return CanonicalizeUrl(parts.prefix + drive + ref);
  if (ref[0] == '?')
    return CanonicalizeUrl(parts.prefix + parts.path + ref);
  std::string directory = parts.path.substr(0, parts.path.rfind('/') + 1);
  if (directory.empty())
    directory = "/";
  return CanonicalizeUrl(parts.prefix + directory + ref);
}

std::string StripUrlFragment(const std::string& url) {
  return url.substr(0, url.find('#'));
}

}  // namespace cef_internal
