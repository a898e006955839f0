// Shared pieces of the network runtime tests: one CEF runtime per program,
// a URL request client that records what it hears, context helpers.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/cef_request_context.h"
#include "include/cef_urlrequest.h"
#include "include/cef_values.h"
#include "testing/runtime.h"

namespace net_test {

// Starts the runtime before the first test and shuts it down after the last.
class RuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { runtime_ = new cef_testing::ScopedRuntime(); }
  void TearDown() override {
    delete runtime_;
    runtime_ = nullptr;
  }

 private:
  cef_testing::ScopedRuntime* runtime_ = nullptr;
};

struct AuthQuestion {
  bool is_proxy;
  std::string host;
  int port;
  std::string realm;
  std::string scheme;
};

class RecordingClient : public CefURLRequestClient {
 public:
  // How challenges are answered: empty user = decline.
  std::string user, password;

  bool complete = false;
  std::string body;
  int data_calls = 0;
  std::vector<AuthQuestion> questions;

  void OnRequestComplete(CefRefPtr<CefURLRequest> request) override { complete = true; }
  void OnUploadProgress(CefRefPtr<CefURLRequest>, int64_t, int64_t) override {}
  void OnDownloadProgress(CefRefPtr<CefURLRequest>, int64_t, int64_t) override {}
  void OnDownloadData(CefRefPtr<CefURLRequest>, const void* data, size_t size) override {
    body.append(static_cast<const char*>(data), size);
    ++data_calls;
  }
  bool GetAuthCredentials(bool isProxy,
                          const CefString& host,
                          int port,
                          const CefString& realm,
                          const CefString& scheme,
                          CefRefPtr<CefAuthCallback> callback) override {
    questions.push_back({isProxy, host.ToString(), port, realm.ToString(), scheme.ToString()});
    if (user.empty())
      return false;
    callback->Continue(user, password);
    return true;
  }

  IMPLEMENT_REFCOUNTING(RecordingClient);
};

inline CefRefPtr<CefRequest> MakeRequest(const std::string& url, const std::string& method = "GET") {
  CefRefPtr<CefRequest> request = CefRequest::Create();
  request->SetURL(url);
  request->SetMethod(method);
  return request;
}

// Runs |request| to completion on the UI thread.
inline CefRefPtr<CefURLRequest> Fetch(CefRefPtr<CefRequest> request,
                                      CefRefPtr<RecordingClient> client,
                                      CefRefPtr<CefRequestContext> context = nullptr) {
  CefRefPtr<CefURLRequest> url_request = CefURLRequest::Create(request, client, context);
  EXPECT_TRUE(url_request);
  if (url_request) {
    EXPECT_TRUE(cef_testing::RunUntil([&] { return client->complete; }, 15000));
  }
  return url_request;
}

inline CefRefPtr<CefRequestContext> NewContext(CefRefPtr<CefRequestContextHandler> handler = nullptr) {
  CefRequestContextSettings settings;
  return CefRequestContext::CreateContext(settings, handler);
}

inline void SetProxy(CefRefPtr<CefRequestContext> context,
                     const std::string& mode,
                     const std::string& server,
                     const std::string& bypass) {
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  dict->SetString("mode", mode);
  if (!server.empty())
    dict->SetString("server", server);
  if (!bypass.empty())
    dict->SetString("bypass_list", bypass);
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetDictionary(dict);
  CefString error;
  EXPECT_TRUE(context->SetPreference("proxy", value, error)) << error.ToString();
}

}  // namespace net_test
