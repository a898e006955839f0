// The game's HTTPS site origin served from the local service: the scheme
// handler factory registered on the game context, and the resource handler
// that fetches one resource from the service over the local context.
#pragma once

#include <cstdint>
#include <string>

#include "include/cef_resource_handler.h"
#include "include/cef_scheme.h"
#include "include/cef_urlrequest.h"

namespace kesta::desktop {

// IO thread. Takes the requests that belong to the game's resources under
// the generation of the browser that made them; everything else loads the
// ordinary way.
class LocalFactory : public CefSchemeHandlerFactory {
 public:
  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser> browser,
                                       CefRefPtr<CefFrame> frame,
                                       const CefString& scheme_name,
                                       CefRefPtr<CefRequest> request) override;

 private:
  IMPLEMENT_REFCOUNTING(LocalFactory);
};

// Fetches one resource from the service, buffers the whole answer, then
// hands the browser its status, MIME type, headers and body. IO thread.
class LocalResponse : public CefResourceHandler, public CefURLRequestClient {
 public:
  LocalResponse(std::string servicePath, std::string requestGeneration);
  ~LocalResponse() override;

  // CefResourceHandler.
  bool Open(CefRefPtr<CefRequest> request, bool& handle_request, CefRefPtr<CefCallback> callback) override;
  void GetResponseHeaders(CefRefPtr<CefResponse> response,
                          int64_t& response_length,
                          CefString& redirectUrl) override;
  bool Skip(int64_t bytes_to_skip, int64_t& bytes_skipped, CefRefPtr<CefResourceSkipCallback> callback) override;
  bool Read(void* data_out,
            int bytes_to_read,
            int& bytes_read,
            CefRefPtr<CefResourceReadCallback> callback) override;
  void Cancel() override;

  // CefURLRequestClient.
  void OnRequestComplete(CefRefPtr<CefURLRequest> request) override;
  void OnUploadProgress(CefRefPtr<CefURLRequest> request, int64_t current, int64_t total) override {}
  void OnDownloadProgress(CefRefPtr<CefURLRequest> request, int64_t current, int64_t total) override {}
  void OnDownloadData(CefRefPtr<CefURLRequest> request, const void* data, size_t data_length) override;
  bool GetAuthCredentials(bool isProxy,
                          const CefString& host,
                          int port,
                          const CefString& realm,
                          const CefString& scheme,
                          CefRefPtr<CefAuthCallback> callback) override {
    return false;
  }

  const std::string& servicePath() const { return servicePath_; }
  const std::string& requestGeneration() const { return requestGeneration_; }

 private:
  void Start(CefRefPtr<CefRequest> request, CefRefPtr<CefCallback> callback);
  void CancelOnIO();

  const std::string servicePath_;
  const std::string requestGeneration_;
  std::string body_;
  std::string mimeType_ = "text/plain";
  int64_t readOffset_ = 0;
  int status_ = 502;
  CefResponse::HeaderMap headers_;
  CefRefPtr<CefURLRequest> urlRequest_;
  CefRefPtr<CefCallback> callback_;
  bool canceled_ = false;

  IMPLEMENT_REFCOUNTING(LocalResponse);
};

}  // namespace kesta::desktop
