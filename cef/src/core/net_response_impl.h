// The stand-in's CefResponse.
#ifndef CEF_SRC_CORE_NET_RESPONSE_IMPL_H_
#define CEF_SRC_CORE_NET_RESPONSE_IMPL_H_
#pragma once

#include <mutex>

#include "include/cef_response.h"

namespace cef_internal {

class CefResponseImpl : public CefResponse {
 public:
  CefResponseImpl() = default;

  bool IsReadOnly() override;
  cef_errorcode_t GetError() override;
  void SetError(cef_errorcode_t error) override;
  int GetStatus() override;
  void SetStatus(int status) override;
  CefString GetStatusText() override;
  void SetStatusText(const CefString& statusText) override;
  CefString GetMimeType() override;
  void SetMimeType(const CefString& mimeType) override;
  CefString GetCharset() override;
  void SetCharset(const CefString& charset) override;
  CefString GetHeaderByName(const CefString& name) override;
  void SetHeaderByName(const CefString& name, const CefString& value, bool overwrite) override;
  void GetHeaderMap(HeaderMap& headerMap) override;
  void SetHeaderMap(const HeaderMap& headerMap) override;
  CefString GetURL() override;
  void SetURL(const CefString& url) override;

  void SetReadOnly();

  // A writable copy of any CefResponse.
  static CefRefPtr<CefResponseImpl> CopyOf(CefRefPtr<CefResponse> response);

 private:
  std::mutex lock_;  // guards every field below
  cef_errorcode_t error_ = ERR_NONE;
  int status_ = 0;
  CefString status_text_;
  CefString mime_type_;
  CefString charset_;
  HeaderMap headers_;
  CefString url_;
  bool read_only_ = false;

  IMPLEMENT_REFCOUNTING(CefResponseImpl);
};

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_NET_RESPONSE_IMPL_H_
