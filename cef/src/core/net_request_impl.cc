#include "core/net_request_impl.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/url_canon.h"

namespace cef_internal {

namespace {

char16_t LowerAscii(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool IsReferer(const CefString& name) {
  return HeaderNameEquals(name, CefString("Referer"));
}

std::atomic<uint64_t> g_next_identifier{1};

}  // namespace

bool HeaderNameEquals(const CefString& a, const CefString& b) {
  if (a.length() != b.length())
    return false;
  const char16_t* pa = a.c_str();
  const char16_t* pb = b.c_str();
  for (size_t i = 0; i < a.length(); ++i) {
    if (LowerAscii(pa[i]) != LowerAscii(pb[i]))
      return false;
  }
  return true;
}

CefString FindHeader(const std::multimap<CefString, CefString>& map, const CefString& name) {
  for (const auto& [key, value] : map) {
    if (HeaderNameEquals(key, name))
      return value;
  }
  return CefString();
}

void SetHeader(std::multimap<CefString, CefString>& map,
               const CefString& name,
               const CefString& value,
               bool overwrite) {
  for (auto it = map.begin(); it != map.end();) {
    if (HeaderNameEquals(it->first, name)) {
      if (!overwrite)
        return;
      it = map.erase(it);
    } else {
      ++it;
    }
  }
  map.emplace(name, value);
}

// CefPostDataElementImpl

bool CefPostDataElementImpl::IsReadOnly() {
  std::lock_guard<std::mutex> guard(lock_);
  return read_only_;
}

void CefPostDataElementImpl::SetToEmpty() {
  std::lock_guard<std::mutex> guard(lock_);
  if (read_only_)
    return;
  type_ = PDE_TYPE_EMPTY;
  bytes_.clear();
  file_.clear();
}

void CefPostDataElementImpl::SetToFile(const CefString& fileName) {
  std::lock_guard<std::mutex> guard(lock_);
  if (read_only_)
    return;
  type_ = PDE_TYPE_FILE;
  bytes_.clear();
  file_ = fileName;
}

void CefPostDataElementImpl::SetToBytes(size_t size, const void* bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  if (read_only_)
    return;
  type_ = PDE_TYPE_BYTES;
  file_.clear();
  if (bytes && size)
    bytes_.assign(static_cast<const char*>(bytes), size);
  else
    bytes_.clear();
}

CefPostDataElement::Type CefPostDataElementImpl::GetType() {
  std::lock_guard<std::mutex> guard(lock_);
  return type_;
}

CefString CefPostDataElementImpl::GetFile() {
  std::lock_guard<std::mutex> guard(lock_);
  return file_;
}

size_t CefPostDataElementImpl::GetBytesCount() {
  std::lock_guard<std::mutex> guard(lock_);
  return type_ == PDE_TYPE_BYTES ? bytes_.size() : 0;
}

size_t CefPostDataElementImpl::GetBytes(size_t size, void* bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  if (type_ != PDE_TYPE_BYTES || !bytes)
    return 0;
  size_t n = size < bytes_.size() ? size : bytes_.size();
  if (n)
    std::memcpy(bytes, bytes_.data(), n);
  return n;
}

void CefPostDataElementImpl::SetReadOnly() {
  std::lock_guard<std::mutex> guard(lock_);
  read_only_ = true;
}

// CefPostDataImpl

bool CefPostDataImpl::IsReadOnly() {
  std::lock_guard<std::mutex> guard(lock_);
  return read_only_;
}

bool CefPostDataImpl::HasExcludedElements() {
  return false;
}

size_t CefPostDataImpl::GetElementCount() {
  std::lock_guard<std::mutex> guard(lock_);
  return elements_.size();
}

void CefPostDataImpl::GetElements(ElementVector& elements) {
  std::lock_guard<std::mutex> guard(lock_);
  elements = elements_;
}

bool CefPostDataImpl::RemoveElement(CefRefPtr<CefPostDataElement> element) {
  std::lock_guard<std::mutex> guard(lock_);
  if (read_only_ || !element)
    return false;
  for (auto it = elements_.begin(); it != elements_.end(); ++it) {
    if (it->get() == element.get()) {
      elements_.erase(it);
      return true;
    }
  }
  return false;
}

bool CefPostDataImpl::AddElement(CefRefPtr<CefPostDataElement> element) {
  std::lock_guard<std::mutex> guard(lock_);
  if (read_only_ || !element)
    return false;
  for (const auto& existing : elements_) {
    if (existing.get() == element.get())
      return false;
  }
  elements_.push_back(element);
  return true;
}

void CefPostDataImpl::RemoveElements() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_)
    elements_.clear();
}

