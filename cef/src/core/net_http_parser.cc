#include "core/net_http_parser.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "core/ascii.h"
#include "include/internal/cef_types_net.h"

namespace cef_internal {

namespace {

using ascii::Trim;

// Chromium's caps: a head as a whole (its lines share it), and each line of
// chunked framing (a chunk-size line with its extensions, a trailer line).
constexpr size_t kMaxHeaderBytes = 256 * 1024;
constexpr size_t kMaxChunkLineBytes = 16 * 1024;

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

std::string HttpResponseHead::Get(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoreCase(key, name))
      return value;
  }
  return std::string();
}

std::vector<std::string> HttpResponseHead::GetAll(const std::string& name) const {
  std::vector<std::string> values;
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoreCase(key, name))
      values.push_back(value);
  }
  return values;
}

bool HttpResponseHead::HasValue(std::string_view name, std::string_view value) const {
  // Asked of every response (whether its connection is kept): no copies.
  for (const auto& [key, list] : headers) {
    if (!EqualsIgnoreCase(key, name))
      continue;
    std::string_view rest = list;
    for (;;) {
      const size_t comma = rest.find(',');
      if (EqualsIgnoreCase(ascii::TrimView(rest.substr(0, comma)), value))
        return true;
      if (comma == std::string_view::npos)
        break;
      rest.remove_prefix(comma + 1);
    }
  }
  return false;
}

int HttpResponseParser::TakeLine(std::string& line) {
  const bool in_head = !head_complete();
  const size_t room = in_head ? kMaxHeaderBytes - header_bytes_ : kMaxChunkLineBytes;
  // The search stops at the cap, so a line that never ends costs no more.
  const size_t searched = std::min(Buffered(), room);
  const void* nl = std::memchr(buffer_.data() + taken_, '\n', searched);
  if (!nl) {
    if (Buffered() < room)
      return 0;
    return in_head ? ERR_RESPONSE_HEADERS_TOO_BIG : ERR_INVALID_CHUNKED_ENCODING;
  }
  const size_t length = static_cast<const char*>(nl) - (buffer_.data() + taken_);
  if (in_head)
    header_bytes_ += length + 1;
  line.assign(buffer_, taken_, length);
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  taken_ += length + 1;
  return 1;
}

int HttpResponseParser::ParseStatusLine(const std::string& line) {
  // "HTTP/1.1 200 OK"
  if (line.compare(0, 5, "HTTP/") != 0)
    return ERR_INVALID_HTTP_RESPONSE;
  size_t sp = line.find(' ');
  if (sp == std::string::npos)
    return ERR_INVALID_HTTP_RESPONSE;
  size_t code_start = sp + 1;
  size_t code_end = code_start;
  while (code_end < line.size() && std::isdigit(static_cast<unsigned char>(line[code_end])))
    ++code_end;
  if (code_end - code_start != 3)
    return ERR_INVALID_HTTP_RESPONSE;
  head_ = HttpResponseHead();
  // "HTTP/" digit "." digit; anything else counts as HTTP/1.0, which is
  // the conservative reading for connection reuse.
  if (sp == 8 && std::isdigit(static_cast<unsigned char>(line[5])) && line[6] == '.' &&
      std::isdigit(static_cast<unsigned char>(line[7]))) {
    head_.version_major = line[5] - '0';
    head_.version_minor = line[7] - '0';
  } else {
    head_.version_major = 1;
    head_.version_minor = 0;
  }
  head_.status = std::stoi(line.substr(code_start, 3));
  head_.status_text = code_end < line.size() ? Trim(line.substr(code_end)) : std::string();
  return 0;
}

int HttpResponseParser::ParseHeaderLine(const std::string& line) {
  if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
    // Obsolete line folding continues the previous value.
    if (head_.headers.empty())
      return ERR_INVALID_HTTP_RESPONSE;
    head_.headers.back().second += " " + Trim(line);
    return 0;
  }
  size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0)
    return 0;  // tolerated, like browsers do
  head_.headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  return 0;
}

int HttpResponseParser::StartBody() {
  // Interim responses (100 Continue and the like) are skipped.
  if (head_.status >= 100 && head_.status < 200 && head_.status != 101) {
    state_ = State::kStatusLine;
    return 0;
  }
  if (head_request_ || head_.status == 204 || head_.status == 304) {
    state_ = State::kDone;
    return 0;
  }
  // As Chromium reads it: any coding of any Transfer-Encoding header named
  // chunked, except from an HTTP/1.0 peer; a body in other codings alone
  // runs to the close.
  if (head_.AtLeastHttp11() && head_.HasValue("Transfer-Encoding", "chunked")) {
    state_ = State::kChunkSize;
    return 0;
  }
  auto lengths = head_.GetAll("Content-Length");
  if (!lengths.empty()) {
    for (const auto& l : lengths) {
      if (l != lengths.front())
        return ERR_RESPONSE_HEADERS_MULTIPLE_CONTENT_LENGTH;
    }
    const std::string& text = lengths.front();
    if (text.empty() || text.size() > 18)
      return ERR_INVALID_HTTP_RESPONSE;
    int64_t length = 0;
    for (char c : text) {
      if (!std::isdigit(static_cast<unsigned char>(c)))
        return ERR_INVALID_HTTP_RESPONSE;
      length = length * 10 + (c - '0');
    }
    content_length_ = length;
    remaining_ = static_cast<uint64_t>(length);
    state_ = length == 0 ? State::kDone : State::kBodyLength;
    return 0;
  }
  state_ = State::kBodyUntilClose;
  return 0;
}

