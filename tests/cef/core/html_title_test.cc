#include "core/html_title.h"

#include <gtest/gtest.h>

namespace cef_internal {
namespace {

TEST(HtmlTitle, TitleTextAsDocumentTitleGivesIt) {
  struct Case {
    const char* html;
    const char* title;
  } cases[] = {
      {"<html><head><title>Game</title></head></html>", "Game"},
      {"<TITLE lang=en>  Two\n\t words  </TITLE>", "Two words"},
      {"<title>A &amp; B &lt;C&gt; &#x41;&#66; &quot;q&quot;</title>", "A & B <C> AB \"q\""},
      {"<title>&unknown; & x</title>", "&unknown; & x"},
      {"<title>\xE8\xB5\x84\xE6\xBA\x90</title>", "\xE8\xB5\x84\xE6\xBA\x90"},
      {"<titles>no</titles><title>yes</title>", "yes"},
      {"<title>unterminated", "unterminated"},
      {"<title></title>", ""},
      {"<h2>Failed</h2>", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.html);
    EXPECT_EQ(ExtractHtmlTitle(c.html), c.title);
  }
}

}  // namespace
}  // namespace cef_internal
