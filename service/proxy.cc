#include "proxy.h"

#include <chrono>
#include <exception>
#include <memory>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "log.h"

namespace kesta::service {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr size_t kBodyLimit = 64 * 1024 * 1024;
constexpr auto kIdleTimeout = std::chrono::seconds(60);

std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// "host:port" or "[v6]:port"; brackets are removed from the host.
bool SplitHostPort(const std::string& authority, const std::string& defaultPort, std::string& host, std::string& port) {
  if (authority.empty())
    return false;
  size_t hostEnd;
  if (authority[0] == '[') {
    hostEnd = authority.find(']');
    if (hostEnd == std::string::npos)
      return false;
    host = authority.substr(1, hostEnd - 1);
    ++hostEnd;
  } else {
    hostEnd = authority.find(':');
    if (hostEnd == std::string::npos)
      hostEnd = authority.size();
    host = authority.substr(0, hostEnd);
  }
  if (hostEnd == authority.size()) {
    port = defaultPort;
  } else if (authority[hostEnd] == ':' && hostEnd + 1 < authority.size()) {
    port = authority.substr(hostEnd + 1);
  } else {
    return false;
  }
  return !host.empty() && !port.empty() && port.find_first_not_of("0123456789") == std::string::npos;
}

// Copies one direction of a tunnel until either side closes.
asio::awaitable<void> Pump(std::shared_ptr<tcp::socket> from, std::shared_ptr<tcp::socket> to) {
  char data[16384];
  boost::system::error_code ec;
  for (;;) {
    const size_t n = co_await from->async_read_some(asio::buffer(data), asio::redirect_error(asio::use_awaitable, ec));
    if (ec)
      break;
    co_await asio::async_write(*to, asio::buffer(data, n), asio::redirect_error(asio::use_awaitable, ec));
    if (ec)
      break;
  }
  from->close(ec);
  to->close(ec);
}

}  // namespace

bool DecodeBase64(const std::string& text, std::string& out) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z')
      return c - 'A';
    if (c >= 'a' && c <= 'z')
      return c - 'a' + 26;
    if (c >= '0' && c <= '9')
      return c - '0' + 52;
    if (c == '+')
      return 62;
    if (c == '/')
      return 63;
    return -1;
  };
  if (text.size() % 4 != 0)
    return false;
  out.clear();
  for (size_t i = 0; i < text.size(); i += 4) {
    int v[4];
    int padding = 0;
    for (int j = 0; j < 4; ++j) {
      const char c = text[i + j];
      if (c == '=' && i + 4 == text.size() && j >= 2) {
        v[j] = 0;
        ++padding;
      } else if (padding > 0 || (v[j] = value(c)) < 0) {
        return false;
      }
    }
    const unsigned bits = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    out += static_cast<char>((bits >> 16) & 0xFF);
    if (padding < 2)
      out += static_cast<char>((bits >> 8) & 0xFF);
    if (padding < 1)
      out += static_cast<char>(bits & 0xFF);
  }
  return true;
}

LoopbackProxy::LoopbackProxy(asio::io_context& io, std::string token, Check check)
    : io_(io), token_(std::move(token)), check_(std::move(check)), acceptor_(io) {}

bool LoopbackProxy::Listen(std::string& error) {
  boost::system::error_code ec;
  const tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), 0);
  acceptor_.open(endpoint.protocol(), ec);
  if (!ec)
    acceptor_.bind(endpoint, ec);
  if (!ec)
    acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  if (!ec)
    port_ = acceptor_.local_endpoint(ec).port();
  if (ec) {
    error = ec.message();
    return false;
  }
  return true;
}

void LoopbackProxy::Start() {
  asio::co_spawn(io_, AcceptLoop(), asio::detached);
}

asio::awaitable<void> LoopbackProxy::AcceptLoop() {
  for (;;) {
    boost::system::error_code ec;
    tcp::socket socket = co_await acceptor_.async_accept(asio::redirect_error(asio::use_awaitable, ec));
    if (ec) {
      if (ec == asio::error::operation_aborted)
        co_return;
      continue;
    }
    asio::co_spawn(io_, Session(std::move(socket)), asio::detached);
  }
}

bool DecodeBasicCredentials(std::string_view header, std::string& credentials) {
  // "Basic" is case-insensitive; the credentials are not.
  if (header.size() < 6 || Lower(std::string(header.substr(0, 6))) != "basic ")
    return false;
  header.remove_prefix(6);
  while (!header.empty() && header.front() == ' ')
    header.remove_prefix(1);
  return DecodeBase64(std::string(header), credentials);
}

bool LoopbackProxy::Authorized(const std::string& header) const {
  std::string decoded;
  return DecodeBasicCredentials(header, decoded) && decoded == "kesta:" + token_;
}

