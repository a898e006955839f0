// The stand-in's CefRequest, CefPostData and CefPostDataElement: plain,
// lock-guarded data objects that a load freezes (read-only) once it starts.
#ifndef CEF_SRC_CORE_NET_REQUEST_IMPL_H_
#define CEF_SRC_CORE_NET_REQUEST_IMPL_H_
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "include/cef_request.h"

namespace cef_internal {

// ASCII case-insensitive equality of header names.
bool HeaderNameEquals(const CefString& a, const CefString& b);

// First value of |name| in |map| (case-insensitive), or empty.
CefString FindHeader(const std::multimap<CefString, CefString>& map, const CefString& name);

// CEF's SetHeaderByName on a plain map: with |overwrite| every value of the
// name is dropped and the new one added; without it an existing header wins.
void SetHeader(std::multimap<CefString, CefString>& map, const CefString& name, const CefString& value, bool overwrite);

class CefPostDataElementImpl : public CefPostDataElement {
 public:
  CefPostDataElementImpl() = default;

  bool IsReadOnly() override;
  void SetToEmpty() override;
  void SetToFile(const CefString& fileName) override;
  void SetToBytes(size_t size, const void* bytes) override;
  Type GetType() override;
  CefString GetFile() override;
  size_t GetBytesCount() override;
  size_t GetBytes(size_t size, void* bytes) override;

  void SetReadOnly();

 private:
  std::mutex lock_;  // guards every field below
  Type type_ = PDE_TYPE_EMPTY;
  std::string bytes_;
  CefString file_;
  bool read_only_ = false;

  IMPLEMENT_REFCOUNTING(CefPostDataElementImpl);
};

class CefPostDataImpl : public CefPostData {
 public:
  CefPostDataImpl() = default;

  bool IsReadOnly() override;
  bool HasExcludedElements() override;
  size_t GetElementCount() override;
  void GetElements(ElementVector& elements) override;
  bool RemoveElement(CefRefPtr<CefPostDataElement> element) override;
  bool AddElement(CefRefPtr<CefPostDataElement> element) override;
  void RemoveElements() override;

  // Freezes this object and every element.
  void SetReadOnly();

 private:
  std::mutex lock_;  // guards elements_ and read_only_
  ElementVector elements_;
  bool read_only_ = false;

  IMPLEMENT_REFCOUNTING(CefPostDataImpl);
};

class CefRequestImpl : public CefRequest {
 public:
  CefRequestImpl();

  bool IsReadOnly() override;
  CefString GetURL() override;
  void SetURL(const CefString& url) override;
  CefString GetMethod() override;
  void SetMethod(const CefString& method) override;
  void SetReferrer(const CefString& referrer_url, ReferrerPolicy policy) override;
  CefString GetReferrerURL() override;
  ReferrerPolicy GetReferrerPolicy() override;
  CefRefPtr<CefPostData> GetPostData() override;
  void SetPostData(CefRefPtr<CefPostData> postData) override;
  void GetHeaderMap(HeaderMap& headerMap) override;
  void SetHeaderMap(const HeaderMap& headerMap) override;
  CefString GetHeaderByName(const CefString& name) override;
  void SetHeaderByName(const CefString& name, const CefString& value, bool overwrite) override;
  void Set(const CefString& url,
           const CefString& method,
           CefRefPtr<CefPostData> postData,
           const HeaderMap& headerMap) override;
  int GetFlags() override;
  void SetFlags(int flags) override;
  CefString GetFirstPartyForCookies() override;
  void SetFirstPartyForCookies(const CefString& url) override;
  ResourceType GetResourceType() override;
  TransitionType GetTransitionType() override;
  uint64_t GetIdentifier() override;

  // Runtime side, not part of the public interface. These work on read-only
  // requests too.
  void SetReadOnly();  // also freezes the post data
  void SetResourceType(ResourceType type);
  void SetTransitionType(TransitionType type);
  // Gives the request the next process-wide identifier if it has none.
  uint64_t AssignIdentifier();

  // A writable deep copy of any CefRequest (post data included).
  static CefRefPtr<CefRequestImpl> CopyOf(CefRefPtr<CefRequest> request);

 private:
  std::mutex lock_;  // guards every field below
  CefString url_;
  CefString method_;
  CefString referrer_url_;
  ReferrerPolicy referrer_policy_ = REFERRER_POLICY_DEFAULT;
  CefRefPtr<CefPostData> post_data_;
  HeaderMap headers_;
  int flags_ = UR_FLAG_NONE;
  CefString first_party_;
  ResourceType resource_type_ = RT_SUB_RESOURCE;
  TransitionType transition_type_ = TT_EXPLICIT;
  uint64_t identifier_ = 0;
  bool read_only_ = false;

  IMPLEMENT_REFCOUNTING(CefRequestImpl);
};

// The upload body: every element in order, bytes copied, files read, empty
// elements contributing nothing. False when a file cannot be read.
bool FlattenPostData(CefRefPtr<CefPostData> post_data, std::string& out);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_NET_REQUEST_IMPL_H_
