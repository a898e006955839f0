// A loopback server that answers one GET with a long body as fast as the
// client takes it, and counts what its socket took: for tests and stress
// programs of a client that falls behind.
#pragma once

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <utility>

#include <boost/asio.hpp>

namespace kesta::testing {

class StreamingServer {
 public:
  // |send_buffer|: the socket's send buffer, when not the system's default
  // (a small one leaves what the system holds to the client's side).
  explicit StreamingServer(size_t size, int send_buffer = 0)
      : acceptor_(io_, boost::asio::ip::tcp::endpoint(boost::asio::ip::address_v4::loopback(), 0)) {
    thread_ = std::thread([this, size, send_buffer] { Serve(size, send_buffer); });
  }
  ~StreamingServer() {
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    thread_.join();
  }
  StreamingServer(const StreamingServer&) = delete;
  StreamingServer& operator=(const StreamingServer&) = delete;

  std::string origin() const { return "http://127.0.0.1:" + std::to_string(acceptor_.local_endpoint().port()); }
  // Body bytes the socket took so far.
  size_t sent() const { return sent_; }

 private:
  void Serve(size_t size, int send_buffer) {
    namespace asio = boost::asio;
    boost::system::error_code ec;
    asio::ip::tcp::socket socket(io_);
    acceptor_.accept(socket, ec);
    if (!ec && send_buffer > 0)
      socket.set_option(asio::socket_base::send_buffer_size(send_buffer), ec);
    std::string request;
    while (!ec && request.find("\r\n\r\n") == std::string::npos) {
      char part[1024];
      request.append(part, socket.read_some(asio::buffer(part), ec));
    }
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(size) +
        "\r\nConnection: close\r\n\r\n";
    asio::write(socket, asio::buffer(head), ec);
    const std::string chunk(256 * 1024, 's');
    while (!ec && sent_ < size)
      sent_ += asio::write(socket, asio::buffer(chunk.data(), std::min(chunk.size(), size - sent_)), ec);
  }

  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  std::atomic<size_t> sent_{0};
  std::thread thread_;
};

}  // namespace kesta::testing
