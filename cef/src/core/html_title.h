// The document title of a loaded HTML page, as the browser shows it.
#ifndef CEF_SRC_CORE_HTML_TITLE_H_
#define CEF_SRC_CORE_HTML_TITLE_H_
#pragma once

#include <string>

namespace cef_internal {

// Text of the first <title> element of |html| (UTF-8): character
// references decoded, runs of ASCII whitespace collapsed to one space and
// trimmed, like document.title. Empty when there is no title element.
std::string ExtractHtmlTitle(const std::string& html);

// |text| with the common named character references and numeric ones
// decoded; anything else is kept literally.
std::string DecodeHtmlReferences(const std::string& text);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_HTML_TITLE_H_
