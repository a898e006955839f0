// URI escaping and Base64 of include/cef_parser.h, with Chromium's rules.
#include <string>
#include <string_view>

#include "core/ascii.h"
#include "core/utf8_util.h"
#include "include/cef_parser.h"

namespace {

using cef_internal::ascii::Base64Value;
using cef_internal::ascii::EscapedByte;
using cef_internal::ascii::kUpperHexDigits;

// Query-component escaping keeps exactly these, as encodeURIComponent.
bool KeptByUriEncode(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
    return true;
  switch (c) {
    case '-':
    case '_':
    case '.':
    case '!':
    case '~':
    case '*':
    case '\'':
    case '(':
    case ')':
      return true;
    default:
      return false;
  }
}

// ASCII characters that normal unescaping may restore: those that cannot
// change how a URL parses.
bool UnescapedNormally(char32_t c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
    return true;
  return c == '-' || c == '_' || c == '~' || c == '"' || c == '<' || c == '>';
}

// Code points never unescaped because they could disguise a URL: bidi
// controls, lock symbols, spaces and invisible or formatting characters.
bool IsSpoofingCodePoint(char32_t c) {
  return c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x1F50F ||
         c == 0x1F510 || c == 0x1F512 || c == 0x1F513 || c == 0x0085 || c == 0x00A0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 ||
         c == 0x2800 || c == 0x00AD || c == 0x034F || c == 0x061C || (c >= 0x0600 && c <= 0x0605) || c == 0x06DD ||
         c == 0x070F || c == 0x08E2 || (c >= 0x115F && c <= 0x1160) || (c >= 0x17B4 && c <= 0x17B5) ||
         (c >= 0x180B && c <= 0x180F) || (c >= 0x200B && c <= 0x200F) || (c >= 0x2060 && c <= 0x206F) || c == 0x3164 ||
         (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF || c == 0xFFA0 || (c >= 0xFFF0 && c <= 0xFFF8) ||
         (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A) || (c >= 0xE0000 && c <= 0xE0FFF);
}

bool ShouldUnescape(int rules, char32_t c) {
  if (c < 0x80) {
    return UnescapedNormally(c) || (c == ' ' && (rules & UU_SPACES)) ||
           ((c == '/' || c == '\\') && (rules & UU_PATH_SEPARATORS)) ||
           (c > ' ' && c != '/' && c != '\\' && (rules & UU_URL_SPECIAL_CHARS_EXCEPT_PATH_SEPARATORS));
  }
  return !IsSpoofingCodePoint(c);
}

// Unescapes the UTF-8 character whose escaped bytes start at |index|: the
// lead byte's escape followed by escapes of continuation bytes. Returns the
// number of bytes (each taking three characters of |s|), 0 when no valid
// character is escaped there.
size_t EscapedCharacterAt(std::string_view s, size_t index, char32_t* cp, std::string* bytes) {
  const int lead = EscapedByte(s, index);
  if (lead < 0)
    return 0;
  bytes->assign(1, static_cast<char>(lead));
  if (lead >= 0xC0 && lead <= 0xF4) {
    while (bytes->size() < 4) {
      const int next = EscapedByte(s, index + bytes->size() * 3);
      if (next < 0 || (next & 0xC0) != 0x80)
        break;
      bytes->push_back(static_cast<char>(next));
    }
  }
  // A valid character may be a prefix of the collected bytes.
  size_t pos = 0;
  if (!cef_internal::DecodeUtf8(*bytes, &pos, cp))
    return 0;
  bytes->resize(pos);
  return pos;
}

std::string Unescape(std::string_view text, int rules) {
  if (rules == UU_NONE)
    return std::string(text);
  std::string result;
  result.reserve(text.size());
  std::string bytes;
  for (size_t i = 0; i < text.size();) {
    char32_t cp;
    const size_t count = EscapedCharacterAt(text, i, &cp, &bytes);
    if (count == 0) {
      // An escaped byte that is not valid UTF-8 is restored as is; anything
      // else is copied, '+' becoming a space when asked.
      const int byte = EscapedByte(text, i);
      if (byte >= 0) {
        result.push_back(static_cast<char>(byte));
        i += 3;
        continue;
      }
      if (text[i] == '+' && (rules & UU_REPLACE_PLUS_WITH_SPACE))
        result.push_back(' ');
      else
        result.push_back(text[i]);
      ++i;
      continue;
    }
    if (ShouldUnescape(rules, cp))
      result.append(bytes);
    else
      result.append(text.substr(i, count * 3));
    i += count * 3;
  }
  return result;
}

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

CefString CefURIEncode(const CefString& text, bool use_plus) {
  const std::string input = text.ToString();
  std::string escaped;
  escaped.reserve(input.size() * 3);
  for (const char ch : input) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (use_plus && c == ' ') {
      escaped.push_back('+');
    } else if (KeptByUriEncode(c)) {
      escaped.push_back(ch);
    } else {
      escaped.push_back('%');
      escaped.push_back(kUpperHexDigits[c >> 4]);
      escaped.push_back(kUpperHexDigits[c & 0xF]);
    }
  }
  return CefString(escaped);
}

CefString CefURIDecode(const CefString& text, bool convert_to_utf8, cef_uri_unescape_rule_t unescape_rule) {
  const std::string input = text.ToString();
  std::string unescaped = Unescape(input, unescape_rule);
  // Decoded bytes that do not form UTF-8 give back the text as it came.
  if (convert_to_utf8 && !cef_internal::IsValidUtf8(unescaped))
    return CefString(input);
  return CefString(unescaped);
}

CefString CefBase64Encode(const void* data, size_t data_size) {
  if (!data || data_size == 0)
    return CefString();
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve((data_size + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < data_size; i += 3) {
    const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(kBase64Alphabet[(v >> 6) & 63]);
    out.push_back(kBase64Alphabet[v & 63]);
  }
  if (i < data_size) {
    unsigned v = bytes[i] << 16;
    if (i + 1 < data_size)
      v |= bytes[i + 1] << 8;
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(i + 1 < data_size ? kBase64Alphabet[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return CefString(out);
}

CefRefPtr<CefBinaryValue> CefBase64Decode(const CefString& data) {
  const std::string input = data.ToString();
  // Padded, whitespace-free input only.
  if (input.empty() || input.size() % 4 != 0)
    return nullptr;
  std::string out;
  out.reserve(input.size() / 4 * 3);
  for (size_t i = 0; i < input.size(); i += 4) {
    const bool last = i + 4 == input.size();
    int v[4];
    int padding = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = input[i + k];
      if (c == '=' && last && k >= 2) {
        v[k] = 0;
        ++padding;
        continue;
      }
      if (padding > 0)
        return nullptr;  // data after padding
      v[k] = Base64Value(c);
      if (v[k] < 0)
        return nullptr;
    }
    const unsigned bits = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    out.push_back(static_cast<char>((bits >> 16) & 0xFF));
    if (padding < 2)
      out.push_back(static_cast<char>((bits >> 8) & 0xFF));
    if (padding < 1)
      out.push_back(static_cast<char>(bits & 0xFF));
  }
  return CefBinaryValue::Create(out.data(), out.size());
}
