// CefURIEncode / CefURIDecode tables and Base64.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "include/cef_parser.h"

namespace {

std::string Decode(const std::string& text, int rule, bool convert_to_utf8 = false) {
  return CefURIDecode(text, convert_to_utf8, static_cast<cef_uri_unescape_rule_t>(rule)).ToString();
}

TEST(CefUri, EncodeKeepsOnlyUnreservedCharacters) {
  EXPECT_EQ(CefURIEncode("az AZ09-_.!~*'()", false).ToString(), "az%20AZ09-_.!~*'()");
  EXPECT_EQ(CefURIEncode("a b", true).ToString(), "a+b");
  EXPECT_EQ(CefURIEncode("dir/file name+x?y=z&w#v%u", false).ToString(), "dir%2Ffile%20name%2Bx%3Fy%3Dz%26w%23v%25u");
  EXPECT_EQ(CefURIEncode("\"<>\\^`{|}[]:;@$,", false).ToString(), "%22%3C%3E%5C%5E%60%7B%7C%7D%5B%5D%3A%3B%40%24%2C");
  EXPECT_EQ(CefURIEncode("\xE8\xB5\x84\xE6\xBA\x90\n\x7F", false).ToString(), "%E8%B5%84%E6%BA%90%0A%7F");
  EXPECT_EQ(CefURIEncode(CefString(), false).ToString(), "");
}

TEST(CefUri, DecodeRules) {
  const int kPathRule = UU_NORMAL | UU_SPACES | UU_URL_SPECIAL_CHARS_EXCEPT_PATH_SEPARATORS;
  const struct {
    const char* in;
    int rule;
    const char* out;
  } kCases[] = {
      {"%41%7a%30%2D%5F%7E%22%3C%3E", UU_NORMAL, "Az0-_~\"<>"},
      {"%2E%20%25%2B%26%3D%3F%23%3A%40%21", UU_NORMAL, "%2E%20%25%2B%26%3D%3F%23%3A%40%21"},
      {"%2F%5C", UU_NORMAL, "%2F%5C"},
      {"a%20b", UU_SPACES, "a b"},
      {"a%2Fb%5Cc", UU_PATH_SEPARATORS, "a/b\\c"},
      {"%2E%25%2B%26%3D%3F%23%3A%40%7F%2F%5C%20", UU_URL_SPECIAL_CHARS_EXCEPT_PATH_SEPARATORS,
       ".%+&=?#:@\x7F%2F%5C%20"},
      {"a+b%2B", UU_REPLACE_PLUS_WITH_SPACE, "a b%2B"},
      {"a+b%41", UU_NONE, "a+b%41"},
      // The client's rule for request paths: separators stay escaped, '+' stays.
      {"/a%20b/c%2Fd%5Ce+f%25%2B%2e", kPathRule, "/a b/c%2Fd%5Ce+f%+."},
      // Control characters are never unescaped.
      {"%00%0A%0d%1F", 0x1F, "%00%0A%0d%1F"},
      // Incomplete escapes are copied.
      {"%", UU_NORMAL, "%"},
      {"%4", UU_NORMAL, "%4"},
      {"100%zz%4g", UU_NORMAL, "100%zz%4g"},
      {"%41%", UU_NORMAL, "A%"},
      // UTF-8 characters, but not those that could disguise a URL.
      {"%E8%b5%84", UU_NORMAL, "\xE8\xB5\x84"},
      {"%F0%9F%98%80", UU_NORMAL, "\xF0\x9F\x98\x80"},
      {"%E2%80%AE%C2%A0%E2%80%8B%EF%BB%BF%F0%9F%94%92", UU_NORMAL, "%E2%80%AE%C2%A0%E2%80%8B%EF%BB%BF%F0%9F%94%92"},
      {"\xE8\xB5\x84", UU_NORMAL, "\xE8\xB5\x84"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(Decode(c.in, c.rule), c.out) << c.in << " rule " << c.rule;
}

TEST(CefUri, DecodeBytesThatAreNotUtf8) {
  // Converting to UTF-8 gives back the escaped text when the bytes are not UTF-8.
  EXPECT_EQ(Decode("a%FFb", UU_NORMAL, true), "a%FFb");
  EXPECT_EQ(Decode("%E8%B5", UU_NORMAL, true), "%E8%B5");
  EXPECT_EQ(Decode("%E8%B5%84", UU_NORMAL, true), "\xE8\xB5\x84");
  // Without conversion the raw byte is decoded and then read as UTF-8 text.
  EXPECT_EQ(Decode("a%FFb", UU_NORMAL, false),
            "a\xEF\xBF\xBD"
            "b");
  // A valid character is decoded; the stray continuation byte after it is
  // restored as a raw byte.
  EXPECT_EQ(Decode("%C3%A9%A9", UU_NORMAL, true), "%C3%A9%A9");
  EXPECT_EQ(Decode("%C3%A9%A9", UU_NORMAL, false), "\xC3\xA9\xEF\xBF\xBD");
}

TEST(CefBase64, RoundTripAndStrictDecoding) {
  EXPECT_EQ(CefBase64Encode("", 0).ToString(), "");
  EXPECT_EQ(CefBase64Encode("f", 1).ToString(), "Zg==");
  EXPECT_EQ(CefBase64Encode("fo", 2).ToString(), "Zm8=");
  EXPECT_EQ(CefBase64Encode("foo", 3).ToString(), "Zm9v");
  const unsigned char bytes[] = {0xFB, 0xFF, 0x00, 0x3E};
  EXPECT_EQ(CefBase64Encode(bytes, sizeof(bytes)).ToString(), "+/8APg==");

  CefRefPtr<CefBinaryValue> decoded = CefBase64Decode("+/8APg==");
  ASSERT_TRUE(decoded);
  ASSERT_EQ(decoded->GetSize(), sizeof(bytes));
  unsigned char out[4];
  decoded->GetData(out, sizeof(out), 0);
  EXPECT_EQ(std::memcmp(out, bytes, sizeof(bytes)), 0);
  for (const char* bad : {"", "Zg", "Zg=", "Z===", "Zg==Zg==", "Zm9v ", "Zm-v", "=Zm9"})
    EXPECT_EQ(CefBase64Decode(bad), nullptr) << bad;
}

}  // namespace
