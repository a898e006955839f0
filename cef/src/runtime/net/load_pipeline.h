// The one road every load takes: browser navigations and sub-resources,
// and CefURLRequest. On the IO thread, in CEF's order:
//   1. the browser client's CefRequestHandler::GetResourceRequestHandler,
//      else the context handler's (browser loads; URL requests ask only the
//      context handler);
//   2. CefResourceRequestHandler::OnBeforeResourceLoad (continue, cancel,
//      or later through its callback; header changes travel with the load);
//   3. CefResourceRequestHandler::GetResourceHandler, else the scheme
//      handler factory registered on the context for the URL's scheme and
//      host, driving the CefResourceHandler (Open/ProcessRequest,
//      GetResponseHeaders, Skip, Read/ReadResponse, Cancel);
//   4. otherwise a real HTTP/1.1 exchange, direct or through the context's
//      "proxy" preference, with 401/407 Basic challenges put to the client.
// Redirects are followed (OnResourceRedirect) unless UR_FLAG_STOP_ON_REDIRECT
// is set; each hop passes steps 2 to 4 again.
#ifndef CEF_SRC_RUNTIME_NET_LOAD_PIPELINE_H_
#define CEF_SRC_RUNTIME_NET_LOAD_PIPELINE_H_
#pragma once

#include <string>

#include "include/cef_auth_callback.h"
#include "include/cef_browser.h"
#include "include/cef_frame.h"
#include "include/cef_request.h"
#include "include/cef_request_context.h"
#include "include/cef_request_handler.h"
#include "include/cef_response.h"

namespace cef_internal {

struct LoadParams {
  // Null for loads that no browser makes (CefURLRequest).
  CefRefPtr<CefBrowser> browser;
  CefRefPtr<CefFrame> frame;
  // The browser client's request handler (CefClient::GetRequestHandler);
  // may be null.
  CefRefPtr<CefRequestHandler> request_handler;
  // The browser's context; null means the global context.
  CefRefPtr<CefRequestContext> request_context;
  // Copied when the load starts; the hooks see and may change the copy.
  CefRefPtr<CefRequest> request;
  bool is_navigation = false;
  bool is_download = false;
  CefString request_initiator;  // origin of the page that asked, if any
  cef_resource_type_t resource_type = RT_SUB_RESOURCE;
  cef_transition_type_t transition_type = TT_EXPLICIT;
};

// Told what happens to one load. Every method except GetAuthCredentials
// runs on the thread that called StartLoad (when that thread has a task
// queue; the IO thread otherwise), in this order: OnLoadRedirect*,
// OnLoadResponse, OnLoadData*, OnLoadComplete. A delegate on another thread
// that falls behind holds its load back: with a few MiB handed to it and not
// yet taken, the load stops reading (socket or handler) until it catches up.
class LoadDelegate : public virtual CefBaseRefCounted {
 public:
  // The load moves to |new_url| (a server or handler redirect, or a URL
  // changed in OnBeforeResourceLoad). |response| is the redirect response,
  // null for a changed URL. To refuse it, cancel the load.
  virtual void OnLoadRedirect(CefRefPtr<CefRequest> request,
                              CefRefPtr<CefResponse> response,
                              const CefString& new_url) {}

  // Headers of the final response (read-only).
  virtual void OnLoadResponse(CefRefPtr<CefResponse> response) {}

  virtual void OnLoadData(const void* data, size_t size) {}

  // The last call. ERR_NONE on success (whatever the HTTP status),
  // ERR_ABORTED when cancelled, another net error on failure. |response| is
  // the final response, or null when none arrived.
  virtual void OnLoadComplete(cef_errorcode_t error, CefRefPtr<CefResponse> response) = 0;

  // IO thread. A challenge for a load without a browser (browser loads ask
  // the request handler instead). True when |callback| has been or will be
  // run; false cancels the load.
  virtual bool GetAuthCredentials(bool isProxy,
                                  const CefString& host,
                                  int port,
                                  const CefString& realm,
                                  const CefString& scheme,
                                  CefRefPtr<CefAuthCallback> callback) {
    return false;
  }
};

// A running load. Cancel() from any thread: a handler still serving it gets
// CefResourceHandler::Cancel, its socket is closed, and the delegate
// receives OnLoadComplete(ERR_ABORTED) unless the load had already ended.
// Once Cancel() has returned, a load not yet started never starts, and no
// new exchange begins.
class LoadHandle : public virtual CefBaseRefCounted {
 public:
  virtual void Cancel() = 0;
  // Unique per process (also CefRequest::GetIdentifier of the load).
  virtual uint64_t identifier() = 0;
};

// Starts a load. Any thread. Returns null when the runtime is not running.
CefRefPtr<LoadHandle> StartLoad(const LoadParams& params, CefRefPtr<LoadDelegate> delegate);

// Loads that have started and not completed (any thread).
int LiveLoadCount();

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_NET_LOAD_PIPELINE_H_
