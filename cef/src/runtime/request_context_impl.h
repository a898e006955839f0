// The request context implementation. Besides CefRequestContext's own
// interface it offers thread-safe accessors that the network stack uses on
// the IO thread.
//
// As in Chromium, preferences and scheme handler factories belong to the
// storage (the profile), not to the context object: contexts made from one
// another, or with the same cache path, share them.
#ifndef CEF_SRC_RUNTIME_REQUEST_CONTEXT_IMPL_H_
#define CEF_SRC_RUNTIME_REQUEST_CONTEXT_IMPL_H_
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/preference_store.h"
#include "include/cef_request_context.h"

namespace cef_internal {

// One profile: cache directory, preferences, scheme handler factories.
struct ContextStorage {
  std::string key;         // normalised cache path, or "memory:<n>"
  std::string cache_path;  // UTF-8 as given back by GetCachePath; empty = in memory
  PreferenceStore preferences;

  // Guards factories, read by the IO thread and written from any thread.
  std::mutex factories_mutex;
  // (scheme, host) -> factory; host "" matches every host.
  std::map<std::pair<std::string, std::string>, CefRefPtr<CefSchemeHandlerFactory>> factories;

  // Guards observers (UI thread in practice).
  std::mutex observers_mutex;
  struct Observer {
    int id;
    std::string name;  // empty: every preference
    CefRefPtr<CefPreferenceObserver> observer;
  };
  std::vector<Observer> observers;
};

class CefRequestContextImpl : public CefRequestContext {
 public:
  // The implementation behind |context|; a null |context| stands for the
  // global context (itself null before CefInitialize / after CefShutdown).
  static CefRefPtr<CefRequestContextImpl> From(CefRefPtr<CefRequestContext> context);

  // Runtime use: CefInitialize() makes the global context for the global
  // cache path (UTF-8, empty = in memory); CefShutdown() drops it and every
  // factory registered anywhere.
  static void CreateGlobal(const std::string& cache_path);
  static void DestroyAll();

  // Every storage alive now, and a callback for each new one (test driver:
  // faults keyed by cache path). Any thread.
  static std::vector<std::shared_ptr<ContextStorage>> LiveStorages();
  static void SetStorageCreatedCallback(std::function<void(ContextStorage&)> callback);
  // Test driver: every later RegisterSchemeHandlerFactory() returns false.
  // Any thread, also before CefInitialize().
  static void RefuseSchemeHandlerFactories();

  // IO-thread accessors; any thread, thread-safe.

  // A copy of the "proxy" preference; its default is {"mode": "system"}.
  CefRefPtr<CefDictionaryValue> ProxySettings();

  // The factory registered for |scheme| and |host| (both compared without
  // case): a registration for that host first, then the scheme's any-host
  // one; null when none.
  CefRefPtr<CefSchemeHandlerFactory> FindSchemeHandlerFactory(const std::string& scheme, const std::string& host);

  ContextStorage& storage() { return *storage_; }
  std::shared_ptr<ContextStorage> shared_storage() const { return storage_; }

  // CefPreferenceManager (UI thread).
  bool HasPreference(const CefString& name) override;
  CefRefPtr<CefValue> GetPreference(const CefString& name) override;
  CefRefPtr<CefDictionaryValue> GetAllPreferences(bool include_defaults) override;
  bool CanSetPreference(const CefString& name) override;
  bool SetPreference(const CefString& name, CefRefPtr<CefValue> value, CefString& error) override;
  CefRefPtr<CefRegistration> AddPreferenceObserver(const CefString& name,
                                                   CefRefPtr<CefPreferenceObserver> observer) override;

  // CefRequestContext.
  bool IsSame(CefRefPtr<CefRequestContext> other) override;
  bool IsSharingWith(CefRefPtr<CefRequestContext> other) override;
  bool IsGlobal() override;
  CefRefPtr<CefRequestContextHandler> GetHandler() override;
  CefString GetCachePath() override;
  bool RegisterSchemeHandlerFactory(const CefString& scheme_name,
                                    const CefString& domain_name,
                                    CefRefPtr<CefSchemeHandlerFactory> factory) override;
  bool ClearSchemeHandlerFactories() override;

  CefRequestContextImpl(std::shared_ptr<ContextStorage> storage,
                        bool global,
                        CefRefPtr<CefRequestContextHandler> handler);

  // Storage for |cache_path| (UTF-8, already validated): the existing one
  // for that path, or a new one with the built-in preferences registered.
  // Empty = a new in-memory storage.
  static std::shared_ptr<ContextStorage> GetOrCreateStorage(const std::string& cache_path, bool* created);

 private:
  ~CefRequestContextImpl() override;

  const std::shared_ptr<ContextStorage> storage_;
  const bool global_;
  const CefRefPtr<CefRequestContextHandler> handler_;

  IMPLEMENT_REFCOUNTING(CefRequestContextImpl);
};

// Validates a request context's cache path against the root cache path:
// it must be empty, or equal to or below |root| once both are made
// absolute. Returns the normalised path through |normalized|. UTF-8.
bool ResolveContextCachePath(const std::string& cache_path, const std::string& root, std::string* normalized);

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_REQUEST_CONTEXT_IMPL_H_