void CefPostDataImpl::SetReadOnly() {
  ElementVector elements;
  {
    std::lock_guard<std::mutex> guard(lock_);
    read_only_ = true;
    elements = elements_;
  }
  for (auto& element : elements) {
    if (auto* impl = dynamic_cast<CefPostDataElementImpl*>(element.get()))
      impl->SetReadOnly();
  }
}

// CefRequestImpl

CefRequestImpl::CefRequestImpl() : method_("GET") {}

bool CefRequestImpl::IsReadOnly() {
  std::lock_guard<std::mutex> guard(lock_);
  return read_only_;
}

CefString CefRequestImpl::GetURL() {
  std::lock_guard<std::mutex> guard(lock_);
  return url_;
}

void CefRequestImpl::SetURL(const CefString& url) {
  // Kept as a GURL: canonical, or empty when invalid.
  std::string canonical = CanonicalizeUrl(url.ToString());
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_)
    url_ = canonical;
}

CefString CefRequestImpl::GetMethod() {
  std::lock_guard<std::mutex> guard(lock_);
  return method_;
}

void CefRequestImpl::SetMethod(const CefString& method) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_)
    method_ = method;
}

void CefRequestImpl::SetReferrer(const CefString& referrer_url, ReferrerPolicy policy) {
  std::lock_guard<std::mutex> guard(lock_);
  if (read_only_)
    return;
  referrer_url_ = referrer_url;
  referrer_policy_ = policy;
}

CefString CefRequestImpl::GetReferrerURL() {
  std::lock_guard<std::mutex> guard(lock_);
  return referrer_url_;
}

CefRequest::ReferrerPolicy CefRequestImpl::GetReferrerPolicy() {
  std::lock_guard<std::mutex> guard(lock_);
  return referrer_policy_;
}

CefRefPtr<CefPostData> CefRequestImpl::GetPostData() {
  std::lock_guard<std::mutex> guard(lock_);
  return post_data_;
}

void CefRequestImpl::SetPostData(CefRefPtr<CefPostData> postData) {
  std::lock_guard<std::mutex> guard(lock_);
  if (read_only_)
    return;
  post_data_ = postData;
  if (post_data_ && method_ == CefString("GET"))
    method_ = "POST";
}

void CefRequestImpl::GetHeaderMap(HeaderMap& headerMap) {
  std::lock_guard<std::mutex> guard(lock_);
  headerMap = headers_;
}

void CefRequestImpl::SetHeaderMap(const HeaderMap& headerMap) {
  std::lock_guard<std::mutex> guard(lock_);
  if (read_only_)
    return;
  headers_.clear();
  for (const auto& entry : headerMap) {
    if (!IsReferer(entry.first))
      headers_.insert(entry);
  }
}

CefString CefRequestImpl::GetHeaderByName(const CefString& name) {
  std::lock_guard<std::mutex> guard(lock_);
  return FindHeader(headers_, name);
}

void CefRequestImpl::SetHeaderByName(const CefString& name, const CefString& value, bool overwrite) {
  std::lock_guard<std::mutex> guard(lock_);
  if (read_only_ || name.empty() || IsReferer(name))
    return;
  SetHeader(headers_, name, value, overwrite);
}

void CefRequestImpl::Set(const CefString& url,
                         const CefString& method,
                         CefRefPtr<CefPostData> postData,
                         const HeaderMap& headerMap) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (read_only_)
      return;
    url_ = CanonicalizeUrl(url.ToString());
    method_ = method;
    post_data_ = postData;
  }
  SetHeaderMap(headerMap);
}

int CefRequestImpl::GetFlags() {
  std::lock_guard<std::mutex> guard(lock_);
  return flags_;
}

void CefRequestImpl::SetFlags(int flags) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_)
    flags_ = flags;
}

CefString CefRequestImpl::GetFirstPartyForCookies() {
  std::lock_guard<std::mutex> guard(lock_);
  return first_party_;
}

