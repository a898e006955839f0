// CefRequest, CefPostData and CefResponse as data objects.
#include <gtest/gtest.h>

#include "core/net_request_impl.h"
#include "core/net_response_impl.h"
#include "include/cef_request.h"
#include "include/cef_response.h"

namespace {

TEST(CefRequest, HeadersMatchNamesWithoutCase) {
  CefRefPtr<CefRequest> request = CefRequest::Create();
  CefRequest::HeaderMap map{{"Accept", "a"}, {"X-Multi", "1"}, {"x-multi", "2"}, {"Referer", "http://r/"}};
  request->SetHeaderMap(map);
  CefRequest::HeaderMap back;
  request->GetHeaderMap(back);
  EXPECT_EQ(back.size(), 3u);  // Referer is never part of the map
  EXPECT_EQ(request->GetHeaderByName("ACCEPT").ToString(), "a");
  EXPECT_EQ(request->GetHeaderByName("referer").ToString(), "");

  request->SetHeaderByName("accept", "b", false);  // existing value wins
  EXPECT_EQ(request->GetHeaderByName("Accept").ToString(), "a");
  request->SetHeaderByName("X-MULTI", "3", true);  // replaces every value
  request->GetHeaderMap(back);
  EXPECT_EQ(back.count("X-MULTI"), 1u);
  EXPECT_EQ(back.count("X-Multi") + back.count("x-multi"), 0u);
  request->SetHeaderByName("Referer", "http://x/", true);
  EXPECT_EQ(request->GetHeaderByName("Referer").ToString(), "");
}

TEST(CefRequest, MethodFollowsPostDataAndReadOnlyFreezesEverything) {
  CefRefPtr<CefRequest> request = CefRequest::Create();
  EXPECT_EQ(request->GetMethod().ToString(), "GET");
  CefRefPtr<CefPostData> post = CefPostData::Create();
  CefRefPtr<CefPostDataElement> element = CefPostDataElement::Create();
  element->SetToBytes(3, "abc");
  EXPECT_TRUE(post->AddElement(element));
  EXPECT_FALSE(post->AddElement(element));
  request->SetPostData(post);
  EXPECT_EQ(request->GetMethod().ToString(), "POST");

  static_cast<cef_internal::CefRequestImpl*>(request.get())->SetReadOnly();
  request->SetURL("http://changed/");
  request->SetHeaderByName("X", "y", true);
  request->SetFlags(UR_FLAG_SKIP_CACHE);
  EXPECT_TRUE(request->GetURL().empty());
  EXPECT_TRUE(request->GetHeaderByName("X").empty());
  EXPECT_EQ(request->GetFlags(), 0);
  EXPECT_TRUE(post->IsReadOnly());
  EXPECT_FALSE(post->AddElement(CefPostDataElement::Create()));
  element->SetToBytes(1, "z");
  char buffer[8] = {};
  EXPECT_EQ(element->GetBytes(sizeof(buffer), buffer), 3u);
  EXPECT_STREQ(buffer, "abc");
}

TEST(CefRequest, CopiesAreDeepAndFlattenKeepsByteOrder) {
  CefRefPtr<CefRequest> request = CefRequest::Create();
  CefRefPtr<CefPostData> post = CefPostData::Create();
  for (const char* part : {"one", "", "two"}) {
    CefRefPtr<CefPostDataElement> e = CefPostDataElement::Create();
    if (*part)
      e->SetToBytes(strlen(part), part);
    post->AddElement(e);
  }
  request->Set("http://h/p", "PUT", post, {{"A", "1"}});
  request->SetReferrer("http://ref/", REFERRER_POLICY_ORIGIN);
  auto copy = cef_internal::CefRequestImpl::CopyOf(request);
  request->SetHeaderByName("A", "2", true);
  EXPECT_EQ(copy->GetHeaderByName("A").ToString(), "1");
  EXPECT_EQ(copy->GetMethod().ToString(), "PUT");
  EXPECT_EQ(copy->GetReferrerURL().ToString(), "http://ref/");
  EXPECT_NE(copy->GetPostData().get(), post.get());
  std::string body;
  EXPECT_TRUE(cef_internal::FlattenPostData(copy->GetPostData(), body));
  EXPECT_EQ(body, "onetwo");

  CefRefPtr<CefPostDataElement> missing = CefPostDataElement::Create();
  missing->SetToFile("Z:\\no\\such\\file.bin");
  CefRefPtr<CefPostData> bad = CefPostData::Create();
  bad->AddElement(missing);
  EXPECT_FALSE(cef_internal::FlattenPostData(bad, body));
}

TEST(CefRequest, IdentifiersAreUniqueAndStable) {
  cef_internal::CefRequestImpl a, b;
  uint64_t first = a.AssignIdentifier();
  EXPECT_NE(first, 0u);
  EXPECT_EQ(a.AssignIdentifier(), first);
  EXPECT_NE(b.AssignIdentifier(), first);
}

TEST(CefResponse, FieldsAndReadOnly) {
  CefRefPtr<CefResponse> response = CefResponse::Create();
  response->SetStatus(206);
  response->SetHeaderMap({{"Content-Range", "bytes 0-1/2"}});
  response->SetHeaderByName("content-range", "bytes 0-0/2", false);
  EXPECT_EQ(response->GetHeaderByName("CONTENT-RANGE").ToString(), "bytes 0-1/2");
  static_cast<cef_internal::CefResponseImpl*>(response.get())->SetReadOnly();
  response->SetStatus(500);
  response->SetError(ERR_FAILED);
  EXPECT_EQ(response->GetStatus(), 206);
  EXPECT_EQ(response->GetError(), ERR_NONE);
}

TEST(ErrorCodes, KeepChromiumNumbers) {
  EXPECT_EQ(ERR_FAILED, -2);
  EXPECT_EQ(ERR_ABORTED, -3);
  EXPECT_EQ(ERR_CONNECTION_REFUSED, -102);
  EXPECT_EQ(ERR_PROXY_CONNECTION_FAILED, -130);
  EXPECT_EQ(ERR_INVALID_URL, -300);
  EXPECT_EQ(ERR_UNEXPECTED_PROXY_AUTH, -323);
  EXPECT_EQ(ERR_CACHE_MISS, -400);
  EXPECT_EQ(UR_FLAG_STOP_ON_REDIRECT | UR_FLAG_SKIP_CACHE, 0x81);
}

}  // namespace
