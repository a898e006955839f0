#include "core/net_response_impl.h"

#include "core/net_request_impl.h"

namespace cef_internal {

bool CefResponseImpl::IsReadOnly() {
  std::lock_guard<std::mutex> guard(lock_);
  return read_only_;
}

cef_errorcode_t CefResponseImpl::GetError() {
  std::lock_guard<std::mutex> guard(lock_);
  return error_;
}

void CefResponseImpl::SetError(cef_errorcode_t error) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_)
    error_ = error;
}

int CefResponseImpl::GetStatus() {
  std::lock_guard<std::mutex> guard(lock_);
  return status_;
}

void CefResponseImpl::SetStatus(int status) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_)
    status_ = status;
}

CefString CefResponseImpl::GetStatusText() {
  std::lock_guard<std::mutex> guard(lock_);
  return status_text_;
}

void CefResponseImpl::SetStatusText(const CefString& statusText) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_)
    status_text_ = statusText;
}

CefString CefResponseImpl::GetMimeType() {
  std::lock_guard<std::mutex> guard(lock_);
  return mime_type_;
}

void CefResponseImpl::SetMimeType(const CefString& mimeType) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_)
    mime_type_ = mimeType;
}

CefString CefResponseImpl::GetCharset() {
  std::lock_guard<std::mutex> guard(lock_);
  return charset_;
}

void CefResponseImpl::SetCharset(const CefString& charset) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_)
    charset_ = charset;
}

CefString CefResponseImpl::GetHeaderByName(const CefString& name) {
  std::lock_guard<std::mutex> guard(lock_);
  return FindHeader(headers_, name);
}

void CefResponseImpl::SetHeaderByName(const CefString& name, const CefString& value, bool overwrite) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_ && !name.empty())
    SetHeader(headers_, name, value, overwrite);
}

void CefResponseImpl::GetHeaderMap(HeaderMap& headerMap) {
  std::lock_guard<std::mutex> guard(lock_);
  headerMap = headers_;
}

void CefResponseImpl::SetHeaderMap(const HeaderMap& headerMap) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_)
    headers_ = headerMap;
}

CefString CefResponseImpl::GetURL() {
  std::lock_guard<std::mutex> guard(lock_);
  return url_;
}

void CefResponseImpl::SetURL(const CefString& url) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_)
    url_ = url;
}

void CefResponseImpl::SetReadOnly() {
  std::lock_guard<std::mutex> guard(lock_);
  read_only_ = true;
}

CefRefPtr<CefResponseImpl> CefResponseImpl::CopyOf(CefRefPtr<CefResponse> response) {
  CefRefPtr<CefResponseImpl> copy = new CefResponseImpl();
  if (!response)
    return copy;
  copy->error_ = response->GetError();
  copy->status_ = response->GetStatus();
  copy->status_text_ = response->GetStatusText();
  copy->mime_type_ = response->GetMimeType();
  copy->charset_ = response->GetCharset();
  response->GetHeaderMap(copy->headers_);
  copy->url_ = response->GetURL();
  return copy;
}

}  // namespace cef_internal

CefRefPtr<CefResponse> CefResponse::Create() {
  return new cef_internal::CefResponseImpl();
}
