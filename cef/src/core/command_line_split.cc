#include "core/command_line_split.h"

namespace cef_internal {

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

}  // namespace

std::vector<std::u16string> SplitCommandLine(std::u16string_view s) {
  std::vector<std::u16string> argv;
  const size_t n = s.size();
  size_t i = 0;
  if (n == 0)
    return argv;

  // The program: no escapes at all, quotes only group.
  std::u16string program;
  if (s[0] == u'"') {
    for (i = 1; i < n && s[i] != u'"'; ++i)
      program += s[i];
    if (i < n)
      ++i;  // closing quote
  } else {
    for (; i < n && !IsBlank(s[i]); ++i)
      program += s[i];
  }
  argv.push_back(std::move(program));

  while (i < n && IsBlank(s[i]))
    ++i;
  if (i == n)
    return argv;

  // The arguments. `backslashes` counts the run just copied into `current`;
  // `quotes` is odd while inside a quoted stretch.
  std::u16string current;
  size_t backslashes = 0;
  int quotes = 0;
  while (i < n) {
    const char16_t c = s[i];
    if (IsBlank(c) && quotes == 0) {
      argv.push_back(std::move(current));
      current.clear();
      backslashes = 0;
      while (i < n && IsBlank(s[i]))
        ++i;
      if (i == n)
        return argv;
      continue;
    }
    if (c == u'\\') {
      current += c;
      ++backslashes;
      ++i;
      continue;
    }
    if (c == u'"') {
      if (backslashes % 2 == 0) {
        // 2n backslashes + quote: n backslashes, and the quote toggles.
        current.resize(current.size() - backslashes / 2);
        ++quotes;
      } else {
        // 2n+1 backslashes + quote: n backslashes and a literal quote.
        current.resize(current.size() - backslashes / 2 - 1);
        current += u'"';
      }
      backslashes = 0;
      ++i;
      // Runs of quotes: every third one is literal.
      while (i < n && s[i] == u'"') {
        if (++quotes == 3) {
          current += u'"';
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2)
        quotes = 0;
      continue;
    }
    current += c;
    backslashes = 0;
    ++i;
  }
  argv.push_back(std::move(current));
  return argv;
}

std::u16string QuoteForCommandLine(std::u16string_view arg) {
  if (arg.empty())
    return u"\"\"";
  if (arg.find_first_of(u" \\\"") == std::u16string_view::npos)
    return std::u16string(arg);

  std::u16string out = u"\"";
  for (size_t i = 0; i < arg.size(); ++i) {
    if (arg[i] == u'\\') {
      size_t end = i + 1;
      while (end < arg.size() && arg[end] == u'\\')
        ++end;
      size_t count = end - i;
      // Backslashes only escape when a quote follows: ours or the closing one.
      if (end == arg.size() || arg[end] == u'"')
        count *= 2;
      out.append(count, u'\\');
      i = end - 1;
    } else if (arg[i] == u'"') {
      out += u"\\\"";
    } else {
      out += arg[i];
    }
  }
  out += u'"';
  return out;
}

}  // namespace cef_internal
