// JSON output byte for byte as Chromium's writer produces it: keys in sorted
// order, its escaping (including "<" as \u003C and U+2028/U+2029), its number
// format, and its pretty-print layout.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "core/ascii.h"
#include "core/json.h"
#include "core/utf8_util.h"

namespace cef_internal {

namespace {

#if defined(_WIN32)
constexpr char kPrettyLineEnding[] = "\r\n";
#else
constexpr char kPrettyLineEnding[] = "\n";
#endif

void AppendInt(long long value, std::string* out) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof(buf), value);
  out->append(buf, r.ptr);
}

void EscapeString(std::string_view s, std::string* out) {
  out->push_back('"');
  size_t i = 0;
  while (i < s.size()) {
    const size_t run_start = i;
    while (i < s.size()) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      if (c < 0x20 || c >= 0x80 || c == '"' || c == '\\' || c == '<')
        break;
      ++i;
    }
    out->append(s.data() + run_start, i - run_start);
    if (i == s.size())
      break;
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      switch (c) {
        case '\b':
          out->append("\\b");
          break;
        case '\f':
          out->append("\\f");
          break;
        case '\n':
          out->append("\\n");
          break;
        case '\r':
          out->append("\\r");
          break;
        case '\t':
          out->append("\\t");
          break;
        case '\\':
          out->append("\\\\");
          break;
        case '"':
          out->append("\\\"");
          break;
        case '<':
          out->append("\\u003C");
          break;
        default:
          out->append("\\u00");
          out->push_back(ascii::kUpperHexDigits[c >> 4]);
          out->push_back(ascii::kUpperHexDigits[c & 0xF]);
          break;
      }
      ++i;
      continue;
    }
    size_t next = i;
    char32_t cp;
    if (!DecodeUtf8(s, &next, &cp)) {
      out->append("\xEF\xBF\xBD");  // U+FFFD for bytes that are not UTF-8
      ++i;
      continue;
    }
    if (cp == 0x2028)
      out->append("\\u2028");
    else if (cp == 0x2029)
      out->append("\\u2029");
    else
      out->append(s.data() + i, next - i);
    i = next;
  }
  out->push_back('"');
}

class JsonWriter {
 public:
  JsonWriter(int options, std::string* out)
      : omit_binary_(options & JSON_WRITER_OMIT_BINARY_VALUES),
        omit_double_type_(options & JSON_WRITER_OMIT_DOUBLE_TYPE_PRESERVATION),
        pretty_(options & JSON_WRITER_PRETTY_PRINT),
        out_(out) {}

  bool Write(const ValueView& view) {
    bool ok;
    if (view.scalar)
      ok = WriteValue(*view.scalar, 0);
    else if (view.dict)
      ok = WriteDict(*view.dict, 0);
    else if (view.list)
      ok = WriteList(*view.list, 0);
    else if (view.binary)
      ok = omit_binary_;
    else
      return false;
    if (pretty_)
      out_->append(kPrettyLineEnding);
    return ok;
  }

 private:
  class DepthScope {
   public:
    explicit DepthScope(size_t* depth) : depth_(depth) { ++*depth_; }
    ~DepthScope() { --*depth_; }
    bool TooDeep() const { return *depth_ >= kJsonMaxDepth; }

   private:
    size_t* depth_;
  };

  void Indent(size_t depth) { out_->append(depth * 3, ' '); }

  bool WriteValue(const Value& value, size_t depth) {
    switch (value.kind()) {
      case Value::Kind::kNull:
        out_->append("null");
        return true;
      case Value::Kind::kBool:
        out_->append(value.GetBool() ? "true" : "false");
        return true;
      case Value::Kind::kInt:
        AppendInt(value.GetInt(), out_);
        return true;
      case Value::Kind::kDouble:
        WriteDouble(value.GetDouble());
        return true;
      case Value::Kind::kString:
        EscapeString(value.GetString(), out_);
        return true;
      case Value::Kind::kBinary:
        // Only writable by leaving it out.
        return omit_binary_;
      case Value::Kind::kDict:
        return WriteDict(*value.dict(), depth);
      case Value::Kind::kList:
        return WriteList(*value.list(), depth);
    }
    return false;
  }

