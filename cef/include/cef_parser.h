// URL escaping, Base64 and JSON.
#ifndef CEF_INCLUDE_CEF_PARSER_H_
#define CEF_INCLUDE_CEF_PARSER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_values.h"

// Base64-encodes |data_size| bytes of |data| (standard alphabet, padded).
/*--cef()--*/
CefString CefBase64Encode(const void* data, size_t data_size);

// Decodes Base64 text. Returns null when |data| is not valid Base64 or decodes
// to nothing.
/*--cef()--*/
CefRefPtr<CefBinaryValue> CefBase64Decode(const CefString& data);

// Percent-encodes the UTF-8 form of |text|. ASCII letters, digits and
// - _ . ! ~ * ' ( ) are kept; everything else becomes %XX. With |use_plus| a
// space becomes '+' instead of %20.
/*--cef()--*/
CefString CefURIEncode(const CefString& text, bool use_plus);

// Unescapes |text| according to |unescape_rule|. With |convert_to_utf8| the
// result must be valid UTF-8, otherwise the input is returned unchanged.
/*--cef()--*/
CefString CefURIDecode(const CefString& text, bool convert_to_utf8, cef_uri_unescape_rule_t unescape_rule);

// Parses JSON. Returns null when the input is not valid JSON.
/*--cef()--*/
CefRefPtr<CefValue> CefParseJSON(const CefString& json_string, cef_json_parser_options_t options);

// Parses |json_size| bytes of UTF-8 JSON text.
/*--cef()--*/
CefRefPtr<CefValue> CefParseJSON(const void* json, size_t json_size, cef_json_parser_options_t options);

// Like CefParseJSON; on failure |error_msg_out| says where and why.
/*--cef()--*/
CefRefPtr<CefValue> CefParseJSONAndReturnError(const CefString& json_string,
                                               cef_json_parser_options_t options,
                                               CefString& error_msg_out);

// Writes |node| as JSON. Returns an empty string on failure (for example a
// binary value without JSON_WRITER_OMIT_BINARY_VALUES, or too much nesting).
/*--cef()--*/
CefString CefWriteJSON(CefRefPtr<CefValue> node, cef_json_writer_options_t options);

#endif  // CEF_INCLUDE_CEF_PARSER_H_
