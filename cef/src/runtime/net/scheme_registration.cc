// The global scheme handler factory functions: shorthands for the global
// request context.
#include "include/cef_request_context.h"
#include "include/cef_scheme.h"

bool CefRegisterSchemeHandlerFactory(const CefString& scheme_name,
                                     const CefString& domain_name,
                                     CefRefPtr<CefSchemeHandlerFactory> factory) {
  CefRefPtr<CefRequestContext> global = CefRequestContext::GetGlobalContext();
  return global && global->RegisterSchemeHandlerFactory(scheme_name, domain_name, factory);
}

bool CefClearSchemeHandlerFactories() {
  CefRefPtr<CefRequestContext> global = CefRequestContext::GetGlobalContext();
  return global && global->ClearSchemeHandlerFactories();
}