void CefRequestImpl::SetFirstPartyForCookies(const CefString& url) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!read_only_)
    first_party_ = url;
}

CefRequest::ResourceType CefRequestImpl::GetResourceType() {
  std::lock_guard<std::mutex> guard(lock_);
  return resource_type_;
}

CefRequest::TransitionType CefRequestImpl::GetTransitionType() {
  std::lock_guard<std::mutex> guard(lock_);
  return transition_type_;
}

uint64_t CefRequestImpl::GetIdentifier() {
  std::lock_guard<std::mutex> guard(lock_);
  return identifier_;
}

void CefRequestImpl::SetReadOnly() {
  CefRefPtr<CefPostData> post_data;
  {
    std::lock_guard<std::mutex> guard(lock_);
    read_only_ = true;
    post_data = post_data_;
  }
  if (auto* impl = dynamic_cast<CefPostDataImpl*>(post_data.get()))
    impl->SetReadOnly();
}

void CefRequestImpl::SetResourceType(ResourceType type) {
  std::lock_guard<std::mutex> guard(lock_);
  resource_type_ = type;
}

void CefRequestImpl::SetTransitionType(TransitionType type) {
  std::lock_guard<std::mutex> guard(lock_);
  transition_type_ = type;
}

uint64_t CefRequestImpl::AssignIdentifier() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!identifier_)
    identifier_ = g_next_identifier.fetch_add(1);
  return identifier_;
}

CefRefPtr<CefRequestImpl> CefRequestImpl::CopyOf(CefRefPtr<CefRequest> request) {
  CefRefPtr<CefRequestImpl> copy = new CefRequestImpl();
  if (!request)
    return copy;
  HeaderMap headers;
  request->GetHeaderMap(headers);
  CefRefPtr<CefPostData> post_copy;
  if (CefRefPtr<CefPostData> post = request->GetPostData()) {
    post_copy = new CefPostDataImpl();
    CefPostData::ElementVector elements;
    post->GetElements(elements);
    for (auto& element : elements) {
      CefRefPtr<CefPostDataElement> e = new CefPostDataElementImpl();
      switch (element->GetType()) {
        case PDE_TYPE_BYTES: {
          std::string bytes(element->GetBytesCount(), '\0');
          element->GetBytes(bytes.size(), bytes.data());
          e->SetToBytes(bytes.size(), bytes.data());
          break;
        }
        case PDE_TYPE_FILE:
          e->SetToFile(element->GetFile());
          break;
        default:
          break;
      }
      post_copy->AddElement(e);
    }
  }
  copy->Set(request->GetURL(), request->GetMethod(), post_copy, headers);
  copy->SetReferrer(request->GetReferrerURL(), request->GetReferrerPolicy());
  copy->SetFlags(request->GetFlags());
  copy->SetFirstPartyForCookies(request->GetFirstPartyForCookies());
  copy->SetResourceType(request->GetResourceType());
  copy->SetTransitionType(request->GetTransitionType());
  {
    std::lock_guard<std::mutex> guard(copy->lock_);
    copy->identifier_ = request->GetIdentifier();
  }
  return copy;
}

bool FlattenPostData(CefRefPtr<CefPostData> post_data, std::string& out) {
  out.clear();
  if (!post_data)
    return true;
  CefPostData::ElementVector elements;
  post_data->GetElements(elements);
  for (auto& element : elements) {
    switch (element->GetType()) {
      case PDE_TYPE_BYTES: {
        size_t offset = out.size();
        out.resize(offset + element->GetBytesCount());
        out.resize(offset + element->GetBytes(out.size() - offset, out.data() + offset));
        break;
      }
      case PDE_TYPE_FILE: {
        std::ifstream file(std::filesystem::path(element->GetFile().ToWString()), std::ios::binary);
        if (!file)
          return false;
        out.append(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        break;
      }
      default:
        break;
    }
  }
  return true;
}

}  // namespace cef_internal

CefRefPtr<CefRequest> CefRequest::Create() {
  return new cef_internal::CefRequestImpl();
}

CefRefPtr<CefPostData> CefPostData::Create() {
  return new cef_internal::CefPostDataImpl();
}

CefRefPtr<CefPostDataElement> CefPostDataElement::Create() {
  return new cef_internal::CefPostDataElementImpl();
}
