// Text conversions and whole-file reading.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "desktop/desktop_internal.h"
#include "include/internal/cef_string.h"

namespace kesta::desktop {

std::wstring wide(const std::string& text) {
  if (text.empty())
    return std::wstring();
  cef_string_utf16_t converted = {};
  // A partly invalid input still gives what the conversion produced.
  cef_string_utf8_to_utf16(text.data(), text.size(), &converted);
  std::wstring result(converted.str, converted.str + converted.length);
  cef_string_utf16_clear(&converted);
  return result;
}

std::string utf8(const std::wstring& text) {
  cef_string_utf16_t copy = {};
  if (!text.empty()) {
    // wchar_t is UTF-16 on Windows; elsewhere each wchar_t holds one unit.
    std::u16string units(text.begin(), text.end());
    cef_string_utf16_set(units.data(), units.size(), &copy, true);
  }
  std::string result = CefString(&copy).ToString();
  cef_string_utf16_clear(&copy);
  return result;
}

std::string clip(const std::string& text, size_t limit) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    // Every byte but a continuation byte (10xxxxxx) starts a character.
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && characters++ == limit)
      return text.substr(0, i) + "…";
  }
  return text;
}

std::string readFile(const std::string& path) {
#if defined(_WIN32)
  std::filesystem::path file(wide(path));
#else
  std::filesystem::path file(path);
#endif
  std::ifstream stream(file, std::ios::in | std::ios::binary);
  if (!stream)
    return std::string();
  try {
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure&) {
    // Some libraries open a directory and only fail (throwing) on reading.
    return std::string();
  }
}

}  // namespace kesta::desktop
