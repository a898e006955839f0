// The cef_string_* C functions: UTF-8, UTF-16 and wide strings with
// replacement of invalid sequences by U+FFFD.
#include "include/internal/cef_string_types.h"

#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

template <typename Char>
void FreeBuffer(Char* str) {
  delete[] str;
}

// Replaces the contents of `output` with a copy of [src, src + len).
template <typename Char, typename Struct>
void Assign(const Char* src, size_t len, Struct* output) {
  if (output->dtor && output->str)
    output->dtor(output->str);
  output->str = nullptr;
  output->length = 0;
  output->dtor = nullptr;
  if (!src || len == 0)
    return;
  Char* buffer = new Char[len + 1];
  std::memcpy(buffer, src, len * sizeof(Char));
  buffer[len] = 0;
  output->str = buffer;
  output->length = len;
  output->dtor = &FreeBuffer<Char>;
}

template <typename Char, typename Struct>
int Set(const Char* src, size_t len, Struct* output, int copy) {
  if (!output)
    return 0;
  if (copy) {
    Assign(src, len, output);
  } else {
    if (output->dtor && output->str)
      output->dtor(output->str);
    output->str = const_cast<Char*>(src);
    output->length = src ? len : 0;
    output->dtor = nullptr;
  }
  return 1;
}

template <typename Struct>
void Clear(Struct* str) {
  if (!str)
    return;
  if (str->dtor && str->str)
    str->dtor(str->str);
  str->str = nullptr;
  str->length = 0;
  str->dtor = nullptr;
}

template <typename Struct>
int Compare(const Struct* a, const Struct* b) {
  size_t la = a ? a->length : 0;
  size_t lb = b ? b->length : 0;
  size_t n = la < lb ? la : lb;
  for (size_t i = 0; i < n; ++i) {
    auto ca = static_cast<std::make_unsigned_t<decltype(+a->str[0])>>(a->str[i]);
    auto cb = static_cast<std::make_unsigned_t<decltype(+b->str[0])>>(b->str[i]);
    if (ca != cb)
      return ca < cb ? -1 : 1;
  }
  if (la == lb)
    return 0;
  return la < lb ? -1 : 1;
}

// Decodes one code point; advances `i`. Returns false for an invalid sequence
// (then `cp` is U+FFFD and one byte was consumed).
bool DecodeUtf8(const unsigned char* s, size_t len, size_t& i, char32_t& cp) {
  unsigned char c = s[i];
  if (c < 0x80) {
    cp = c;
    ++i;
    return true;
  }
  int extra;
  char32_t min;
  if ((c & 0xE0) == 0xC0) {
    extra = 1;
    cp = c & 0x1F;
    min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
    cp = c & 0x0F;
    min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3;
    cp = c & 0x07;
    min = 0x10000;
  } else {
    cp = kReplacement;
    ++i;
    return false;
  }
  if (i + extra >= len) {
    cp = kReplacement;
    ++i;
    return false;
  }
  for (int k = 1; k <= extra; ++k) {
    unsigned char cc = s[i + k];
    if ((cc & 0xC0) != 0x80) {
      cp = kReplacement;
      ++i;
      return false;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    cp = kReplacement;
    ++i;
    return false;
  }
  i += extra + 1;
  return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Decodes one code point from UTF-16; lone surrogates become U+FFFD.
bool DecodeUtf16(const char16_t* s, size_t len, size_t& i, char32_t& cp) {
  char16_t c = s[i++];
  if (c < 0xD800 || c > 0xDFFF) {
    cp = c;
    return true;
  }
  if (c <= 0xDBFF && i < len && s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
    cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i]) - 0xDC00);
    ++i;
    return true;
  }
  cp = kReplacement;
  return false;
}

bool Utf8ToUtf16(const char* src, size_t len, std::u16string& out) {
  bool valid = true;
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  size_t i = 0;
  out.reserve(len);
  while (i < len) {
    char32_t cp;
    valid &= DecodeUtf8(s, len, i, cp);
    AppendUtf16(out, cp);
  }
  return valid;
}

bool Utf16ToUtf8(const char16_t* src, size_t len, std::string& out) {
  bool valid = true;
  size_t i = 0;
  out.reserve(len);
  while (i < len) {
    char32_t cp;
    valid &= DecodeUtf16(src, len, i, cp);
    AppendUtf8(out, cp);
  }
  return valid;
}

constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

bool WideToUtf16(const wchar_t* src, size_t len, std::u16string& out) {
  if constexpr (kWideIsUtf16) {
    out.assign(reinterpret_cast<const char16_t*>(src), len);
    return true;
  } else {
    bool valid = true;
    for (size_t i = 0; i < len; ++i) {
      char32_t cp = static_cast<char32_t>(src[i]);
      if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        cp = kReplacement;
        valid = false;
      }
      AppendUtf16(out, cp);
    }
    return valid;
  }
}

bool Utf16ToWide(const char16_t* src, size_t len, std::wstring& out) {
  if constexpr (kWideIsUtf16) {
    out.assign(reinterpret_cast<const wchar_t*>(src), len);
    return true;
  } else {
    bool valid = true;
    size_t i = 0;
    while (i < len) {
      char32_t cp;
      valid &= DecodeUtf16(src, len, i, cp);
      out += static_cast<wchar_t>(cp);
    }
    return valid;
  }
}

}  // namespace

