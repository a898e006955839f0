#include "core/data_url.h"

#include <gtest/gtest.h>

namespace cef_internal {
namespace {

TEST(DataURL, MediaTypeCharsetAndDefaults) {
  struct Case {
    const char* url;
    const char* mime;
    const char* charset;
    const char* body;
  } cases[] = {
      {"data:,Hello", "text/plain", "US-ASCII", "Hello"},
      {"data:text/html,<b>x</b>", "text/html", "", "<b>x</b>"},
      {"DATA:Text/HTML;charset=utf-8,a", "text/html", "utf-8", "a"},
      {"data:;charset=utf-8,a", "text/plain", "utf-8", "a"},
      {"data:text/plain,a%20b%2Cc", "text/plain", "", "a b,c"},
      {"data:text/plain,100%", "text/plain", "", "100%"},
      {"data:text/plain,a#frag", "text/plain", "", "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    DataURL data;
    ASSERT_TRUE(ParseDataURL(c.url, &data));
    EXPECT_EQ(data.mime_type, c.mime);
    EXPECT_EQ(data.charset, c.charset);
    EXPECT_EQ(data.body, c.body);
  }
}

TEST(DataURL, Base64IsDecodedAfterPercentDecoding) {
  DataURL data;
  // "<p>?>" is PHA+Pz4= in Base64: '+' and '=' arrive percent-encoded when
  // the Base64 text was URI-encoded, as load-error pages are.
  ASSERT_TRUE(ParseDataURL("data:text/html;base64,PHA%2BPz4%3D", &data));
  EXPECT_EQ(data.body, "<p>?>");
  ASSERT_TRUE(ParseDataURL("data:text/html;base64,PHA+Pz4=", &data));
  EXPECT_EQ(data.body, "<p>?>");
  // Whitespace is skipped and padding is optional.
  ASSERT_TRUE(ParseDataURL("data:;base64,SGVs bG8", &data));
  EXPECT_EQ(data.body, "Hello");
  // Bytes beyond ASCII survive.
  ASSERT_TRUE(ParseDataURL("data:text/html;base64,5ZCv5Yqo", &data));
  EXPECT_EQ(data.body, "\xE5\x90\xAF\xE5\x8A\xA8");
}

TEST(DataURL, MalformedURLsAreRefused) {
  DataURL data;
  EXPECT_FALSE(ParseDataURL("data:text/html", &data));         // no comma
  EXPECT_FALSE(ParseDataURL("http://x/,a", &data));            // not data:
  EXPECT_FALSE(ParseDataURL("data:;base64,A", &data));         // 1 mod 4
  EXPECT_FALSE(ParseDataURL("data:;base64,SGV*bG8=", &data));  // stray character
}

}  // namespace
}  // namespace cef_internal
