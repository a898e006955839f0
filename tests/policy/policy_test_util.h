// Small helpers shared by the network policy tests.
#pragma once

#include <string>

#include "include/cef_parser.h"
#include "include/cef_request_context.h"
#include "include/cef_values.h"

namespace policy_test {

inline CefRefPtr<CefDictionaryValue> Dict(const std::string& json) {
  CefRefPtr<CefValue> value = CefParseJSON(json, JSON_PARSER_RFC);
  return value ? value->GetDictionary() : nullptr;
}

// Any value as JSON text, wrapped in a one-element list so scalars can be
// written too: ["default"], [[]], [{"mode":"direct"}]. "null" when absent.
inline std::string Json(CefRefPtr<CefValue> value) {
  if (!value) {
    return "null";
  }
  CefRefPtr<CefListValue> list = CefListValue::Create();
  list->SetValue(0, value);
  CefRefPtr<CefValue> wrapper = CefValue::Create();
  wrapper->SetList(list);
  return CefWriteJSON(wrapper, JSON_WRITER_DEFAULT).ToString();
}

inline std::string Json(CefRefPtr<CefDictionaryValue> dictionary) {
  CefRefPtr<CefValue> wrapper = CefValue::Create();
  wrapper->SetDictionary(dictionary->Copy(false));
  return CefWriteJSON(wrapper, JSON_WRITER_DEFAULT).ToString();
}

inline std::string Pref(CefRefPtr<CefRequestContext> context, const char* name) {
  return Json(context->GetPreference(name));
}

}  // namespace policy_test
