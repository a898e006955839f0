// A strict RFC 8259 JSON reader with Chromium's typing rules: integers that fit
// 32 bits become ints, every other number a double; duplicate keys keep the
// last value; input must be UTF-8 (a leading byte order mark is skipped).
#include <charconv>
#include <cstdio>

#include "core/json.h"
#include "core/ascii.h"
#include "core/utf8_util.h"

namespace cef_internal {

namespace {

using ascii::HexValue;

constexpr char kSyntaxError[] = "Syntax error.";
constexpr char kInvalidEscape[] = "Invalid escape sequence.";
constexpr char kUnexpectedToken[] = "Unexpected token.";
constexpr char kTrailingComma[] = "Trailing comma not allowed.";
constexpr char kTooMuchNesting[] = "Too much nesting.";
constexpr char kUnexpectedDataAfterRoot[] = "Unexpected data after root element.";
constexpr char kUnsupportedEncoding[] = "Unsupported encoding. JSON must be UTF-8.";
constexpr char kUnquotedDictionaryKey[] = "Dictionary keys must be quoted.";
constexpr char kUnrepresentableNumber[] = "Number cannot be represented.";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

class JsonReader {
 public:
  JsonReader(std::string_view input, int options)
      : in_(input), allow_trailing_commas_(options & JSON_PARSER_ALLOW_TRAILING_COMMAS) {}

  bool Read(Value* out) {
    if (in_.substr(0, 3) == "\xEF\xBB\xBF")
      pos_ = 3;
    SkipWhitespace();
    if (!ReadValue(out))
      return false;
    SkipWhitespace();
    if (pos_ != in_.size())
      return Fail(kUnexpectedDataAfterRoot);
    return true;
  }

  std::string ErrorMessage() const {
    // Lines and columns count from 1, as in Chromium's messages.
    int line = 1;
    size_t line_start = 0;
    for (size_t i = 0; i < error_pos_ && i < in_.size(); ++i) {
      if (in_[i] == '\n') {
        ++line;
        line_start = i + 1;
      }
    }
    char prefix[64];
    std::snprintf(prefix, sizeof(prefix), "Line: %d, column: %d, ", line,
                  static_cast<int>(error_pos_ - line_start + 1));
    return prefix + std::string(error_);
  }

 private:
  bool Fail(const char* message) {
    error_ = message;
    error_pos_ = pos_;
    return false;
  }

  bool AtEnd() const { return pos_ >= in_.size(); }
  char Peek() const { return in_[pos_]; }

  void SkipWhitespace() {
    while (pos_ < in_.size()) {
      const char c = in_[pos_];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
        break;
      ++pos_;
    }
  }

  bool ReadValue(Value* out) {
    if (AtEnd())
      return Fail(kSyntaxError);
    switch (Peek()) {
      case '{':
        return ReadObject(out);
      case '[':
        return ReadArray(out);
      case '"': {
        std::string s;
        if (!ReadString(&s))
          return false;
        *out = Value(std::move(s));
        return true;
      }
      case 't':
        return ReadLiteral("true", Value(true), out);
      case 'f':
        return ReadLiteral("false", Value(false), out);
      case 'n':
        return ReadLiteral("null", Value(), out);
      default:
        if (Peek() == '-' || IsDigit(Peek()))
          return ReadNumber(out);
        return Fail(kUnexpectedToken);
    }
  }

  bool ReadLiteral(std::string_view literal, Value value, Value* out) {
    if (in_.substr(pos_, literal.size()) != literal)
      return Fail(kSyntaxError);
    pos_ += literal.size();
    *out = std::move(value);
    return true;
  }

  // Counts one level of container nesting for as long as it lives.
  class DepthScope {
   public:
    explicit DepthScope(size_t* depth) : depth_(depth) { ++*depth_; }
    ~DepthScope() { --*depth_; }
    bool TooDeep() const { return *depth_ >= kJsonMaxDepth; }

   private:
    size_t* depth_;
  };

