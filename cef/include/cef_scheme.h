// Custom schemes and scheme handler factories.
#ifndef CEF_INCLUDE_CEF_SCHEME_H_
#define CEF_INCLUDE_CEF_SCHEME_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_request.h"
#include "include/cef_resource_handler.h"
#include "include/cef_response.h"
#include "include/internal/cef_types_net.h"

class CefBrowser;
class CefFrame;
class CefSchemeHandlerFactory;

// Registers a factory on the global request context. Empty |domain_name|
// matches every host (standard schemes); a null factory removes the entry.
bool CefRegisterSchemeHandlerFactory(const CefString& scheme_name,
                                     const CefString& domain_name,
                                     CefRefPtr<CefSchemeHandlerFactory> factory);

// Removes every factory of the global request context.
bool CefClearSchemeHandlerFactories();

// Handed to CefApp::OnRegisterCustomSchemes; valid only during that call.
class CefSchemeRegistrar : public CefBaseScoped {
 public:
  // |options| is a combination of cef_scheme_options_t. False when the
  // scheme is already registered or is a built-in one.
  virtual bool AddCustomScheme(const CefString& scheme_name, int options) = 0;
};

// Creates resource handlers for a scheme. Always called on the IO thread.
class CefSchemeHandlerFactory : public virtual CefBaseRefCounted {
 public:
  // |browser| and |frame| are null for requests that no browser made (for
  // instance CefURLRequest). |request| is read-only. Null means ordinary
  // loading.
  virtual CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser,
                                               CefRefPtr<CefFrame> frame,
                                               const CefString& scheme_name,
                                               CefRefPtr<CefRequest> request) = 0;
};

#endif  // CEF_INCLUDE_CEF_SCHEME_H_