int HttpResponseParser::Feed(const char* data, size_t size, std::string& body_out) {
  // Until the head is complete the bytes go through the buffer a piece at
  // a time, so that the body behind a short head goes straight out once
  // the head ends instead of being copied through the buffer as well.
  constexpr size_t kHeadPiece = 4096;
  if (size)
    received_any_ = true;
  int rv = 0;
  while (!rv) {
    if (state_ == State::kBodyLength && buffer_.empty()) {
      // The common case of a large body: straight to the output.
      ReserveBody(body_out);
      size_t n = size < remaining_ ? size : static_cast<size_t>(remaining_);
      body_out.append(data, n);
      data += n;
      size -= n;
      remaining_ -= n;
      if (remaining_ == 0)
        state_ = State::kDone;
    }
    const size_t piece = head_complete() ? size : std::min(size, kHeadPiece);
    buffer_.append(data, piece);
    data += piece;
    size -= piece;
    rv = ParseBuffered(body_out);
    // Consumed bytes leave the buffer once per piece, not once per line.
    buffer_.erase(0, taken_);
    taken_ = 0;
    if (!size)
      break;
  }
  return rv;
}

void HttpResponseParser::ReserveBody(std::string& body_out) const {
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(remaining_, body_reserve_limit_));
  if (body_out.capacity() - body_out.size() < wanted)
    body_out.reserve(body_out.size() + wanted);
}

int HttpResponseParser::ParseBuffered(std::string& body_out) {
  while (true) {
    switch (state_) {
      case State::kStatusLine:
      case State::kHeaders:
      case State::kTrailers: {
        std::string line;
        if (int rv = TakeLine(line); rv <= 0)
          return rv;
        if (state_ == State::kStatusLine) {
          if (line.empty())
            continue;  // stray blank line before the status line
          if (int rv = ParseStatusLine(line))
            return rv;
          state_ = State::kHeaders;
        } else if (state_ == State::kHeaders) {
          if (line.empty()) {
            header_bytes_ = 0;
            if (int rv = StartBody())
              return rv;
          } else if (int rv = ParseHeaderLine(line)) {
            return rv;
          }
        } else if (line.empty()) {
          state_ = State::kDone;
        }
        break;
      }
      case State::kBodyLength:
      case State::kChunkData: {
        const size_t buffered = Buffered();
        if (!buffered)
          return 0;
        size_t n = buffered < remaining_ ? buffered : static_cast<size_t>(remaining_);
        if (state_ == State::kBodyLength)
          ReserveBody(body_out);
        body_out.append(buffer_, taken_, n);
        taken_ += n;
        remaining_ -= n;
        if (remaining_ == 0)
          state_ = state_ == State::kBodyLength ? State::kDone : State::kChunkDataEnd;
        break;
      }
      case State::kChunkSize: {
        std::string line;
        if (int rv = TakeLine(line); rv <= 0)
          return rv;
        size_t semi = line.find(';');
        std::string hex = Trim(line.substr(0, semi));
        if (hex.empty() || hex.size() > 15)
          return ERR_INVALID_CHUNKED_ENCODING;
        uint64_t n = 0;
        for (char c : hex) {
          if (!std::isxdigit(static_cast<unsigned char>(c)))
            return ERR_INVALID_CHUNKED_ENCODING;
          n = n * 16 + (std::isdigit(static_cast<unsigned char>(c))
                            ? c - '0'
                            : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
        }
        remaining_ = n;
        state_ = n == 0 ? State::kTrailers : State::kChunkData;
        break;
      }
      case State::kChunkDataEnd: {
        std::string line;
        int rv = TakeLine(line);
        if (rv == 0 && Buffered() > 2)
          rv = ERR_INVALID_CHUNKED_ENCODING;  // nothing but CRLF ends a chunk
        if (rv <= 0)
          return rv;
        if (!line.empty())
          return ERR_INVALID_CHUNKED_ENCODING;
        state_ = State::kChunkSize;
        break;
      }
      case State::kBodyUntilClose:
        body_out.append(buffer_, taken_);
        taken_ = buffer_.size();
        return 0;
      case State::kDone:
        // Anything after the response is ignored, but it leaves the
        // connection in an unknown state.
        if (Buffered())
          trailing_bytes_ = true;
        taken_ = buffer_.size();
        return 0;
    }
  }
}

int HttpResponseParser::OnEof() {
  switch (state_) {
    case State::kDone:
      return 0;
    case State::kBodyUntilClose:
      state_ = State::kDone;
      return 0;
    case State::kStatusLine:
      return received_any_ ? ERR_INVALID_HTTP_RESPONSE : ERR_EMPTY_RESPONSE;
    case State::kHeaders:
      return ERR_RESPONSE_HEADERS_TRUNCATED;
    case State::kBodyLength:
      return ERR_CONTENT_LENGTH_MISMATCH;
    default:
      return ERR_INCOMPLETE_CHUNKED_ENCODING;
  }
}

}  // namespace cef_internal
