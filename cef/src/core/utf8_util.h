// Small UTF-8 helpers shared by the JSON reader/writer and URI unescaping.
#ifndef CEF_SRC_CORE_UTF8_UTIL_H_
#define CEF_SRC_CORE_UTF8_UTIL_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace cef_internal {

// Decodes the code point starting at |*pos|. On success advances |*pos| past
// it. Overlong forms, surrogates, values above U+10FFFF and truncated
// sequences are invalid; then |*pos| is left unchanged and false returned.
inline bool DecodeUtf8(std::string_view s, size_t* pos, char32_t* cp) {
  const size_t i = *pos;
  const unsigned char b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    *cp = b0;
    *pos = i + 1;
    return true;
  }
  size_t len;
  char32_t value;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    value = b0 & 0x1F;
    min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    value = b0 & 0x0F;
    min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    value = b0 & 0x07;
    min = 0x10000;
  } else {
    return false;
  }
  if (s.size() - i < len)
    return false;
  for (size_t k = 1; k < len; ++k) {
    const unsigned char b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80)
      return false;
    value = (value << 6) | (b & 0x3F);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
    return false;
  *cp = value;
  *pos = i + len;
  return true;
}

inline void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

inline bool IsValidUtf8(std::string_view s) {
  size_t pos = 0;
  char32_t cp;
  while (pos < s.size()) {
    if (static_cast<unsigned char>(s[pos]) < 0x80) {
      ++pos;
      continue;
    }
    if (!DecodeUtf8(s, &pos, &cp))
      return false;
  }
  return true;
}

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_UTF8_UTIL_H_
