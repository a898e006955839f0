// Browser-level request hooks.
#ifndef CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
#define CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
#pragma once

#include <vector>

#include "include/cef_auth_callback.h"
#include "include/cef_base.h"
#include "include/cef_callback.h"
#include "include/cef_request.h"
#include "include/cef_resource_request_handler.h"
#include "include/cef_ssl_info.h"
#include "include/cef_unresponsive_process_callback.h"
#include "include/cef_x509_certificate.h"

class CefBrowser;
class CefFrame;

// Chooses a client certificate. Any thread.
class CefSelectClientCertificateCallback : public virtual CefBaseRefCounted {
 public:
  virtual void Select(CefRefPtr<CefX509Certificate> cert) = 0;
};

// Thread noted per method.
class CefRequestHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_termination_status_t TerminationStatus;
  typedef std::vector<CefRefPtr<CefX509Certificate>> X509CertificateList;

  // UI thread. True cancels the navigation; |request| is read-only.
  virtual bool OnBeforeBrowse(CefRefPtr<CefBrowser> browser,
                              CefRefPtr<CefFrame> frame,
                              CefRefPtr<CefRequest> request,
                              bool user_gesture,
                              bool is_redirect) {
    return false;
  }

  // IO thread. Null asks the request context's handler next.
  virtual CefRefPtr<CefResourceRequestHandler> GetResourceRequestHandler(CefRefPtr<CefBrowser> browser,
                                                                         CefRefPtr<CefFrame> frame,
                                                                         CefRefPtr<CefRequest> request,
                                                                         bool is_navigation,
                                                                         bool is_download,
                                                                         const CefString& request_initiator,
                                                                         bool& disable_default_handling) {
    return nullptr;
  }

  // IO thread. A server or proxy asks for credentials. True when |callback|
  // has been or will be continued; false cancels the request. |realm| and
  // |scheme| may be empty.
  virtual bool GetAuthCredentials(CefRefPtr<CefBrowser> browser,
                                  const CefString& origin_url,
                                  bool isProxy,
                                  const CefString& host,
                                  int port,
                                  const CefString& realm,
                                  const CefString& scheme,
                                  CefRefPtr<CefAuthCallback> callback) {
    return false;
  }

  // UI thread. True when |callback| will decide; false cancels the request.
  virtual bool OnCertificateError(CefRefPtr<CefBrowser> browser,
                                  cef_errorcode_t cert_error,
                                  const CefString& request_url,
                                  CefRefPtr<CefSSLInfo> ssl_info,
                                  CefRefPtr<CefCallback> callback) {
    return false;
  }

  // UI thread.
  virtual bool OnSelectClientCertificate(CefRefPtr<CefBrowser> browser,
                                         bool isProxy,
                                         const CefString& host,
                                         int port,
                                         const X509CertificateList& certificates,
                                         CefRefPtr<CefSelectClientCertificateCallback> callback) {
    return false;
  }

  // UI thread.
  virtual void OnRenderViewReady(CefRefPtr<CefBrowser> browser) {}

  // UI thread. True when |callback| will decide; false lets the default
  // handling run.
  virtual bool OnRenderProcessUnresponsive(CefRefPtr<CefBrowser> browser,
                                           CefRefPtr<CefUnresponsiveProcessCallback> callback) {
    return false;
  }

  virtual void OnRenderProcessResponsive(CefRefPtr<CefBrowser> browser) {}

  virtual void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser,
                                         TerminationStatus status,
                                         int error_code,
                                         const CefString& error_string) {}

  virtual void OnDocumentAvailableInMainFrame(CefRefPtr<CefBrowser> browser) {}
};

#endif  // CEF_INCLUDE_CEF_REQUEST_HANDLER_H_
