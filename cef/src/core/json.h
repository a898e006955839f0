// Strict JSON reading and writing with Chromium's rules, over the value tree.
#ifndef CEF_SRC_CORE_JSON_H_
#define CEF_SRC_CORE_JSON_H_

#include <string>
#include <string_view>

#include "core/value_tree.h"
#include "core/values_impl.h"

namespace cef_internal {

// Containers nested this deep (or deeper) are refused by reader and writer.
constexpr size_t kJsonMaxDepth = 200;

// Parses UTF-8 |json| with cef_json_parser_options_t |options|. On failure
// returns false and, when |error| is given, a message saying where and why.
bool ReadJson(std::string_view json, int options, Value* out, std::string* error);

// Appends |view| as JSON to |out| with cef_json_writer_options_t |options|.
// False for an invalid view, a binary value that may not be omitted, or too
// much nesting.
bool WriteJson(const ValueView& view, int options, std::string* out);

// Chromium's number formatting for doubles: shortest round-trip digits, plain
// notation for decimal exponents in [-6, 12), exponent notation otherwise.
std::string FormatDouble(double value);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_JSON_H_
