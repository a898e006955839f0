// Enumerations used by values, the JSON parser/writer and URI escaping.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_VALUES_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_VALUES_H_
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Supported value types.
typedef enum {
  VTYPE_INVALID = 0,
  VTYPE_NULL,
  VTYPE_BOOL,
  VTYPE_INT,
  VTYPE_DOUBLE,
  VTYPE_STRING,
  VTYPE_BINARY,
  VTYPE_DICTIONARY,
  VTYPE_LIST,
  VTYPE_NUM_VALUES,
} cef_value_type_t;

// Options for CefParseJSON. JSON_PARSER_RFC is strict RFC 8259 parsing.
typedef enum {
  JSON_PARSER_RFC = 0,
  // Allows a trailing comma after the last member of an object or array.
  JSON_PARSER_ALLOW_TRAILING_COMMAS = 1 << 0,
} cef_json_parser_options_t;

// Options for CefWriteJSON (bit flags).
typedef enum {
  JSON_WRITER_DEFAULT = 0,
  // Binary values are dropped (with their key) instead of failing the write.
  JSON_WRITER_OMIT_BINARY_VALUES = 1 << 0,
  // Doubles without a fractional part are written as integers ("-1", not
  // "-1.0"). Such output parses back as integers.
  JSON_WRITER_OMIT_DOUBLE_TYPE_PRESERVATION = 1 << 1,
  // Objects are written one member per line, indented by three spaces.
  JSON_WRITER_PRETTY_PRINT = 1 << 2,
} cef_json_writer_options_t;

// URI unescape rules for CefURIDecode (bit flags).
typedef enum {
  // Nothing is unescaped.
  UU_NONE = 0,
  // Characters that cannot change the meaning of a URL are unescaped. Every
  // other flag implies this one.
  UU_NORMAL = 1 << 0,
  // Also unescapes spaces.
  UU_SPACES = 1 << 1,
  // Also unescapes '/' and '\'. Unsafe for paths that are parsed again.
  UU_PATH_SEPARATORS = 1 << 2,
  // Also unescapes every other printable ASCII character (such as '%', '+',
  // '&', '#', '?'), but not the path separators.
  UU_URL_SPECIAL_CHARS_EXCEPT_PATH_SEPARATORS = 1 << 3,
  // A literal '+' becomes a space (form-encoded query components).
  UU_REPLACE_PLUS_WITH_SPACE = 1 << 4,
} cef_uri_unescape_rule_t;

#ifdef __cplusplus
}
#endif

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_VALUES_H_
