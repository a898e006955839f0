// The static sub-resources of an HTML document, as Chromium's preload
// scanner finds them before any script runs: <script src>, stylesheet
// <link href>, <img src> and <iframe src>, in document order. Markup
// inside comments, raw-text elements (script, style, textarea, ...) and
// <template> is not looked at.
#ifndef CEF_SRC_CORE_HTML_SUBRESOURCES_H_
#define CEF_SRC_CORE_HTML_SUBRESOURCES_H_
#pragma once

#include <string>
#include <vector>

namespace cef_internal {

struct HtmlSubresource {
  enum class Kind { kScript, kStylesheet, kImage, kFrame };
  Kind kind;
  // The attribute as written, references decoded and surrounding spaces
  // trimmed; empty for an iframe without src.
  std::string url;
  // The <base href> in force where the element stands; empty for none.
  std::string base;
  // An iframe's name attribute.
  std::string name;
};

std::vector<HtmlSubresource> ScanHtmlSubresources(const std::string& html);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_HTML_SUBRESOURCES_H_
