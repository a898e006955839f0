// Certificate details of a secure connection.
#ifndef CEF_INCLUDE_CEF_SSL_INFO_H_
#define CEF_INCLUDE_CEF_SSL_INFO_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_x509_certificate.h"
#include "include/internal/cef_types_net.h"

class CefSSLInfo : public virtual CefBaseRefCounted {
 public:
  virtual cef_cert_status_t GetCertStatus() = 0;
  virtual CefRefPtr<CefX509Certificate> GetX509Certificate() = 0;
};

#endif  // CEF_INCLUDE_CEF_SSL_INFO_H_
