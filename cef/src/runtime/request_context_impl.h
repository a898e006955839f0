// The request context implementation. Besides CefRequestContext's own
// interface it offers thread-safe accessors that the network stack uses on
// the IO thread.
#ifndef CEF_SRC_RUNTIME_REQUEST_CONTEXT_IMPL_H_
#define CEF_SRC_RUNTIME_REQUEST_CONTEXT_IMPL_H_
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "include/cef_request_context.h"
#include "core/preference_store.h"

namespace cef_internal {

class CefRequestContextImpl : public CefRequestContext {
 public:
  // The implementation behind |context|; null |context| stands for the
  // global context (null itself before CefInitialize / after CefShutdown).
  static CefRequestContextImpl* From(CefRefPtr<CefRequestContext> context);

  // Runtime use: the global context is made by CefInitialize() and
  // dropped by CefShutdown().
  static void CreateGlobal(const std::string& cache_path_utf8);
  static void DestroyGlobal();

  // Every context alive now (test driver and shutdown). Any thread.
  static std::vector<CefRefPtr<CefRequestContextImpl>> LiveContexts();

  // IO-thread accessors; any thread, thread-safe.

  // A copy of the "proxy" preference (an empty dictionary when unset).
  CefRefPtr<CefDictionaryValue> ProxySettings();

  // The factory registered for |scheme| (lower case) and |host|: an exact
  // host registration first, then the scheme's any-host one; null when
  // none.
  CefRefPtr<CefSchemeHandlerFactory> FindSchemeHandlerFactory(const std::string& scheme,
                                                              const std::string& host);

  // The preferences of this context (test driver).
  PreferenceStore& preferences() { return *preferences_; }

  // Storage identity: contexts made from another share it.
  const std::string& storage_key() const { return storage_->key; }

  // CefPreferenceManager (UI thread).
  bool HasPreference(const CefString& name) override;
  CefRefPtr<CefValue> GetPreference(const CefString& name) override;
  CefRefPtr<CefDictionaryValue> GetAllPreferences(bool include_defaults) override;
  bool CanSetPreference(const CefString& name) override;
  bool SetPreference(const CefString& name, CefRefPtr<CefValue> value, CefString& error) override;
  CefRefPtr<CefRegistration> AddPreferenceObserver(
      const CefString& name,
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

  // Storage shared between contexts made from one another.
  struct Storage {
    std::string key;         // cache path, or a unique id for in-memory storage
    std::string cache_path;  // UTF-8; empty = in memory
  };

  CefRequestContextImpl(std::shared_ptr<Storage> storage,
                        bool global,
                        CefRefPtr<CefRequestContextHandler> handler);

 private:
  ~CefRequestContextImpl() override;

  const std::shared_ptr<Storage> storage_;
  const bool global_;
  const CefRefPtr<CefRequestContextHandler> handler_;
  const std::unique_ptr<PreferenceStore> preferences_;

  // Guards factories_, read by the IO thread and written from any thread.
  std::mutex factories_mutex_;
  // (scheme, host) -> factory; host "" matches every host.
  std::map<std::pair<std::string, std::string>, CefRefPtr<CefSchemeHandlerFactory>> factories_;

  IMPLEMENT_REFCOUNTING(CefRequestContextImpl);
};

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_REQUEST_CONTEXT_IMPL_H_
