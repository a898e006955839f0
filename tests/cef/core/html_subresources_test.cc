// The preload scan of a document's static sub-resources.
#include <gtest/gtest.h>

#include "core/html_subresources.h"

namespace {

using cef_internal::HtmlSubresource;
using cef_internal::ScanHtmlSubresources;
using Kind = HtmlSubresource::Kind;

// "kind:url" per resource, with "@base" when a base was in force and
// "=name" for named frames.
std::vector<std::string> Scan(const std::string& html) {
  std::vector<std::string> out;
  for (const HtmlSubresource& item : ScanHtmlSubresources(html)) {
    static const char* const kKinds[] = {"script", "style", "img", "frame"};
    std::string line = std::string(kKinds[static_cast<int>(item.kind)]) + ":" + item.url;
    if (!item.base.empty())
      line += "@" + item.base;
    if (!item.name.empty())
      line += "=" + item.name;
    out.push_back(line);
  }
  return out;
}

TEST(HtmlSubresources, FindsTheStaticResourcesInDocumentOrder) {
  EXPECT_EQ(Scan("<!doctype html><HTML><head>"
                 "<LINK REL='Preload Stylesheet' href=' /a.css '>"
                 "<script src=\"/b.js?x=1&amp;y=2\" defer></script>"
                 "<link rel=icon href=/favicon.ico><link rel=\"alternate stylesheet\" href=/alt.css>"
                 "</head><body><img src=c.png alt=x><iframe name=ads src='//other/frame'></iframe>"
                 "<img src=\"\"><img><iframe></iframe><script src=/d.js src=/ignored.js></script>"),
            (std::vector<std::string>{"style:/a.css", "script:/b.js?x=1&y=2", "img:c.png", "frame://other/frame=ads",
                                      "frame:", "script:/d.js"}));
}

TEST(HtmlSubresources, SkipsWhatNoParserWouldFetch) {
  EXPECT_EQ(Scan("<!-- <img src=/commented.png> -->"
                 "<script>document.write('<img src=/written.png>')</script>"
                 "<style>a { background: url(<img src=/styled.png>) }</style>"
                 "<textarea><img src=/text.png></textarea><title><img src=/title.png></title>"
                 "<template><img src=/template.png></template>"
                 "<script type=text/template src=/data.js></script><script type=module src=/mod.js></script>"
                 "<noscript><img src=/noscript.png></noscript><img src=/real.png>"),
            (std::vector<std::string>{"script:/mod.js", "img:/real.png"}));
  // Unclosed markup ends the scan without reading past the text.
  EXPECT_EQ(Scan("<img src=/a.png><script>never closed <img src=/b.png>"), (std::vector<std::string>{"img:/a.png"}));
  EXPECT_EQ(Scan("<img src='/unterminated"), (std::vector<std::string>{"img:/unterminated"}));
  EXPECT_TRUE(Scan("<").empty());
  EXPECT_TRUE(Scan("< img src=/x.png>").empty());
}

TEST(HtmlSubresources, TheFirstBaseHrefAppliesToWhatFollows) {
  EXPECT_EQ(Scan("<img src=a.png><base href='https://cdn.test/x/'><base href=/ignored/><img src=b.png>"),
            (std::vector<std::string>{"img:a.png", "img:b.png@https://cdn.test/x/"}));
}

}  // namespace
