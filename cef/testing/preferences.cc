#include "testing/preferences.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "runtime/paths.h"
#include "runtime/request_context_impl.h"

namespace cef_testing {

namespace {

using cef_internal::ContextStorage;
using cef_internal::PreferenceStore;

enum class Action { kUnregister, kUnsettable, kFail, kDrop, kClear };

struct PathFault {
  std::string key;  // storage key to match: normalised lower-case path, or "" for in-memory
  Action action;
  std::string name;
  std::string text;
};

// Guards g_path_faults.
std::mutex g_mutex;
std::vector<PathFault> g_path_faults;
bool g_callback_installed = false;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return text;
}

void Apply(PreferenceStore& store, Action action, const std::string& name, const std::string& text) {
  PreferenceStore::Faults faults = store.GetFaults(name);
  switch (action) {
    case Action::kUnregister:
      store.Unregister(name);
      return;
    case Action::kUnsettable:
      faults.unsettable = true;
      break;
    case Action::kFail:
      faults.fail_text = text;
      break;
    case Action::kDrop:
      faults.drop_writes = true;
      break;
    case Action::kClear:
      faults = PreferenceStore::Faults();
      break;
  }
  store.SetFaults(name, faults);
}

bool Matches(const ContextStorage& storage, const std::string& key) {
  return key.empty() ? storage.cache_path.empty() : storage.key == key;
}

void OnStorageCreated(ContextStorage& storage) {
  std::vector<PathFault> faults;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    faults = g_path_faults;
  }
  for (const PathFault& fault : faults) {
    if (Matches(storage, fault.key)) {
      Apply(storage.preferences, fault.action, fault.name, fault.text);
    }
  }
}

void Do(const ContextSelector& where, Action action, const std::string& name, const std::string& text) {
  if (!where.by_cache_path) {
    CefRefPtr<cef_internal::CefRequestContextImpl> impl = cef_internal::CefRequestContextImpl::From(where.context);
    if (impl) {
      Apply(impl->storage().preferences, action, name, text);
    }
    return;
  }
  std::string key = where.cache_path.empty() ? std::string() : Lower(cef_internal::NormalizePath(where.cache_path));
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_callback_installed) {
      cef_internal::CefRequestContextImpl::SetStorageCreatedCallback(OnStorageCreated);
      g_callback_installed = true;
    }
    g_path_faults.push_back({key, action, name, text});
  }
  for (const auto& storage : cef_internal::CefRequestContextImpl::LiveStorages()) {
    if (Matches(*storage, key)) {
      Apply(storage->preferences, action, name, text);
    }
  }
}

}  // namespace

ContextSelector::ContextSelector(CefRefPtr<CefRequestContext> context) : context(context) {}

// static
ContextSelector ContextSelector::CachePath(const CefString& cache_path) {
  ContextSelector selector(nullptr);
  selector.by_cache_path = true;
  selector.cache_path = cache_path.ToString();
  return selector;
}

// static
ContextSelector ContextSelector::Global() {
  return ContextSelector(CefRequestContext::GetGlobalContext());
}

void UnregisterPreference(const ContextSelector& where, const std::string& name) {
  Do(where, Action::kUnregister, name, {});
}

void MakePreferenceUnsettable(const ContextSelector& where, const std::string& name) {
  Do(where, Action::kUnsettable, name, {});
}

void FailPreferenceWrites(const ContextSelector& where, const std::string& name, const std::string& error_text) {
  Do(where, Action::kFail, name, error_text);
}

void DropPreferenceWrites(const ContextSelector& where, const std::string& name) {
  Do(where, Action::kDrop, name, {});
}

void ClearPreferenceFaults(const ContextSelector& where, const std::string& name) {
  Do(where, Action::kClear, name, {});
}

int PreferenceWriteCount(CefRefPtr<CefRequestContext> context, const std::string& name) {
  CefRefPtr<cef_internal::CefRequestContextImpl> impl = cef_internal::CefRequestContextImpl::From(context);
  return impl ? impl->storage().preferences.WriteCount(name) : 0;
}

void ResetPreferenceFaults() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_path_faults.clear();
}

}  // namespace cef_testing