  bool ReadObject(Value* out) {
    DepthScope scope(&depth_);
    if (scope.TooDeep())
      return Fail(kTooMuchNesting);
    ++pos_;  // '{'
    auto dict = std::make_shared<DictNode>();
    SkipWhitespace();
    if (!AtEnd() && Peek() == '}') {
      ++pos_;
      *out = Value(std::move(dict));
      return true;
    }
    for (;;) {
      if (AtEnd())
        return Fail(kSyntaxError);
      if (Peek() != '"')
        return Fail(kUnquotedDictionaryKey);
      std::string key;
      if (!ReadString(&key))
        return false;
      SkipWhitespace();
      if (AtEnd() || Peek() != ':')
        return Fail(kSyntaxError);
      ++pos_;
      SkipWhitespace();
      Value value;
      if (!ReadValue(&value))
        return false;
      dict->Set(std::move(key), std::move(value));
      bool done = false;
      if (!AfterElement('}', &done))
        return false;
      if (done)
        break;
    }
    *out = Value(std::move(dict));
    return true;
  }

  // After an element of a container that `close` ends: sets *done when the
  // container ends here, clear when another element follows; false on a
  // syntax error (a trailing comma included, unless allowed).
  bool AfterElement(char close, bool* done) {
    SkipWhitespace();
    if (AtEnd())
      return Fail(kSyntaxError);
    if (Peek() == close) {
      ++pos_;
      *done = true;
      return true;
    }
    if (Peek() != ',')
      return Fail(kSyntaxError);
    ++pos_;
    SkipWhitespace();
    if (!AtEnd() && Peek() == close) {
      if (!allow_trailing_commas_)
        return Fail(kTrailingComma);
      ++pos_;
      *done = true;
      return true;
    }
    *done = false;
    return true;
  }

  bool ReadArray(Value* out) {
    DepthScope scope(&depth_);
    if (scope.TooDeep())
      return Fail(kTooMuchNesting);
    ++pos_;  // '['
    auto list = std::make_shared<ListNode>();
    SkipWhitespace();
    if (!AtEnd() && Peek() == ']') {
      ++pos_;
      *out = Value(std::move(list));
      return true;
    }
    for (;;) {
      Value value;
      if (!ReadValue(&value))
        return false;
      list->Set(list->items.size(), std::move(value));
      bool done = false;
      if (!AfterElement(']', &done))
        return false;
      if (done)
        break;
    }
    *out = Value(std::move(list));
    return true;
  }

  // Reads four hex digits after "\u".
  bool ReadHex4(char32_t* unit) {
    if (in_.size() - pos_ < 4)
      return false;
    char32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      const int h = HexValue(in_[pos_ + k]);
      if (h < 0)
        return false;
      v = (v << 4) | static_cast<char32_t>(h);
    }
    pos_ += 4;
    *unit = v;
    return true;
  }

  bool ReadString(std::string* out) {
    ++pos_;  // opening quote
    size_t run_start = pos_;
    while (pos_ < in_.size()) {
      const unsigned char c = static_cast<unsigned char>(in_[pos_]);
      if (c == '"') {
        out->append(in_.data() + run_start, pos_ - run_start);
        ++pos_;
        return true;
      }
      if (c < 0x20)
        return Fail(kSyntaxError);
      if (c >= 0x80) {
        char32_t cp;
        if (!DecodeUtf8(in_, &pos_, &cp))
          return Fail(kUnsupportedEncoding);
        continue;
      }
      if (c != '\\') {
        ++pos_;
        continue;
      }
      out->append(in_.data() + run_start, pos_ - run_start);
      ++pos_;
      if (AtEnd())
        return Fail(kInvalidEscape);
      const char e = in_[pos_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out->push_back(e);
          break;
        case 'b':
          out->push_back('\b');
          break;
        case 'f':
          out->push_back('\f');
          break;
        case 'n':
          out->push_back('\n');
          break;
        case 'r':
          out->push_back('\r');
          break;
        case 't':
          out->push_back('\t');
          break;
        case 'u': {
          char32_t unit;
          if (!ReadHex4(&unit))
            return Fail(kInvalidEscape);
          if (unit >= 0xDC00 && unit <= 0xDFFF)
            return Fail(kInvalidEscape);  // low surrogate without a high one
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            char32_t low;
            if (in_.substr(pos_, 2) != "\\u")
              return Fail(kInvalidEscape);
            pos_ += 2;
            if (!ReadHex4(&low) || low < 0xDC00 || low > 0xDFFF)
              return Fail(kInvalidEscape);
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(unit, out);
          break;
        }
        default:
          --pos_;
          return Fail(kInvalidEscape);
      }
      run_start = pos_;
    }
    return Fail(kSyntaxError);
  }