asio::awaitable<void> LoopbackProxy::Session(tcp::socket socket) {
  beast::tcp_stream client(std::move(socket));
  beast::flat_buffer buffer;
  try {
    for (;;) {
      http::request_parser<http::string_body> parser;
      parser.body_limit(kBodyLimit);
      client.expires_after(kIdleTimeout);
      boost::system::error_code ec;
      co_await http::async_read(client, buffer, parser, asio::redirect_error(asio::use_awaitable, ec));
      if (ec)
        break;
      http::request<http::string_body> request = parser.release();
      const std::string target(request.target());
      if (check_)
        check_(request);

      auto answer = [&](http::status status, const std::string& text, bool keepAlive) -> asio::awaitable<bool> {
        http::response<http::string_body> response{status, request.version()};
        response.set(http::field::content_type, "text/plain");
        if (status == http::status::proxy_authentication_required)
          response.set(http::field::proxy_authenticate, "Basic realm=\"kesta\"");
        response.body() = text;
        response.keep_alive(keepAlive && request.keep_alive());
        response.prepare_payload();
        boost::system::error_code writeError;
        co_await http::async_write(client, response, asio::redirect_error(asio::use_awaitable, writeError));
        co_return !writeError && response.keep_alive();
      };

      if (!Authorized(std::string(request[http::field::proxy_authorization]))) {
        Log("proxy: " + std::string(request.method_string()) + " " + target + " 407");
        if (co_await answer(http::status::proxy_authentication_required, "Proxy credentials required", true))
          continue;
        break;
      }

      std::string host, port, path;
      if (request.method() == http::verb::connect) {
        if (!SplitHostPort(target, "443", host, port)) {
          co_await answer(http::status::bad_request, "Bad CONNECT target", false);
          break;
        }
      } else {
        const std::string scheme = "http://";
        if (Lower(target.substr(0, scheme.size())) != scheme) {
          co_await answer(http::status::bad_request, "Only absolute http:// targets are proxied", false);
          break;
        }
        const size_t slash = target.find('/', scheme.size());
        const std::string authority = target.substr(scheme.size(), slash - scheme.size());
        path = slash == std::string::npos ? "/" : target.substr(slash);
        if (!SplitHostPort(authority, "80", host, port)) {
          co_await answer(http::status::bad_request, "Bad target", false);
          break;
        }
      }

      tcp::resolver resolver(io_);
      auto upstream = std::make_shared<tcp::socket>(io_);
      const auto endpoints = co_await resolver.async_resolve(host, port, asio::redirect_error(asio::use_awaitable, ec));
      if (!ec)
        co_await asio::async_connect(*upstream, endpoints, asio::redirect_error(asio::use_awaitable, ec));
      if (ec) {
        Log("proxy: " + std::string(request.method_string()) + " " + target + " 502 (" + ec.message() + ")");
        if (co_await answer(http::status::bad_gateway, "Cannot reach " + host + ":" + port, true))
          continue;
        break;
      }

      if (request.method() == http::verb::connect) {
        Log("proxy: CONNECT " + target);
        const std::string established = "HTTP/1.1 200 Connection Established\r\n\r\n";
        co_await asio::async_write(client.socket(), asio::buffer(established),
                                   asio::redirect_error(asio::use_awaitable, ec));
        if (ec)
          break;
        // Bytes the client sent after its CONNECT belong to the tunnel.
        if (buffer.size() > 0) {
          co_await asio::async_write(*upstream, buffer.data(), asio::redirect_error(asio::use_awaitable, ec));
          if (ec)
            break;
        }
        client.expires_never();
        auto downstream = std::make_shared<tcp::socket>(client.release_socket());
        asio::co_spawn(io_, Pump(upstream, downstream), asio::detached);
        co_await Pump(downstream, upstream);
        co_return;
      }

      // Plain HTTP: one upstream connection per request, without the
      // proxy's own headers.
      const bool keepAlive = request.keep_alive();
      request.target(path);
      request.erase(http::field::proxy_authorization);
      request.erase("Proxy-Connection");
      request.keep_alive(false);
      co_await http::async_write(*upstream, request, asio::redirect_error(asio::use_awaitable, ec));
      http::response_parser<http::string_body> responseParser;
      responseParser.body_limit(kBodyLimit);
      if (request.method() == http::verb::head)
        responseParser.skip(true);
      beast::flat_buffer upstreamBuffer;
      if (!ec)
        co_await http::async_read(*upstream, upstreamBuffer, responseParser,
                                  asio::redirect_error(asio::use_awaitable, ec));
      upstream->close(ec);
      if (!responseParser.is_done()) {
        if (co_await answer(http::status::bad_gateway, "Upstream answer failed", true))
          continue;
        break;
      }
      http::response<http::string_body> response = responseParser.release();
      Log("proxy: " + std::string(request.method_string()) + " " + target + " " +
          std::to_string(response.result_int()));
      response.keep_alive(keepAlive);
      co_await http::async_write(client, response, asio::redirect_error(asio::use_awaitable, ec));
      if (ec || !keepAlive)
        break;
    }
  } catch (const std::exception& e) {
    Log(std::string("proxy connection failed: ") + e.what());
  }
  boost::system::error_code ignored;
  if (client.socket().is_open())
    client.socket().shutdown(tcp::socket::shutdown_send, ignored);
}

}  // namespace kesta::service
