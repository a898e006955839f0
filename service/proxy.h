// The loopback proxy that network enforcement sends the browser through: an
// HTTP proxy on 127.0.0.1 that demands Basic credentials, user "kesta" and
// the service token as password. It forwards plain HTTP requests given in
// absolute form and tunnels CONNECT.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>  // Asio 1.74's awaitable.hpp needs std::exchange

#include <boost/asio/awaitable.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/http.hpp>

namespace kesta::service {

class LoopbackProxy {
 public:
  using Request = boost::beast::http::request<boost::beast::http::string_body>;
  // Sees every request the proxy reads, before it is answered.
  using Check = std::function<void(const Request&)>;

  LoopbackProxy(boost::asio::io_context& io, std::string token, Check check = nullptr);

  // Binds a port the system picks; false with the reason on failure.
  bool Listen(std::string& error);
  void Start();
  uint16_t port() const { return port_; }

 private:
  boost::asio::awaitable<void> AcceptLoop();
  boost::asio::awaitable<void> Session(boost::asio::ip::tcp::socket socket);
  bool Authorized(const std::string& header) const;

  boost::asio::io_context& io_;
  std::string token_;
  Check check_;
  boost::asio::ip::tcp::acceptor acceptor_;
  uint16_t port_ = 0;
};

// Decodes standard base64; nothing for malformed input.
bool DecodeBase64(const std::string& text, std::string& out);
// The decoded "user:password" of a Basic Authorization value ("Basic" in any
// case); false for any other value.
bool DecodeBasicCredentials(std::string_view header, std::string& credentials);

}  // namespace kesta::service
