// One HTTP/1.1 exchange, direct or through an HTTP proxy, run on a network
// loop, on an idle kept-alive connection of the same destination and proxy
// when there is one (see net_socket_pool.h), else on a new one. No TLS.
#ifndef CEF_SRC_CORE_NET_HTTP_TRANSACTION_H_
#define CEF_SRC_CORE_NET_HTTP_TRANSACTION_H_
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/net_http_parser.h"
#include "core/net_proxy_config.h"
#include "core/net_url.h"

namespace boost::asio {
class io_context;
}

namespace cef_internal {

// Where sockets live: one asio loop, the transactions running on it and
// their idle kept-alive connections. Transactions and their delegates run on
// the loop's thread.
class NetworkLoop {
 public:
  // A loop on |context|, run by the calling thread, which the caller owns.
  // The runtime runs its loads' sockets on the IO thread this way, so that
  // a load and its exchange share a thread and no hand-off lies between
  // them.
  static std::shared_ptr<NetworkLoop> OnContext(boost::asio::io_context& context);

  // A loop on a thread of its own (the stack used alone).
  static std::shared_ptr<NetworkLoop> OnOwnThread();

  virtual ~NetworkLoop() = default;

  // Cancels every transaction still running and closes every socket, idle
  // ones included, on the loop's thread; waits for that unless called
  // there (an outside context must be running). Later starts fail. A loop
  // with a thread of its own joins it, or, called on that thread (as is
  // its destructor when the last reference goes there), lets it end by
  // itself.
  virtual void Shutdown() = 0;
};

struct HttpRequestSpec {
  std::string method = "GET";
  NetUrl url;
  // Sent as given, after Host; the transaction adds Host, Content-Length
  // and Connection (Proxy-Connection to a proxy) itself and drops any of
  // those found here.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // kDirect or kHttp. The request goes to the proxy in absolute form.
  ProxyServer proxy;
};

// Receives the results. Called on the loop's thread, never after Cancel()
// has returned, and never reentrantly from Start() or Cancel(). A delegate
// may cancel its transaction from inside a call.
class HttpTransactionDelegate {
 public:
  virtual ~HttpTransactionDelegate() = default;
  virtual void OnHttpResponseHead(const HttpResponseHead& head) = 0;
  virtual void OnHttpData(std::string data) = 0;
  // 0 on success, otherwise a net error code. The last call.
  virtual void OnHttpComplete(int error) = 0;
};

class HttpTransaction {
 public:
  // Starts the exchange on |loop|. Any thread. Returns null when the loop
  // has been shut down.
  static std::shared_ptr<HttpTransaction> Start(const std::shared_ptr<NetworkLoop>& loop,
                                                HttpRequestSpec spec,
                                                std::shared_ptr<HttpTransactionDelegate> delegate);

  virtual ~HttpTransaction() = default;

  // Any thread. Closes the connection; the delegate hears nothing more, and
  // nothing more is sent.
  virtual void Cancel() = 0;

  // Any thread, and without waiting for a delivery under way: nothing more
  // is sent and the connection is not kept for reuse. The delegate may
  // still hear what was under way; Cancel() ends the exchange.
  virtual void Halt() = 0;

  // Loop thread. Stops taking bytes from the socket once the delivery under
  // way (if any) is handed on, so a receiver that is behind holds the
  // server back instead of letting the body pile up; ResumeReads() goes on.
  virtual void PauseReads() = 0;
  virtual void ResumeReads() = 0;
};

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_NET_HTTP_TRANSACTION_H_
