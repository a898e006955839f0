// Incremental HTTP/1.1 response parser: status line, header fields, then a
// body framed by Content-Length, chunked transfer coding or connection close.
#ifndef CEF_SRC_CORE_NET_HTTP_PARSER_H_
#define CEF_SRC_CORE_NET_HTTP_PARSER_H_
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cef_internal {

struct HttpResponseHead {
  // From the status line: "HTTP/1.0" gives 1 and 0.
  int version_major = 1;
  int version_minor = 1;
  int status = 0;
  std::string status_text;
  std::vector<std::pair<std::string, std::string>> headers;  // in arrival order

  bool AtLeastHttp11() const { return version_major > 1 || (version_major == 1 && version_minor >= 1); }

  // First value of |name| (case-insensitive), or empty.
  std::string Get(const std::string& name) const;
  std::vector<std::string> GetAll(const std::string& name) const;
  // Whether a value of a |name| header, read as a comma-separated list,
  // is |value| (both case-insensitive), as Chromium's HasHeaderValue.
  bool HasValue(std::string_view name, std::string_view value) const;
};

class HttpResponseParser {
 public:
  // |head_request|: the response to a HEAD has no body whatever it says.
  explicit HttpResponseParser(bool head_request = false) : head_request_(head_request) {}

  // Consumes |size| bytes. Body bytes are appended to |body_out|. Returns a
  // net error code (negative) on malformed input, otherwise 0.
  int Feed(const char* data, size_t size, std::string& body_out);

  // From now on, a body of announced length is given room for up to
  // |limit| bytes at once in |body_out| (what is left of it, if less), so
  // that it is not copied as it grows.
  void ReserveBodyUpTo(size_t limit) { body_reserve_limit_ = limit; }

  // The peer closed the connection. Returns 0 when that completes the
  // response, otherwise a net error code.
  int OnEof();

  bool head_complete() const { return state_ > State::kHeaders; }
  bool done() const { return state_ == State::kDone; }
  const HttpResponseHead& head() const { return head_; }
  // Body length announced by Content-Length, or -1.
  int64_t content_length() const { return content_length_; }
  // True once any byte has arrived.
  bool received_bytes() const { return received_any_; }
  // True when bytes followed the complete response (they were dropped).
  bool had_trailing_bytes() const { return trailing_bytes_; }

 private:
  enum class State {
    kStatusLine,
    kHeaders,
    kBodyLength,
    kChunkSize,
    kChunkData,
    kChunkDataEnd,
    kTrailers,
    kBodyUntilClose,
    kDone,
  };

  int ParseStatusLine(const std::string& line);
  int ParseHeaderLine(const std::string& line);
  int StartBody();
  // Parses what the buffer holds past |taken_|.
  int ParseBuffered(std::string& body_out);
  // Takes one CRLF- or LF-terminated line from the buffer: 1 with a line,
  // 0 while it has not ended, a net error once it outgrows its cap.
  int TakeLine(std::string& line);
  size_t Buffered() const { return buffer_.size() - taken_; }
  void ReserveBody(std::string& body_out) const;

  bool head_request_;
  bool received_any_ = false;
  bool trailing_bytes_ = false;
  State state_ = State::kStatusLine;
  std::string buffer_;
  size_t taken_ = 0;  // bytes at the front of buffer_ already parsed
  size_t header_bytes_ = 0;
  HttpResponseHead head_;
  int64_t content_length_ = -1;
  size_t body_reserve_limit_ = 0;
  uint64_t remaining_ = 0;
};

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_NET_HTTP_PARSER_H_
