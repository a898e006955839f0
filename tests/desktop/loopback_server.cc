#include "loopback_server.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <thread>

namespace kesta::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

std::optional<std::string> ReceivedRequest::Header(const std::string& name) const {
  auto lower = [](std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
  };
  for (const auto& [key, value] : headers) {
    if (lower(key) == lower(name))
      return value;
  }
  return std::nullopt;
}

struct LoopbackServer::State : std::enable_shared_from_this<LoopbackServer::State> {
  Handler handler;
  bool hold = false;
  asio::io_context io;
  tcp::acceptor acceptor{io};
  std::thread thread;
  mutable std::mutex mutex;
  std::vector<ReceivedRequest> requests;
  // Every connection, so stopping can close the unanswered ones too.
  std::vector<std::shared_ptr<tcp::socket>> connections;

  void Accept() {
    acceptor.async_accept([self = shared_from_this()](beast::error_code error, tcp::socket socket) {
      if (error)
        return;
      auto connection = std::make_shared<tcp::socket>(std::move(socket));
      {
        std::lock_guard lock(self->mutex);
        self->connections.push_back(connection);
      }
      self->Serve(connection);
      self->Accept();
    });
  }

  void Serve(std::shared_ptr<tcp::socket> socket) {
    auto buffer = std::make_shared<beast::flat_buffer>();
    auto parser = std::make_shared<http::request_parser<http::string_body>>();
    parser->body_limit(64 * 1024 * 1024);
    http::async_read(*socket, *buffer, *parser,
                     [self = shared_from_this(), socket, buffer, parser](beast::error_code error, size_t) {
                       if (error)
                         return;
                       const auto& message = parser->get();
                       ReceivedRequest request;
                       request.method = std::string(message.method_string());
                       request.target = std::string(message.target());
                       for (const auto& field : message)
                         request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
                       request.body = message.body();
                       {
                         std::lock_guard lock(self->mutex);
                         self->requests.push_back(request);
                       }
                       std::optional<std::string> answer = self->handler(request);
                       if (!answer)
                         return;  // stays open until the server stops
                       auto bytes = std::make_shared<std::string>(std::move(*answer));
                       const bool hold = self->hold;
                       asio::async_write(*socket, asio::buffer(*bytes),
                                         [socket, bytes, hold](beast::error_code, size_t) {
                                           if (hold)
                                             return;
                                           beast::error_code ignored;
                                           socket->shutdown(tcp::socket::shutdown_send, ignored);
                                           socket->close(ignored);
                                         });
                     });
  }
};

LoopbackServer::LoopbackServer(Handler handler, uint16_t port, bool hold) : state_(std::make_shared<State>()) {
  state_->handler = std::move(handler);
  state_->hold = hold;
  tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), port);
  state_->acceptor.open(endpoint.protocol());
  state_->acceptor.bind(endpoint);
  state_->acceptor.listen();
  state_->Accept();
  state_->thread = std::thread([state = state_] { state->io.run(); });
}

LoopbackServer::~LoopbackServer() {
  // Once everything is closed the pending operations end and run() returns.
  asio::post(state_->io, [state = state_] {
    beast::error_code ignored;
    state->acceptor.close(ignored);
    std::lock_guard lock(state->mutex);
    for (auto& socket : state->connections)
      socket->close(ignored);
  });
  state_->thread.join();
  state_->connections.clear();
}

uint16_t LoopbackServer::port() const {
  return state_->acceptor.local_endpoint().port();
}

std::vector<ReceivedRequest> LoopbackServer::Requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

std::string LoopbackServer::Response(int status, const std::string& body, const std::vector<std::string>& extra) {
  std::string response = "HTTP/1.1 " + std::to_string(status) + " X\r\n";
  response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  for (const std::string& line : extra)
    response += line + "\r\n";
  response += "Connection: close\r\n\r\n";
  return response + body;
}

}  // namespace kesta::testing
