// The JSON functions of include/cef_parser.h.
#include "include/cef_parser.h"

#include "core/json.h"
#include "core/values_impl.h"

CefRefPtr<CefValue> CefParseJSON(const CefString& json_string, cef_json_parser_options_t options) {
  const std::string json = json_string.ToString();
  return CefParseJSON(json.data(), json.size(), options);
}

CefRefPtr<CefValue> CefParseJSON(const void* json, size_t json_size, cef_json_parser_options_t options) {
  if (!json || json_size == 0)
    return nullptr;
  cef_internal::Value value;
  if (!cef_internal::ReadJson(std::string_view(static_cast<const char*>(json), json_size), options, &value, nullptr)) {
    return nullptr;
  }
  return cef_internal::WrapValue(std::move(value));
}

CefRefPtr<CefValue> CefParseJSONAndReturnError(const CefString& json_string,
                                               cef_json_parser_options_t options,
                                               CefString& error_msg_out) {
  const std::string json = json_string.ToString();
  cef_internal::Value value;
  std::string error;
  if (!cef_internal::ReadJson(json, options, &value, &error)) {
    error_msg_out = error;
    return nullptr;
  }
  return cef_internal::WrapValue(std::move(value));
}

CefString CefWriteJSON(CefRefPtr<CefValue> node, cef_json_writer_options_t options) {
  if (!node || !node->IsValid())
    return CefString();
  std::string json;
  {
    // The tree must not change while it is written.
    cef_internal::ValuesGuard guard(cef_internal::ValuesLock());
    if (!cef_internal::WriteJson(cef_internal::ViewOf(node.get()), options, &json))
      return CefString();
  }
  return CefString(json);
}
