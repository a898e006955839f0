// Real HTTP servers on 127.0.0.1 for tests: an origin server with a
// per-test handler and a forwarding proxy that demands Basic credentials.
// Each listens on a port the OS picks and stops when destroyed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kesta::testing {

struct RecordedRequest {
  std::string method;
  std::string target;  // as sent: origin form, or absolute form to a proxy
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // The connection it came on: 1 for the server's first, and so on.
  int connection = 0;

  // First value of |name| (case-insensitive); empty when absent.
  std::string Header(const std::string& name) const;
  bool HasHeader(const std::string& name) const;
};

struct CannedResponse {
  int status = 200;
  std::string reason;  // empty: the standard one
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Send the head and this much of the body, then keep the connection open
  // until the client goes away (for cancellation tests).
  bool hold_after_head = false;
  // Keep the connection for further requests instead of announcing
  // "Connection: close" and closing it.
  bool keep_alive = false;
  // With keep_alive: close the connection after this response all the same,
  // unannounced, as a server ends a connection it keeps idle.
  bool close_after = false;
  // Close the connection without answering.
  bool hang_up = false;
  // Answer only after this long, serving other connections meanwhile.
  int delay_ms = 0;
};

class LoopbackHttpServer {
 public:
  using Handler = std::function<CannedResponse(const RecordedRequest&)>;

  // Without a handler every request gets 200 "text/plain" "ok".
  explicit LoopbackHttpServer(Handler handler = nullptr);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int port() const;
  // "http://127.0.0.1:<port>"
  std::string origin() const;

  std::vector<RecordedRequest> requests() const;
  size_t request_count() const;
  // Connections accepted so far.
  int connection_count() const;
  // The most requests read and not yet answered at once: a request is read
  // and answered while its connection is open at the client, so this is at
  // most the connections the client held at once.
  int peak_unanswered() const;
  // Connections whose client has closed while the server held them.
  int abandoned_holds() const;
  // Blocks until |n| held connections were abandoned, or |timeout_ms|.
  bool WaitForAbandonedHolds(int n, int timeout_ms) const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

class LoopbackProxy {
 public:
  // Demands "Proxy-Authorization: Basic base64(user:password)" with the
  // given realm; forwards authorised requests to loopback origins.
  LoopbackProxy(std::string user, std::string password, std::string realm = "kesta-proxy");
  ~LoopbackProxy();
  LoopbackProxy(const LoopbackProxy&) = delete;
  LoopbackProxy& operator=(const LoopbackProxy&) = delete;

  int port() const;
  // Every request the proxy received, challenged ones included.
  std::vector<RecordedRequest> requests() const;
  int challenges_sent() const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

std::string Base64(const std::string& in);

}  // namespace kesta::testing
