// Handler of one request context.
#ifndef CEF_INCLUDE_CEF_REQUEST_CONTEXT_HANDLER_H_
#define CEF_INCLUDE_CEF_REQUEST_CONTEXT_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"
#include "include/cef_request.h"
#include "include/cef_resource_request_handler.h"

class CefRequestContext;

// Implemented by the application; methods run on the threads named.
class CefRequestContextHandler : public virtual CefBaseRefCounted {
 public:
  // UI thread, once |request_context| is ready; per-context preferences
  // are set here.
  virtual void OnRequestContextInitialized(CefRefPtr<CefRequestContext> request_context) {}

  // IO thread. Asked for requests whose browser client returned no handler
  // of its own; |browser| and |frame| are null for requests not made by a
  // browser. Set |disable_default_handling| to fail requests nobody handles.
  virtual CefRefPtr<CefResourceRequestHandler> GetResourceRequestHandler(CefRefPtr<CefBrowser> browser,
                                                                         CefRefPtr<CefFrame> frame,
                                                                         CefRefPtr<CefRequest> request,
                                                                         bool is_navigation,
                                                                         bool is_download,
                                                                         const CefString& request_initiator,
                                                                         bool& disable_default_handling) {
    return nullptr;
  }
};

#endif  // CEF_INCLUDE_CEF_REQUEST_CONTEXT_HANDLER_H_