extern "C" {

int cef_string_wide_set(const wchar_t* src, size_t src_len, cef_string_wide_t* output, int copy) {
  return Set(src, src_len, output, copy);
}
int cef_string_utf8_set(const char* src, size_t src_len, cef_string_utf8_t* output, int copy) {
  return Set(src, src_len, output, copy);
}
int cef_string_utf16_set(const char16_t* src, size_t src_len, cef_string_utf16_t* output, int copy) {
  return Set(src, src_len, output, copy);
}

void cef_string_wide_clear(cef_string_wide_t* str) { Clear(str); }
void cef_string_utf8_clear(cef_string_utf8_t* str) { Clear(str); }
void cef_string_utf16_clear(cef_string_utf16_t* str) { Clear(str); }

int cef_string_wide_cmp(const cef_string_wide_t* a, const cef_string_wide_t* b) { return Compare(a, b); }
int cef_string_utf8_cmp(const cef_string_utf8_t* a, const cef_string_utf8_t* b) { return Compare(a, b); }
int cef_string_utf16_cmp(const cef_string_utf16_t* a, const cef_string_utf16_t* b) { return Compare(a, b); }

int cef_string_utf8_to_utf16(const char* src, size_t src_len, cef_string_utf16_t* output) {
  std::u16string out;
  bool valid = Utf8ToUtf16(src, src ? src_len : 0, out);
  Assign(out.data(), out.size(), output);
  return valid;
}

int cef_string_utf16_to_utf8(const char16_t* src, size_t src_len, cef_string_utf8_t* output) {
  std::string out;
  bool valid = Utf16ToUtf8(src, src ? src_len : 0, out);
  Assign(out.data(), out.size(), output);
  return valid;
}

int cef_string_wide_to_utf16(const wchar_t* src, size_t src_len, cef_string_utf16_t* output) {
  std::u16string out;
  bool valid = WideToUtf16(src, src ? src_len : 0, out);
  Assign(out.data(), out.size(), output);
  return valid;
}

int cef_string_utf16_to_wide(const char16_t* src, size_t src_len, cef_string_wide_t* output) {
  std::wstring out;
  bool valid = Utf16ToWide(src, src ? src_len : 0, out);
  Assign(out.data(), out.size(), output);
  return valid;
}

int cef_string_wide_to_utf8(const wchar_t* src, size_t src_len, cef_string_utf8_t* output) {
  std::u16string mid;
  bool valid = WideToUtf16(src, src ? src_len : 0, mid);
  std::string out;
  valid &= Utf16ToUtf8(mid.data(), mid.size(), out);
  Assign(out.data(), out.size(), output);
  return valid;
}

int cef_string_utf8_to_wide(const char* src, size_t src_len, cef_string_wide_t* output) {
  std::u16string mid;
  bool valid = Utf8ToUtf16(src, src ? src_len : 0, mid);
  std::wstring out;
  valid &= Utf16ToWide(mid.data(), mid.size(), out);
  Assign(out.data(), out.size(), output);
  return valid;
}

int cef_string_ascii_to_wide(const char* src, size_t src_len, cef_string_wide_t* output) {
  std::wstring out;
  for (size_t i = 0; src && i < src_len; ++i)
    out += static_cast<wchar_t>(static_cast<unsigned char>(src[i]));
  Assign(out.data(), out.size(), output);
  return 1;
}

int cef_string_ascii_to_utf16(const char* src, size_t src_len, cef_string_utf16_t* output) {
  std::u16string out;
  for (size_t i = 0; src && i < src_len; ++i)
    out += static_cast<char16_t>(static_cast<unsigned char>(src[i]));
  Assign(out.data(), out.size(), output);
  return 1;
}

cef_string_userfree_wide_t cef_string_userfree_wide_alloc(void) { return new cef_string_wide_t{}; }
cef_string_userfree_utf8_t cef_string_userfree_utf8_alloc(void) { return new cef_string_utf8_t{}; }
cef_string_userfree_utf16_t cef_string_userfree_utf16_alloc(void) { return new cef_string_utf16_t{}; }

void cef_string_userfree_wide_free(cef_string_userfree_wide_t str) {
  Clear(str);
  delete str;
}
void cef_string_userfree_utf8_free(cef_string_userfree_utf8_t str) {
  Clear(str);
  delete str;
}
void cef_string_userfree_utf16_free(cef_string_userfree_utf16_t str) {
  Clear(str);
  delete str;
}

// ASCII-range case mapping, as Chromium's ToLowerASCII/ToUpperASCII.
int cef_string_utf16_to_lower(const char16_t* src, size_t src_len, cef_string_utf16_t* output) {
  std::u16string out(src ? src : u"", src ? src_len : 0);
  for (auto& c : out)
    if (c >= u'A' && c <= u'Z')
      c = c - u'A' + u'a';
  Assign(out.data(), out.size(), output);
  return 1;
}

int cef_string_utf16_to_upper(const char16_t* src, size_t src_len, cef_string_utf16_t* output) {
  std::u16string out(src ? src : u"", src ? src_len : 0);
  for (auto& c : out)
    if (c >= u'a' && c <= u'z')
      c = c - u'a' + u'A';
  Assign(out.data(), out.size(), output);
  return 1;
}

}  // extern "C"
