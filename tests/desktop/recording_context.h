// A request context that only notes when it goes away, for tests of who
// holds and releases the desktop layer's contexts.
#pragma once

#include <functional>
#include <string>

#include "include/cef_request_context.h"
#include "include/cef_values.h"

namespace kesta::testing {

class RecordingContext : public CefRequestContext {
 public:
  using Destroyed = std::function<void(const std::string& name)>;
  RecordingContext(std::string name, Destroyed destroyed) : name_(std::move(name)), destroyed_(std::move(destroyed)) {}
  ~RecordingContext() override {
    if (destroyed_)
      destroyed_(name_);
  }

  bool IsSame(CefRefPtr<CefRequestContext> other) override { return other.get() == this; }
  bool IsSharingWith(CefRefPtr<CefRequestContext> other) override { return other.get() == this; }
  bool IsGlobal() override { return false; }
  CefRefPtr<CefRequestContextHandler> GetHandler() override { return nullptr; }
  CefString GetCachePath() override { return CefString(); }
  bool RegisterSchemeHandlerFactory(const CefString&, const CefString&, CefRefPtr<CefSchemeHandlerFactory>) override {
    return false;
  }
  bool ClearSchemeHandlerFactories() override { return false; }
  bool HasPreference(const CefString&) override { return false; }
  CefRefPtr<CefValue> GetPreference(const CefString&) override { return nullptr; }
  CefRefPtr<CefDictionaryValue> GetAllPreferences(bool) override { return nullptr; }
  bool CanSetPreference(const CefString&) override { return false; }
  bool SetPreference(const CefString&, CefRefPtr<CefValue>, CefString&) override { return false; }
#if CEF_API_ADDED(13401)
  CefRefPtr<CefRegistration> AddPreferenceObserver(const CefString&, CefRefPtr<CefPreferenceObserver>) override {
    return nullptr;
  }
#endif

 private:
  std::string name_;
  Destroyed destroyed_;
  IMPLEMENT_REFCOUNTING(RecordingContext);
};

}  // namespace kesta::testing
