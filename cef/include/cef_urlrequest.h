// Requests made by the application itself, outside any browser.
#ifndef CEF_INCLUDE_CEF_URLREQUEST_H_
#define CEF_INCLUDE_CEF_URLREQUEST_H_
#pragma once

#include "include/cef_auth_callback.h"
#include "include/cef_base.h"
#include "include/cef_request.h"
#include "include/cef_response.h"

class CefRequestContext;
class CefURLRequestClient;

// A request sent through the network stack of a request context. Created
// on the browser process's UI or IO thread; the client is called back on
// the creating thread.
class CefURLRequest : public virtual CefBaseRefCounted {
 public:
  typedef cef_urlrequest_status_t Status;
  typedef cef_errorcode_t ErrorCode;

  // |request| becomes read-only. Null |request_context| means the global
  // context. Returns null when no request could be started.
  static CefRefPtr<CefURLRequest> Create(CefRefPtr<CefRequest> request,
                                         CefRefPtr<CefURLRequestClient> client,
                                         CefRefPtr<CefRequestContext> request_context);

  virtual CefRefPtr<CefRequest> GetRequest() = 0;
  virtual CefRefPtr<CefURLRequestClient> GetClient() = 0;
  virtual Status GetRequestStatus() = 0;
  // Non-zero only when the status is UR_CANCELED or UR_FAILED.
  virtual ErrorCode GetRequestError() = 0;
  // Null until the response headers have arrived; read-only.
  virtual CefRefPtr<CefResponse> GetResponse() = 0;
  virtual bool ResponseWasCached() = 0;
  virtual void Cancel() = 0;
};

// Receives the progress and results of a CefURLRequest on the thread that
// created it, except GetAuthCredentials (IO thread).
class CefURLRequestClient : public virtual CefBaseRefCounted {
 public:
  virtual void OnRequestComplete(CefRefPtr<CefURLRequest> request) = 0;

  virtual void OnUploadProgress(CefRefPtr<CefURLRequest> request, int64_t current, int64_t total) = 0;

  virtual void OnDownloadProgress(CefRefPtr<CefURLRequest> request, int64_t current, int64_t total) = 0;

  virtual void OnDownloadData(CefRefPtr<CefURLRequest> request, const void* data, size_t data_length) = 0;

  // True when |callback| has been or will be continued; false cancels.
  virtual bool GetAuthCredentials(bool isProxy,
                                  const CefString& host,
                                  int port,
                                  const CefString& realm,
                                  const CefString& scheme,
                                  CefRefPtr<CefAuthCallback> callback) = 0;
};

#endif  // CEF_INCLUDE_CEF_URLREQUEST_H_
