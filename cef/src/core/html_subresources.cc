#include "core/html_subresources.h"

#include <map>
#include <string_view>

#include "core/html_title.h"

namespace cef_internal {

namespace {

bool IsHtmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = LowerAscii(c);
  return out;
}

std::string Trim(const std::string& s) {
  size_t begin = 0, end = s.size();
  while (begin < end && IsHtmlSpace(s[begin]))
    ++begin;
  while (end > begin && IsHtmlSpace(s[end - 1]))
    --end;
  return s.substr(begin, end - begin);
}

struct Tag {
  std::string name;  // lower case
  bool end = false;
  std::map<std::string, std::string> attributes;  // the first of each name
};

// Reads the tag that starts at html[at] == '<' and a letter (or '/' and a
// letter); returns the position after it.
size_t ReadTag(const std::string& html, size_t at, Tag& tag) {
  size_t i = at + 1;
  if (html[i] == '/') {
    tag.end = true;
    ++i;
  }
  size_t start = i;
  while (i < html.size() && !IsHtmlSpace(html[i]) && html[i] != '/' && html[i] != '>')
    ++i;
  tag.name = Lower(std::string_view(html).substr(start, i - start));
  while (i < html.size()) {
    while (i < html.size() && (IsHtmlSpace(html[i]) || html[i] == '/'))
      ++i;
    if (i >= html.size() || html[i] == '>')
      break;
    start = i;
    while (i < html.size() && !IsHtmlSpace(html[i]) && html[i] != '/' && html[i] != '>' &&
           (html[i] != '=' || i == start))
      ++i;
    std::string name = Lower(std::string_view(html).substr(start, i - start));
    while (i < html.size() && IsHtmlSpace(html[i]))
      ++i;
    std::string value;
    if (i < html.size() && html[i] == '=') {
      ++i;
      while (i < html.size() && IsHtmlSpace(html[i]))
        ++i;
      if (i < html.size() && (html[i] == '"' || html[i] == '\'')) {
        char quote = html[i++];
        size_t close = html.find(quote, i);
        if (close == std::string::npos)
          close = html.size();
        value = html.substr(i, close - i);
        i = close + 1;
      } else {
        start = i;
        while (i < html.size() && !IsHtmlSpace(html[i]) && html[i] != '>')
          ++i;
        value = html.substr(start, i - start);
      }
    }
    tag.attributes.emplace(name, DecodeHtmlReferences(value));
  }
  return i < html.size() ? i + 1 : html.size();
}

// Where the raw text of element |name| that starts at |from| ends: at its
// end tag, or at the end of the document.
size_t SkipRawText(const std::string& html, size_t from, const std::string& name) {
  for (size_t i = html.find("</", from); i != std::string::npos; i = html.find("</", i + 2)) {
    size_t after = i + 2 + name.size();
    if (after <= html.size() && Lower(std::string_view(html).substr(i + 2, name.size())) == name &&
        (after == html.size() || IsHtmlSpace(html[after]) || html[after] == '/' || html[after] == '>'))
      return i;
  }
  return html.size();
}

bool HasToken(const std::string& list, const std::string& token) {
  std::string lower = Lower(list);
  size_t i = 0;
  while (i < lower.size()) {
    while (i < lower.size() && IsHtmlSpace(lower[i]))
      ++i;
    size_t start = i;
    while (i < lower.size() && !IsHtmlSpace(lower[i]))
      ++i;
    if (lower.compare(start, i - start, token) == 0 && i - start == token.size())
      return true;
  }
  return false;
}

// Script types a browser runs (and so fetches): none, a JavaScript MIME
// type, or a module.
bool IsScriptType(const Tag& tag) {
  auto type = tag.attributes.find("type");
  if (type == tag.attributes.end())
    return true;
  std::string value = Lower(Trim(type->second));
  static const char* const kTypes[] = {"",
                                       "module",
                                       "text/javascript",
                                       "application/javascript",
                                       "application/ecmascript",
                                       "application/x-javascript",
                                       "text/ecmascript",
                                       "text/jscript"};
  for (const char* known : kTypes) {
    if (value == known)
      return true;
  }
  return false;
}

std::string Attribute(const Tag& tag, const char* name) {
  auto it = tag.attributes.find(name);
  return it == tag.attributes.end() ? std::string() : Trim(it->second);
}

}  // namespace

std::vector<HtmlSubresource> ScanHtmlSubresources(const std::string& html) {
  static const char* const kRawText[] = {"script", "style",   "textarea", "title",   "xmp",
                                         "iframe", "noembed", "noframes", "noscript"};
  std::vector<HtmlSubresource> found;
  std::string base;
  bool have_base = false;
  int template_depth = 0;
  size_t i = 0;
  while (i < html.size()) {
    size_t lt = html.find('<', i);
    if (lt == std::string::npos || lt + 1 >= html.size())
      break;
    if (html.compare(lt, 4, "<!--") == 0) {
      size_t close = html.find("-->", lt + 4);
      i = close == std::string::npos ? html.size() : close + 3;
      continue;
    }
    char next = html[lt + 1];
    bool letter = (next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z');
    bool end_letter = next == '/' && lt + 2 < html.size() &&
                      ((html[lt + 2] >= 'a' && html[lt + 2] <= 'z') || (html[lt + 2] >= 'A' && html[lt + 2] <= 'Z'));
    if (next == '!' || next == '?') {
      size_t close = html.find('>', lt);
      i = close == std::string::npos ? html.size() : close + 1;
      continue;
    }
    if (!letter && !end_letter) {
      i = lt + 1;
      continue;
    }
    Tag tag;
    i = ReadTag(html, lt, tag);
    if (tag.name == "template") {
      template_depth += tag.end ? (template_depth > 0 ? -1 : 0) : 1;
      continue;
    }
    if (tag.end)
      continue;
    if (template_depth == 0) {
      HtmlSubresource item{HtmlSubresource::Kind::kScript, std::string(), base, std::string()};
      if (tag.name == "base" && !have_base && tag.attributes.count("href")) {
        base = Attribute(tag, "href");
        have_base = true;
      } else if (tag.name == "script" && IsScriptType(tag) && !Attribute(tag, "src").empty()) {
        item.url = Attribute(tag, "src");
        found.push_back(item);
      } else if (tag.name == "link" && HasToken(Attribute(tag, "rel"), "stylesheet") &&
                 !HasToken(Attribute(tag, "rel"), "alternate") && !Attribute(tag, "href").empty()) {
        item.kind = HtmlSubresource::Kind::kStylesheet;
        item.url = Attribute(tag, "href");
        found.push_back(item);
      } else if (tag.name == "img" && !Attribute(tag, "src").empty()) {
        item.kind = HtmlSubresource::Kind::kImage;
        item.url = Attribute(tag, "src");
        found.push_back(item);
      } else if (tag.name == "iframe") {
        item.kind = HtmlSubresource::Kind::kFrame;
        item.url = Attribute(tag, "src");
        item.name = Attribute(tag, "name");
        found.push_back(item);
      }
    }
    for (const char* raw : kRawText) {
      if (tag.name == raw) {
        i = SkipRawText(html, i, tag.name);
        break;
      }
    }
  }
  return found;
}

}  // namespace cef_internal
