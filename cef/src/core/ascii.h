// Small ASCII helpers shared by the stand-in's parsers (URLs, data: URLs,
// JSON, HTTP heads, proxy rules).
#ifndef CEF_SRC_CORE_ASCII_H_
#define CEF_SRC_CORE_ASCII_H_
#pragma once

#include <string>
#include <string_view>

namespace cef_internal::ascii {

// The digits of escapes ("%2F", "\\u001F"), written in upper case as
// Chromium writes them.
inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

// The value of a hexadecimal digit, or -1.
inline int HexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// The byte that the escape "%XX" at |s[i]| stands for, or -1.
inline int EscapedByte(std::string_view s, size_t i) {
  if (i + 2 >= s.size() || s[i] != '%')
    return -1;
  const int hi = HexValue(s[i + 1]);
  const int lo = HexValue(s[i + 2]);
  return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

// The value of a character of the standard Base64 alphabet, or -1.
inline int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '+')
    return 62;
  if (c == '/')
    return 63;
  return -1;
}

// ASCII letters lowered; every other byte kept.
inline std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// `s` without leading and trailing characters of `blanks`.
inline std::string_view TrimView(std::string_view s, std::string_view blanks = " \t") {
  const size_t begin = s.find_first_not_of(blanks);
  if (begin == std::string_view::npos)
    return std::string_view();
  const size_t end = s.find_last_not_of(blanks);
  return s.substr(begin, end - begin + 1);
}
inline std::string Trim(std::string_view s, std::string_view blanks = " \t") {
  return std::string(TrimView(s, blanks));
}

}  // namespace cef_internal::ascii

#endif  // CEF_SRC_CORE_ASCII_H_