  bool ReadDigits() {
    const size_t start = pos_;
    while (!AtEnd() && IsDigit(Peek()))
      ++pos_;
    return pos_ > start;
  }

  bool ReadNumber(Value* out) {
    const size_t start = pos_;
    if (Peek() == '-')
      ++pos_;
    if (AtEnd())
      return Fail(kSyntaxError);
    if (Peek() == '0') {
      ++pos_;
      if (!AtEnd() && IsDigit(Peek()))
        return Fail(kSyntaxError);  // leading zeros
    } else if (!ReadDigits()) {
      return Fail(kSyntaxError);
    }
    bool integral = true;
    if (!AtEnd() && Peek() == '.') {
      ++pos_;
      integral = false;
      if (!ReadDigits())
        return Fail(kSyntaxError);
    }
    if (!AtEnd() && (Peek() == 'e' || Peek() == 'E')) {
      ++pos_;
      integral = false;
      if (!AtEnd() && (Peek() == '+' || Peek() == '-'))
        ++pos_;
      if (!ReadDigits())
        return Fail(kSyntaxError);
    }
    const char* first = in_.data() + start;
    const char* last = in_.data() + pos_;
    if (integral && std::string_view(first, last - first) != "-0") {
      int i;
      auto r = std::from_chars(first, last, i);
      if (r.ec == std::errc() && r.ptr == last) {
        *out = Value(i);
        return true;
      }
    }
    double d;
    auto r = std::from_chars(first, last, d);
    if (r.ec == std::errc::result_out_of_range) {
      if (!IsUnderflow(std::string_view(first, last - first)))
        return Fail(kUnrepresentableNumber);
      d = (*first == '-') ? -0.0 : 0.0;
    } else if (r.ec != std::errc() || r.ptr != last) {
      return Fail(kSyntaxError);
    }
    *out = Value(d);
    return true;
  }

  // For a number out of double's range: true when it is too small rather
  // than too large (it then reads as zero, as Chromium's parser has it).
  static bool IsUnderflow(std::string_view number) {
    size_t i = (number[0] == '-') ? 1 : 0;
    bool seen_significant = false;
    bool after_point = false;
    long long zeros_after_point = 0;
    long long integer_digits = 0;
    for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
      const char c = number[i];
      if (c == '.') {
        after_point = true;
        continue;
      }
      if (!after_point) {
        if (c != '0' || seen_significant) {
          seen_significant = true;
          ++integer_digits;
        }
      } else if (!seen_significant) {
        if (c == '0')
          ++zeros_after_point;
        else
          seen_significant = true;
      }
    }
    if (!seen_significant)
      return true;  // all zeros: zero whatever the exponent
    // Decimal exponent of the first significant digit.
    long long magnitude = integer_digits > 0 ? integer_digits - 1 : -(zeros_after_point + 1);
    if (i < number.size()) {
      long long exponent = 0;
      bool negative = false;
      ++i;
      if (number[i] == '+' || number[i] == '-')
        negative = number[i++] == '-';
      for (; i < number.size(); ++i) {
        if (exponent < 100000000)
          exponent = exponent * 10 + (number[i] - '0');
      }
      magnitude += negative ? -exponent : exponent;
    }
    return magnitude < 0;
  }

  std::string_view in_;
  size_t pos_ = 0;
  size_t depth_ = 0;
  const bool allow_trailing_commas_;
  const char* error_ = "";
  size_t error_pos_ = 0;
};

}  // namespace

bool ReadJson(std::string_view json, int options, Value* out, std::string* error) {
  JsonReader reader(json, options);
  if (reader.Read(out))
    return true;
  if (error)
    *error = reader.ErrorMessage();
  return false;
}

}  // namespace cef_internal
