#include "core/html_title.h"

#include "core/utf8_util.h"

#include <cctype>
#include <cstdlib>

namespace cef_internal {
namespace {

size_t FindNoCase(const std::string& hay, const std::string& needle, size_t from) {
  if (needle.empty() || hay.size() < needle.size())
    return std::string::npos;
  for (size_t i = from; i + needle.size() <= hay.size(); ++i) {
    size_t j = 0;
    while (j < needle.size() && std::tolower(static_cast<unsigned char>(hay[i + j])) == needle[j]) {
      ++j;
    }
    if (j == needle.size())
      return i;
  }
  return std::string::npos;
}

// Character references that name no character give U+FFFD, as browsers do.
void AppendUtf8(unsigned cp, std::string* out) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    cp = 0xFFFD;
  cef_internal::AppendUtf8(static_cast<char32_t>(cp), out);
}

}  // namespace

std::string DecodeHtmlReferences(const std::string& in) {
  static const struct {
    const char* name;
    unsigned cp;
  } kNamed[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '&') {
      out.push_back(in[i]);
      continue;
    }
    size_t semi = in.find(';', i + 1);
    if (semi == std::string::npos || semi - i > 12) {
      out.push_back('&');
      continue;
    }
    std::string ref = in.substr(i + 1, semi - i - 1);
    bool done = false;
    if (ref.size() > 1 && ref[0] == '#') {
      bool hex = ref[1] == 'x' || ref[1] == 'X';
      std::string digits = ref.substr(hex ? 2 : 1);
      char* end = nullptr;
      unsigned long cp = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
      if (!digits.empty() && end && *end == '\0') {
        AppendUtf8(static_cast<unsigned>(cp), &out);
        done = true;
      }
    } else {
      for (const auto& n : kNamed) {
        if (ref == n.name) {
          AppendUtf8(n.cp, &out);
          done = true;
          break;
        }
      }
    }
    if (done) {
      i = semi;
    } else {
      out.push_back('&');
    }
  }
  return out;
}

namespace {

bool IsHtmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

}  // namespace

std::string ExtractHtmlTitle(const std::string& html) {
  size_t open = 0;
  // "<title" must be followed by '>' or whitespace, not "<titles".
  while (true) {
    open = FindNoCase(html, "<title", open);
    if (open == std::string::npos)
      return {};
    size_t after = open + 6;
    if (after < html.size() && (html[after] == '>' || IsHtmlSpace(html[after])))
      break;
    open = after;
  }
  size_t start = html.find('>', open);
  if (start == std::string::npos)
    return {};
  ++start;
  size_t close = FindNoCase(html, "</title", start);
  std::string raw = html.substr(start, close == std::string::npos ? std::string::npos : close - start);
  std::string decoded = DecodeHtmlReferences(raw);
  std::string out;
  bool pending_space = false;
  for (char c : decoded) {
    if (IsHtmlSpace(c)) {
      pending_space = !out.empty();
      continue;
    }
    if (pending_space)
      out.push_back(' ');
    pending_space = false;
    out.push_back(c);
  }
  return out;
}

}  // namespace cef_internal
