// The service's HTTP server on 127.0.0.1: the client's API under "/api/",
// the game's files, and, when enabled, the test control under "/__control/".
// Everything runs as coroutines on one I/O thread, so a slow answer never
// holds up the others.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>  // Asio 1.74's awaitable.hpp needs std::exchange
#include <vector>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/http.hpp>

#include "protocol_check.h"
#include "proxy.h"
#include "resources.h"
#include "service_state.h"

namespace kesta::service {

class HttpServer {
 public:
  using Request = boost::beast::http::request<boost::beast::http::string_body>;
  using Response = boost::beast::http::response<boost::beast::http::string_body>;

  struct Setup {
    std::string token;
    bool control = false;
    std::filesystem::path clientScripts;  // bridge.js and game-observer.js
    // What "local-token" held before this service and its predecessors
    // replaced it, which a client of a replaced service may still send.
    std::vector<std::string> earlierTokens;
    // Starts the successor of an upgrade; called once the port is closed.
    std::function<void(const ServiceState&)> handOver;
  };

  HttpServer(boost::asio::io_context& io, ServiceState& state, ResourceStore& store, Setup setup);

  // Binds 127.0.0.1:port. False, with the reason, when the port is taken.
  bool Listen(uint16_t port, std::string& error);
  void Start();
  // Starts the loopback proxy once; its port goes into the state.
  bool EnsureProxy(std::string& error);

 private:
  boost::asio::awaitable<void> AcceptLoop();
  boost::asio::awaitable<void> Session(boost::asio::ip::tcp::socket socket);
  // Fills `response`; sets `drop` to close the connection without answering.
  boost::asio::awaitable<void> Handle(const Request& request, Response& response, bool& drop);
  void HandleApi(const Request& request, const std::string& path, Response& response);
  void HandleControl(const Request& request, const std::string& path, Response& response);
  void HandleFile(const Request& request, const std::string& path, Response& response);
  bool Authorized(const Request& request) const;
  // Whether `host` names a site origin that pages load from the service.
  bool SiteName(const std::string& host) const;
  // What the request breaks of the protocol the client keeps.
  std::vector<std::string> Violations(const Request& request, const std::string& path) const;
  void ResourceViolations(const Request& request, const std::string& path, std::vector<std::string>& found) const;
  void HeartbeatValueViolations(const std::string& body, std::vector<std::string>& found) const;

  boost::asio::io_context& io_;
  ServiceState& state_;
  ResourceStore& store_;
  Setup setup_;
  boost::asio::ip::tcp::acceptor acceptor_;
  std::unique_ptr<LoopbackProxy> proxy_;
  HeartbeatPacing pacing_;
  bool stopping_ = false;
  bool handingOver_ = false;
};

}  // namespace kesta::service
