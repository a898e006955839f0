#include "shell/load_error_page.h"

#include "include/cef_parser.h"

namespace {

std::string EscapeHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string LoadErrorPage(const std::string& failed_url, const std::string& error_text, int error_code) {
  const std::string html = "<html><body bgcolor=\"white\"><h2>Failed to load URL " + EscapeHtml(failed_url) +
                           " with error " + EscapeHtml(error_text) + " (" + std::to_string(error_code) +
                           ").</h2></body></html>";
  return "data:text/html;base64," + CefURIEncode(CefBase64Encode(html.data(), html.size()), false).ToString();
}
