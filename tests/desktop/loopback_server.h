// A small HTTP/1.1 server on 127.0.0.1 for tests: every connection carries
// one request, whose answer (raw bytes, status line included) comes from a
// handler that can also decline to answer at all.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kesta::testing {

struct ReceivedRequest {
  std::string method;
  std::string target;
  // In arrival order, names as sent.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The first header of that name (case-insensitive), or nullopt.
  std::optional<std::string> Header(const std::string& name) const;
};

class LoopbackServer {
 public:
  // Raw response bytes; nullopt keeps the connection open, unanswered,
  // until the server stops.
  using Handler = std::function<std::optional<std::string>(const ReceivedRequest&)>;

  // Listens on 127.0.0.1:`port` (0: the system picks one). With `hold`, a
  // connection stays open after its answer until the server stops.
  explicit LoopbackServer(Handler handler, uint16_t port = 0, bool hold = false);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  uint16_t port() const;
  std::vector<ReceivedRequest> Requests() const;

  // "HTTP/1.1 <status> X" with Content-Length, Connection: close and any
  // extra header lines ("Name: value").
  static std::string Response(int status, const std::string& body, const std::vector<std::string>& extra = {});

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// A loopback port that was free a moment ago.
uint16_t FreeLoopbackPort();

}  // namespace kesta::testing
