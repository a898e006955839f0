// The load-error page and the debug-port switch.
#include <gtest/gtest.h>

#include <string>

#include "include/cef_parser.h"
#include "shell/debug_port.h"
#include "shell/load_error_page.h"

namespace {

// The page held by a data URL the error page built.
std::string PageOf(const std::string& url) {
  const std::string prefix = "data:text/html;base64,";
  EXPECT_EQ(url.rfind(prefix, 0), 0u) << url;
  const std::string base64 =
      CefURIDecode(url.substr(prefix.size()), false, UU_URL_SPECIAL_CHARS_EXCEPT_PATH_SEPARATORS).ToString();
  CefRefPtr<CefBinaryValue> bytes = CefBase64Decode(base64);
  if (!bytes)
    return "<not base64>";
  std::string page(bytes->GetSize(), '\0');
  bytes->GetData(page.data(), page.size(), 0);
  return page;
}

TEST(LoadErrorPage, NamesTheUrlTheErrorAndItsSignedCode) {
  EXPECT_EQ(PageOf(LoadErrorPage("https://game.example/a?b=1", "ERR_CONNECTION_REFUSED", -102)),
            "<html><body bgcolor=\"white\"><h2>Failed to load URL https://game.example/a?b=1 with error "
            "ERR_CONNECTION_REFUSED (-102).</h2></body></html>");
}

TEST(LoadErrorPage, EscapesWhatThePageAndTheNetworkControl) {
  const std::string page = PageOf(LoadErrorPage("https://x.example/<script>alert('x')</script>&\"", "a<b>", -2));
  EXPECT_EQ(page.find("<script>"), std::string::npos) << page;
  EXPECT_NE(page.find("https://x.example/&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;&quot;"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("with error a&lt;b&gt; (-2)"), std::string::npos) << page;
}

TEST(LoadErrorPage, TheBase64TextIsPercentEncoded) {
  // '+', '/' and '=' of the Base64 alphabet are escaped in the URL.
  const std::string url = LoadErrorPage(std::string(40, '\xff'), "?", -1);
  EXPECT_EQ(url.find_first_of("+/=", 22), std::string::npos) << url;
}

TEST(DebugPort, ReadsALeadingDecimalNumber) {
  EXPECT_EQ(ParseDebugPort("9222"), 9222);
  EXPECT_EQ(ParseDebugPort("  9222abc"), 9222);
  EXPECT_EQ(ParseDebugPort("+80"), 80);
  EXPECT_EQ(ParseDebugPort("-5"), -5);
  EXPECT_EQ(ParseDebugPort("2147483647"), 2147483647);
  EXPECT_EQ(ParseDebugPort("-2147483648"), -2147483648LL);
}

TEST(DebugPort, RefusesWhatIsNoNumberOrDoesNotFit) {
  EXPECT_EQ(ParseDebugPort(""), std::nullopt);
  EXPECT_EQ(ParseDebugPort("abc"), std::nullopt);
  EXPECT_EQ(ParseDebugPort(" - 5"), std::nullopt);
  EXPECT_EQ(ParseDebugPort("0x10"), 0);
  EXPECT_EQ(ParseDebugPort("2147483648"), std::nullopt);
  EXPECT_EQ(ParseDebugPort("99999999999999999999999"), std::nullopt);
}

}  // namespace
