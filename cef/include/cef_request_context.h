// Request contexts: the storage, network settings and preferences that a
// group of browsers shares.
#ifndef CEF_INCLUDE_CEF_REQUEST_CONTEXT_H_
#define CEF_INCLUDE_CEF_REQUEST_CONTEXT_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_preference.h"
#include "include/cef_request_context_handler.h"
#include "include/cef_scheme.h"
#include "include/internal/cef_types_wrappers.h"

class CefRequestContextHandler;

// Library-side object; methods may be called on any browser-process thread
// unless stated otherwise. The preference methods inherited from
// CefPreferenceManager belong to the UI thread.
class CefRequestContext : public CefPreferenceManager {
 public:
  // The context of the global profile (CefSettings.cache_path). Valid from
  // CefInitialize() until CefShutdown().
  static CefRefPtr<CefRequestContext> GetGlobalContext();

  // A new context. Its handler's OnRequestContextInitialized runs later on
  // the UI thread, once the context is ready.
  static CefRefPtr<CefRequestContext> CreateContext(const CefRequestContextSettings& settings,
                                                    CefRefPtr<CefRequestContextHandler> handler);

  // A new context sharing storage with |other|.
  static CefRefPtr<CefRequestContext> CreateContext(CefRefPtr<CefRequestContext> other,
                                                    CefRefPtr<CefRequestContextHandler> handler);

  // True when |other| is this very context (or both are the global one).
  virtual bool IsSame(CefRefPtr<CefRequestContext> other) = 0;

  // True when both contexts share the same storage.
  virtual bool IsSharingWith(CefRefPtr<CefRequestContext> other) = 0;

  virtual bool IsGlobal() = 0;

  virtual CefRefPtr<CefRequestContextHandler> GetHandler() = 0;

  // The cache directory; empty for an in-memory context.
  virtual CefString GetCachePath() = 0;

  // Registers |factory| for |scheme_name| requests to |domain_name| (every
  // host when empty) made in this context. A null factory removes the
  // registration. Returns false when the scheme name is empty.
  virtual bool RegisterSchemeHandlerFactory(const CefString& scheme_name,
                                            const CefString& domain_name,
                                            CefRefPtr<CefSchemeHandlerFactory> factory) = 0;

  virtual bool ClearSchemeHandlerFactories() = 0;
};

#endif  // CEF_INCLUDE_CEF_REQUEST_CONTEXT_H_
