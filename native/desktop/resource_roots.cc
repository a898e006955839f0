// Pool bindings: for every resource generation the service lists, the paths
// and URLs the game may load, read once from the manifests of its pool
// versions.
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

#include "desktop/desktop_flow.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "include/cef_parser.h"
#include "include/cef_values.h"

namespace kesta::desktop {

namespace {

constexpr const char* kPools[] = {"engine", "maps", "art"};

std::string stringOf(CefRefPtr<CefDictionaryValue> dictionary, const char* key) {
  return dictionary ? dictionary->GetString(key).ToString() : std::string();
}

// Reads one pool version's manifest into `bindings`.
void bindPool(const std::string& pool,
              const std::string& directory,
              const std::string& manifestName,
              std::map<std::string, std::string>& bindings) {
  const std::string path = directory + "/" + manifestName;
  CefRefPtr<CefDictionaryValue> manifest = parse(readFile(path));
  if (!manifest)
    throw std::runtime_error("Invalid resource manifest: " + path);

  if (pool == "engine") {
    if (CefRefPtr<CefDictionaryValue> files = manifest->GetDictionary("files")) {
      CefDictionaryValue::KeyList keys;
      files->GetKeys(keys);
      for (const auto& key : keys)
        bindings["@engine:/" + key.ToString()] = std::string();
    }
  }
  if (CefRefPtr<CefDictionaryValue> entries = manifest->GetDictionary("bindings")) {
    CefDictionaryValue::KeyList keys;
    entries->GetKeys(keys);
    const std::string prefix = "/__pool/" + pool + "/";
    for (const auto& key : keys)
      bindings[key.ToString()] = prefix + CefURIEncode(entries->GetString(key), false).ToString();
  }
}

}  // namespace

void updateResourceRoots(CefRefPtr<CefDictionaryValue> state) {
  // Held through the manifest reads: the scheme handler must never see a
  // generation half built.
  std::lock_guard lock(browserMutex);

  CefRefPtr<CefDictionaryValue> generations = state->GetDictionary("generations");
  if (!generations)
    return;
  // A state without "bundled" names no bundled versions: every version is
  // then looked up in the package store.
  CefRefPtr<CefDictionaryValue> bundled = generations->GetDictionary("bundled");
  const std::string bundleRoot = state->GetString("bundleRoot").ToString();

  CefDictionaryValue::KeyList names;
  generations->GetKeys(names);
  for (const auto& nameValue : names) {
    const std::string name = nameValue.ToString();
    if (poolBindings.count(name))
      continue;
    // An entry that is not a dictionary describes no generation.
    CefRefPtr<CefDictionaryValue> gen = generations->GetDictionary(nameValue);
    if (!gen)
      continue;

    std::map<std::string, std::string> bindings;
    const bool namesMaps = !gen->GetString("maps").empty();
    for (const char* pool : kPools) {
      const std::string version = stringOf(gen, pool);
      if (version.empty())
        continue;
      const std::string directory = version == stringOf(bundled, pool)
                                        ? bundleRoot + "/" + pool
                                        : dataDir + "/packages/" + pool + "/" + version;
      const char* manifestName =
          std::string(pool) == "art" && !namesMaps ? "art-manifest.json" : "pool-manifest.json";
      bindPool(pool, directory, manifestName, bindings);
    }
    poolBindings.emplace(name, std::move(bindings));
  }
}

}  // namespace kesta::desktop
