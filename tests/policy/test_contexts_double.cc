// A request context that keeps its preferences in a map, for the build that
// has no browser runtime. It answers like the runtime's contexts: values are
// handed out as copies, unknown names are not set, null restores the default.
#include <map>
#include <string>

#include "test_contexts.h"

namespace policy_test {

namespace {

struct Preference {
  CefRefPtr<CefValue> defaultValue;
  CefRefPtr<CefValue> value;
  bool settable = true;
  bool failing = false;
  std::string error;
  bool dropping = false;
  int writes = 0;
};

class FakeRequestContext : public CefRequestContext {
 public:
  void Register(const std::string& name, CefRefPtr<CefValue> defaultValue) {
    Preference& preference = preferences_[name];
    preference.defaultValue = defaultValue;
    preference.value = defaultValue->Copy();
  }
  void Unregister(const std::string& name) { preferences_.erase(name); }
  Preference* Find(const CefString& name) {
    auto it = preferences_.find(name.ToString());
    return it == preferences_.end() ? nullptr : &it->second;
  }

  bool HasPreference(const CefString& name) override { return Find(name) != nullptr; }
  CefRefPtr<CefValue> GetPreference(const CefString& name) override {
    Preference* preference = Find(name);
    return preference ? preference->value->Copy() : nullptr;
  }
  CefRefPtr<CefDictionaryValue> GetAllPreferences(bool include_defaults) override {
    CefRefPtr<CefDictionaryValue> all = CefDictionaryValue::Create();
    for (auto& [name, preference] : preferences_) {
      all->SetValue(name, preference.value->Copy());
    }
    return all;
  }
  bool CanSetPreference(const CefString& name) override {
    Preference* preference = Find(name);
    return preference && preference->settable;
  }
  bool SetPreference(const CefString& name, CefRefPtr<CefValue> value, CefString& error) override {
    Preference* preference = Find(name);
    if (!preference) {
      error = "Trying to modify an unregistered preference";
      return false;
    }
    if (!preference->settable) {
      error = "Trying to modify a preference that is not user modifiable";
      return false;
    }
    if (preference->failing) {
      error = preference->error;
      return false;
    }
    if (value && value->GetType() != preference->defaultValue->GetType()) {
      error = "Trying to set a preference of the wrong type";
      return false;
    }
    ++preference->writes;
    if (!preference->dropping) {
      preference->value = value ? value->Copy() : preference->defaultValue->Copy();
    }
    return true;
  }
  CefRefPtr<CefRegistration> AddPreferenceObserver(const CefString& name,
                                                   CefRefPtr<CefPreferenceObserver> observer) override {
    return nullptr;
  }

  bool IsSame(CefRefPtr<CefRequestContext> other) override { return other.get() == this; }
  bool IsSharingWith(CefRefPtr<CefRequestContext> other) override { return IsSame(other); }
  bool IsGlobal() override { return false; }
  CefRefPtr<CefRequestContextHandler> GetHandler() override { return nullptr; }
  CefString GetCachePath() override { return CefString(); }
  bool RegisterSchemeHandlerFactory(const CefString& scheme_name,
                                    const CefString& domain_name,
                                    CefRefPtr<CefSchemeHandlerFactory> factory) override {
    return false;
  }
  bool ClearSchemeHandlerFactories() override { return false; }

 private:
  std::map<std::string, Preference> preferences_;
  IMPLEMENT_REFCOUNTING(FakeRequestContext);
};

Preference& At(CefRefPtr<CefRequestContext> context, const std::string& name) {
  Preference* preference = static_cast<FakeRequestContext*>(context.get())->Find(name);
  if (!preference) {
    std::abort();
  }
  return *preference;
}

}  // namespace

void SetUpContexts() {}
void TearDownContexts() {}

CefRefPtr<CefRequestContext> NewContext(bool webrtc) {
  CefRefPtr<FakeRequestContext> context = new FakeRequestContext;
  CefRefPtr<CefValue> proxy = CefValue::Create();
  CefRefPtr<CefDictionaryValue> system = CefDictionaryValue::Create();
  system->SetString("mode", "system");
  proxy->SetDictionary(system);
  context->Register("proxy", proxy);
  if (webrtc) {
    CefRefPtr<CefValue> policy = CefValue::Create();
    policy->SetString("default");
    context->Register("webrtc.ip_handling_policy", policy);
    CefRefPtr<CefValue> urls = CefValue::Create();
    urls->SetList(CefListValue::Create());
    context->Register("webrtc.ip_handling_url", urls);
  }
  return context;
}

void Unregister(CefRefPtr<CefRequestContext> context, const std::string& name) {
  static_cast<FakeRequestContext*>(context.get())->Unregister(name);
}

void MakeUnsettable(CefRefPtr<CefRequestContext> context, const std::string& name) {
  At(context, name).settable = false;
}

void FailWrites(CefRefPtr<CefRequestContext> context, const std::string& name, const std::string& error) {
  At(context, name).failing = true;
  At(context, name).error = error;
}

void DropWrites(CefRefPtr<CefRequestContext> context, const std::string& name) {
  At(context, name).dropping = true;
}

int WriteCount(CefRefPtr<CefRequestContext> context, const std::string& name) {
  Preference* preference = static_cast<FakeRequestContext*>(context.get())->Find(name);
  return preference ? preference->writes : 0;
}

}  // namespace policy_test