  void WriteDouble(double value) {
    // Whole values within int64's range, when asked, go out as integers.
    if (omit_double_type_ && value >= -9223372036854775808.0 && value < 9223372036854775808.0 &&
        std::floor(value) == value) {
      AppendInt(static_cast<long long>(value), out_);
      return;
    }
    std::string real = FormatDouble(value);
    // Keep a fraction or exponent so the text reads back as a double.
    if (real.find_first_of(".eE") == std::string::npos)
      real.append(".0");
    out_->append(real);
  }

  bool WriteDict(const DictNode& dict, size_t depth) {
    DepthScope scope(&stack_depth_);
    if (scope.TooDeep())
      return false;
    out_->push_back('{');
    if (pretty_)
      out_->append(kPrettyLineEnding);
    bool first = true;
    bool ok = true;
    for (const auto& [key, value] : dict.items) {
      if (omit_binary_ && value.kind() == Value::Kind::kBinary)
        continue;
      if (!first) {
        out_->push_back(',');
        if (pretty_)
          out_->append(kPrettyLineEnding);
      }
      if (pretty_)
        Indent(depth + 1);
      EscapeString(key, out_);
      out_->push_back(':');
      if (pretty_)
        out_->push_back(' ');
      if (!WriteValue(value, depth + 1))
        ok = false;
      first = false;
    }
    if (pretty_) {
      if (!first)
        out_->append(kPrettyLineEnding);
      Indent(depth);
    }
    out_->push_back('}');
    return ok;
  }

  bool WriteList(const ListNode& list, size_t depth) {
    DepthScope scope(&stack_depth_);
    if (scope.TooDeep())
      return false;
    out_->push_back('[');
    if (pretty_)
      out_->push_back(' ');
    bool first = true;
    bool ok = true;
    for (const Value& value : list.items) {
      if (omit_binary_ && value.kind() == Value::Kind::kBinary)
        continue;
      if (!first) {
        out_->push_back(',');
        if (pretty_)
          out_->push_back(' ');
      }
      // Members of a list are indented like the list itself.
      if (!WriteValue(value, depth))
        ok = false;
      first = false;
    }
    if (pretty_)
      out_->push_back(' ');
    out_->push_back(']');
    return ok;
  }

  const bool omit_binary_;
  const bool omit_double_type_;
  const bool pretty_;
  std::string* out_;
  size_t stack_depth_ = 0;
};

}  // namespace

std::string FormatDouble(double value) {
  if (!std::isfinite(value))
    return std::string();
  // Shortest round-trip digits, from the scientific form "-d.ddde+XX".
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::scientific);
  std::string_view sci(buf, static_cast<size_t>(r.ptr - buf));
  std::string result;
  if (!sci.empty() && sci[0] == '-') {
    result.push_back('-');
    sci.remove_prefix(1);
  }
  const size_t e = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, e)) {
    if (c != '.')
      digits.push_back(c);
  }
  const int exponent = std::atoi(std::string(sci.substr(e + 1)).c_str());
  const int length = static_cast<int>(digits.size());
  if (exponent >= -6 && exponent < 12) {
    const int point = exponent + 1;
    if (point <= 0) {
      result.append("0.");
      result.append(static_cast<size_t>(-point), '0');
      result.append(digits);
    } else if (point >= length) {
      result.append(digits);
      result.append(static_cast<size_t>(point - length), '0');
    } else {
      result.append(digits, 0, static_cast<size_t>(point));
      result.push_back('.');
      result.append(digits, static_cast<size_t>(point), std::string::npos);
    }
  } else {
    result.push_back(digits[0]);
    if (length > 1) {
      result.push_back('.');
      result.append(digits, 1, std::string::npos);
    }
    result.push_back('e');
    result.push_back(exponent < 0 ? '-' : '+');
    AppendInt(std::abs(exponent), &result);
  }
  return result;
}

bool WriteJson(const ValueView& view, int options, std::string* out) {
  return JsonWriter(options, out).Write(view);
}

}  // namespace cef_internal
