#include "runtime/global_preferences.h"

#include <mutex>

#include "core/preference_store.h"
#include "include/base/cef_logging.h"
#include "include/cef_preference.h"
#include "include/cef_task.h"
#include "runtime/runtime_state.h"

namespace cef_internal {

namespace {

class GlobalPreferenceManager : public CefPreferenceManager {
 public:
  PreferenceStore& store() { return store_; }

  bool HasPreference(const CefString& name) override { return OnUI() && store_.Has(name.ToString()); }
  CefRefPtr<CefValue> GetPreference(const CefString& name) override {
    return OnUI() ? store_.Get(name.ToString()) : nullptr;
  }
  CefRefPtr<CefDictionaryValue> GetAllPreferences(bool include_defaults) override {
    return OnUI() ? store_.GetAll(include_defaults) : nullptr;
  }
  bool CanSetPreference(const CefString& name) override { return OnUI() && store_.CanSet(name.ToString()); }
  bool SetPreference(const CefString& name, CefRefPtr<CefValue> value, CefString& error) override {
    if (!OnUI()) {
      error = "Called on invalid thread";
      return false;
    }
    std::string message;
    bool ok = store_.Set(name.ToString(), value, message);
    if (!ok) {
      error = message;
    }
    return ok;
  }
  CefRefPtr<CefRegistration> AddPreferenceObserver(const CefString& name,
                                                   CefRefPtr<CefPreferenceObserver> observer) override {
    // Local-state preferences of this runtime never change on their own;
    // only the application's writes would notify, and none observes them.
    return nullptr;
  }

 private:
  static bool OnUI() {
    if (CefCurrentlyOn(TID_UI)) {
      return true;
    }
    LOG(ERROR) << "CefPreferenceManager called on invalid thread";
    return false;
  }

  PreferenceStore store_;
  IMPLEMENT_REFCOUNTING(GlobalPreferenceManager);
};

class Registrar : public CefPreferenceRegistrar {
 public:
  explicit Registrar(PreferenceStore& store) : store_(store) {}
  bool AddPreference(const CefString& name, CefRefPtr<CefValue> default_value) override {
    return store_.Register(name.ToString(), default_value);
  }

 private:
  PreferenceStore& store_;
};

// Guards g_manager.
std::mutex g_mutex;
CefRefPtr<GlobalPreferenceManager> g_manager;

}  // namespace

void InitializeGlobalPreferences() {
  CefRefPtr<GlobalPreferenceManager> manager = new GlobalPreferenceManager();
  if (CefRefPtr<CefBrowserProcessHandler> handler = GetBrowserProcessHandler()) {
    Registrar registrar(manager->store());
    handler->OnRegisterCustomPreferences(CEF_PREFERENCES_TYPE_GLOBAL, &registrar);
  }
  std::lock_guard<std::mutex> lock(g_mutex);
  g_manager = manager;
}

void ShutdownGlobalPreferences() {
  CefRefPtr<GlobalPreferenceManager> manager;
  std::lock_guard<std::mutex> lock(g_mutex);
  manager.swap(g_manager);
}

}  // namespace cef_internal

// static
CefRefPtr<CefPreferenceManager> CefPreferenceManager::GetGlobalPreferenceManager() {
  std::lock_guard<std::mutex> lock(cef_internal::g_mutex);
  return cef_internal::g_manager.get();
}

// static
void CefPreferenceManager::GetChromeVariationsAsSwitches(std::vector<CefString>& switches) {
  switches.clear();
}

// static
void CefPreferenceManager::GetChromeVariationsAsStrings(std::vector<CefString>& strings) {
  strings.clear();
}
