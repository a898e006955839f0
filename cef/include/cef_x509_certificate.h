// An X.509 certificate. This runtime has no TLS, so none is ever produced;
// the type exists for the handler signatures that mention it.
#ifndef CEF_INCLUDE_CEF_X509_CERTIFICATE_H_
#define CEF_INCLUDE_CEF_X509_CERTIFICATE_H_
#pragma once

#include "include/cef_base.h"

class CefX509Certificate : public virtual CefBaseRefCounted {
 public:
  virtual size_t GetIssuerChainSize() = 0;
};

#endif  // CEF_INCLUDE_CEF_X509_CERTIFICATE_H_
