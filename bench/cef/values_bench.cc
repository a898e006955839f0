// Times the value and JSON paths the client runs on large resource manifests
// and on every heartbeat. Prints one line per measurement.
#include <chrono>
#include <cstdio>
#include <string>

#include "include/cef_parser.h"

namespace {

template <typename F>
void Time(const char* name, int iterations, F&& work) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < iterations; ++i)
    work();
  const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%-40s %10.3f ms/iteration\n", name, elapsed.count() / iterations);
}

std::string Manifest(int entries) {
  std::string json = "{\"bindings\":{";
  for (int i = 0; i < entries; ++i) {
    char entry[128];
    std::snprintf(entry, sizeof(entry),
                  "%s\"textures/area_%03d/tile %05d.png\":\"/__pool/p1/textures%%2Ftile%%20%05d.png\"", i ? "," : "",
                  i % 997, i, i);
    json += entry;
  }
  json += "},\"revision\":12,\"size\":1048576}";
  return json;
}

}  // namespace

int main() {
  for (int entries : {10000, 50000}) {
    const std::string json = Manifest(entries);
    std::printf("manifest of %d entries, %zu bytes\n", entries, json.size());
    CefRefPtr<CefValue> parsed;
    Time("  CefParseJSON (UTF-8 buffer)", 10,
         [&] { parsed = CefParseJSON(json.data(), json.size(), JSON_PARSER_RFC); });
    const CefString json16(json);
    Time("  CefParseJSON (CefString)", 10, [&] { parsed = CefParseJSON(json16, JSON_PARSER_RFC); });
    CefString written;
    Time("  CefWriteJSON", 10, [&] { written = CefWriteJSON(parsed, JSON_WRITER_DEFAULT); });
    Time("  CefDictionaryValue::Copy(false)", 10, [&] { parsed->GetDictionary()->Copy(false); });
    size_t total = 0;
    Time("  GetKeys + GetString per entry", 10, [&] {
      CefRefPtr<CefDictionaryValue> bindings = parsed->GetDictionary()->GetDictionary("bindings");
      CefDictionaryValue::KeyList keys;
      bindings->GetKeys(keys);
      for (const CefString& key : keys)
        total += bindings->GetString(key).length();
    });
    Time("  CefURIEncode per key", 10, [&] {
      CefRefPtr<CefDictionaryValue> bindings = parsed->GetDictionary()->GetDictionary("bindings");
      CefDictionaryValue::KeyList keys;
      bindings->GetKeys(keys);
      for (const CefString& key : keys)
        total += CefURIEncode(key, false).length();
    });
    if (total == 0)
      return 1;
  }

  const std::string heartbeat =
      R"({"ok":true,"revision":-1,"policy":{"proxy":{"mode":"fixed_servers","server":"127.0.0.1:8080"}}})";
  Time("heartbeat parse + write", 10000, [&] {
    CefRefPtr<CefValue> value = CefParseJSON(heartbeat.data(), heartbeat.size(), JSON_PARSER_RFC);
    CefWriteJSON(value, JSON_WRITER_OMIT_DOUBLE_TYPE_PRESERVATION);
  });
  return 0;
}
