// Custom handling of a resource request: the application produces the
// response itself.
#ifndef CEF_INCLUDE_CEF_RESOURCE_HANDLER_H_
#define CEF_INCLUDE_CEF_RESOURCE_HANDLER_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_callback.h"
#include "include/cef_request.h"
#include "include/cef_response.h"

// Continues a Skip that finished later. Any thread.
class CefResourceSkipCallback : public virtual CefBaseRefCounted {
 public:
  // |bytes_skipped| > 0: skipped that many; <= 0: the request fails with
  // ERR_REQUEST_RANGE_NOT_SATISFIABLE.
  virtual void Continue(int64_t bytes_skipped) = 0;
};

// Continues a Read that finished later. Any thread.
class CefResourceReadCallback : public virtual CefBaseRefCounted {
 public:
  // > 0: bytes now in the buffer given to Read; 0: the response is complete;
  // < 0: an error code that fails the request.
  virtual void Continue(int bytes_read) = 0;
};

// Produces one response. Methods run on the IO thread, one at a time, in the
// order Open, GetResponseHeaders, then Skip/Read until done; Cancel may come
// at any point.
class CefResourceHandler : public virtual CefBaseRefCounted {
 public:
  // Handle now: |handle_request| true, return true. Decide later:
  // |handle_request| false, return true, then run |callback|. Cancel now:
  // |handle_request| true, return false. Returning false with
  // |handle_request| false falls back to ProcessRequest.
  virtual bool Open(CefRefPtr<CefRequest> request, bool& handle_request, CefRefPtr<CefCallback> callback) {
    handle_request = false;
    return false;
  }

  // Older form of Open: return true and run |callback| once the headers are
  // known; false cancels.
  virtual bool ProcessRequest(CefRefPtr<CefRequest> request, CefRefPtr<CefCallback> callback) { return false; }

  // Fill in status, MIME type and headers. |response_length| is -1 when
  // unknown. A non-empty |redirectUrl| (relative or absolute) redirects.
  // response->SetError() fails the request.
  virtual void GetResponseHeaders(CefRefPtr<CefResponse> response,
                                  int64_t& response_length,
                                  CefString& redirectUrl) = 0;

  // Skip response data for a Range request. Now: |bytes_skipped| > 0 and
  // true. Later: |bytes_skipped| 0, true, then |callback|. Failure:
  // |bytes_skipped| negative and false.
  virtual bool Skip(int64_t bytes_to_skip, int64_t& bytes_skipped, CefRefPtr<CefResourceSkipCallback> callback) {
    bytes_skipped = -2;
    return false;
  }

  // Data now: copy, set |bytes_read|, return true. Later: keep |data_out|,
  // |bytes_read| 0, return true, then |callback|. Done: |bytes_read| 0 and
  // false. Failure: |bytes_read| a negative error and false. -1 with false
  // falls back to ReadResponse.
  virtual bool Read(void* data_out, int bytes_to_read, int& bytes_read, CefRefPtr<CefResourceReadCallback> callback) {
    bytes_read = -1;
    return false;
  }

  // Older form of Read.
  virtual bool ReadResponse(void* data_out, int bytes_to_read, int& bytes_read, CefRefPtr<CefCallback> callback) {
    bytes_read = -2;
    return false;
  }

  // The load was abandoned before the handler finished.
  virtual void Cancel() = 0;
};

#endif  // CEF_INCLUDE_CEF_RESOURCE_HANDLER_H_
