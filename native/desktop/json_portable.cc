// Reading the service's and the installation's JSON documents.
#include "desktop/desktop_internal.h"
#include "include/cef_parser.h"
#include "include/cef_values.h"
#include "include/internal/cef_string.h"

namespace kesta::desktop {

CefRefPtr<CefDictionaryValue> parse(const std::string& text) {
  cef_string_utf16_t json = {};
  if (!text.empty())
    cef_string_utf8_to_utf16(text.data(), text.size(), &json);
  CefRefPtr<CefValue> value = CefParseJSON(CefString(&json), JSON_PARSER_RFC);
  cef_string_utf16_clear(&json);
  if (!value)
    return nullptr;
  // Arrays and scalars read as "no document", like text that is not JSON.
  if (value->GetType() != VTYPE_DICTIONARY)
    return nullptr;
  return value->GetDictionary();
}

double number(CefRefPtr<CefDictionaryValue> dictionary, const char* key) {
  if (!dictionary)
    return 0.0;
  CefString name(key ? key : "");
  if (dictionary->GetType(name) == VTYPE_INT)
    return static_cast<double>(dictionary->GetInt(name));
  return dictionary->GetDouble(name);
}

}  // namespace kesta::desktop
