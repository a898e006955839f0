// One HTTP/1.1 exchange, direct or through an HTTP proxy, run on the network
// thread, on an idle kept-alive connection of the same destination and proxy
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

namespace cef_internal {

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

// Receives the results. Called on the network thread, never after Cancel()
// has returned, and never reentrantly from Start() or Cancel().
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
  // Starts the exchange on the network thread. Returns null when the
  // network thread has been shut down.
  static std::shared_ptr<HttpTransaction> Start(HttpRequestSpec spec,
                                                std::shared_ptr<HttpTransactionDelegate> delegate);

  virtual ~HttpTransaction() = default;

  // Any thread. Closes the connection; the delegate hears nothing more.
  virtual void Cancel() = 0;
};

// The thread that runs every socket of the network stack.
namespace network_thread {

// Cancels every transaction still running, closes their sockets and joins
// the thread. Later Start() calls fail. Called once at shutdown.
void Shutdown();

// Lets the network thread start again after Shutdown() (tests).
void ResetForTesting();

// Sockets currently open by the network stack, idle kept-alive ones
// included.
int OpenSocketCount();

}  // namespace network_thread

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_NET_HTTP_TRANSACTION_H_
