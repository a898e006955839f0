#include "support/loopback_http.h"

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include <utility>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace kesta::testing {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

RecordedRequest Record(const http::request<http::string_body>& req) {
  RecordedRequest r;
  r.method = std::string(req.method_string());
  r.target = std::string(req.target());
  for (const auto& field : req)
    r.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
  r.body = req.body();
  return r;
}

std::string ReasonFor(int status) {
  auto reason = http::obsolete_reason(static_cast<http::status>(status));
  return reason.empty() ? "Unknown" : std::string(reason.data(), reason.size());
}

std::string Serialize(const CannedResponse& c, size_t announced_length, bool announce_close = true) {
  std::string text =
      "HTTP/1.1 " + std::to_string(c.status) + " " + (c.reason.empty() ? ReasonFor(c.status) : c.reason) + "\r\n";
  bool has_length = false;
  for (const auto& [name, value] : c.headers) {
    if (EqualsIgnoreCase(name, "content-length") || EqualsIgnoreCase(name, "transfer-encoding"))
      has_length = true;
    text += name + ": " + value + "\r\n";
  }
  if (!has_length)
    text += "Content-Length: " + std::to_string(announced_length) + "\r\n";
  if (announce_close)
    text += "Connection: close\r\n";
  return text + "\r\n" + c.body;
}

// Accept loop and io_context on one thread, shared by both servers.
class ServerCore {
 public:
  using OnAccept = std::function<void(tcp::socket)>;

  explicit ServerCore(OnAccept on_accept) : acceptor_(context_), on_accept_(std::move(on_accept)) {
    tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), 0);
    acceptor_.open(endpoint.protocol());
    acceptor_.bind(endpoint);
    acceptor_.listen();
    port_ = acceptor_.local_endpoint().port();
    Accept();
    thread_ = std::thread([this] { context_.run(); });
  }

  ~ServerCore() { Stop(); }

  void Stop() {
    if (!thread_.joinable())
      return;
    asio::post(context_, [this] {
      boost::system::error_code ignored;
      acceptor_.close(ignored);
    });
    context_.stop();
    thread_.join();
  }

  asio::io_context& context() { return context_; }
  int port() const { return port_; }

 private:
  void Accept() {
    acceptor_.async_accept([this](const boost::system::error_code& ec, tcp::socket socket) {
      if (ec)
        return;
      on_accept_(std::move(socket));
      Accept();
    });
  }

  asio::io_context context_;  // first: outlives the sockets it serves
  tcp::acceptor acceptor_;
  OnAccept on_accept_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoreCase(key, name))
      return value;
  }
  return std::string();
}

bool RecordedRequest::HasHeader(const std::string& name) const {
  for (const auto& entry : headers) {
    if (EqualsIgnoreCase(entry.first, name))
      return true;
  }
  return false;
}

std::string Base64(const std::string& in) {
  static const char kTable[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  while (i + 2 < in.size()) {
    unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8) |
                 static_cast<unsigned char>(in[i + 2]);
    out += kTable[v >> 18];
    out += kTable[(v >> 12) & 63];
    out += kTable[(v >> 6) & 63];
    out += kTable[v & 63];
    i += 3;
  }
  if (i + 1 == in.size()) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    out += kTable[v >> 18];
    out += kTable[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == in.size()) {
    unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8);
    out += kTable[v >> 18];
    out += kTable[(v >> 12) & 63];
    out += kTable[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

// Origin server

class LoopbackHttpServer::Impl {
 public:
  explicit Impl(Handler handler)
      : handler_(std::move(handler)), core_([this](tcp::socket s) { Serve(std::move(s)); }) {}

  ~Impl() { core_.Stop(); }

  struct Session : std::enable_shared_from_this<Session> {
    Session(Impl* server, tcp::socket socket, int id) : server(server), socket(std::move(socket)), id(id) {}
    Impl* server;
    tcp::socket socket;
    int id;
    beast::flat_buffer buffer;
    http::request<http::string_body> request;
    std::string out;
    char sink[256];
    asio::steady_timer delay{socket.get_executor()};

    void Start() {
      request = {};
      http::async_read(socket, buffer, request,
                       [self = shared_from_this()](const boost::system::error_code& ec, size_t) {
                         if (!ec)
                           self->Respond();
                       });
    }

    void Respond() {
      RecordedRequest recorded = Record(request);
      recorded.connection = id;
      CannedResponse canned;
      if (server->handler_) {
        canned = server->handler_(recorded);
      } else {
        canned.headers.emplace_back("Content-Type", "text/plain");
        canned.body = "ok";
      }
      {
        std::lock_guard<std::mutex> guard(server->lock_);
        server->requests_.push_back(std::move(recorded));
        server->peak_unanswered_ = std::max(server->peak_unanswered_, ++server->unanswered_);
      }
      if (canned.delay_ms <= 0)
        return Send(canned);
      delay.expires_after(std::chrono::milliseconds(canned.delay_ms));
      delay.async_wait([self = shared_from_this(), canned](const boost::system::error_code&) { self->Send(canned); });
    }

    void Answered() {
      std::lock_guard<std::mutex> guard(server->lock_);
      --server->unanswered_;
    }

    void Send(const CannedResponse& canned) {
      if (canned.hang_up) {
        Answered();
        boost::system::error_code ignored;
        socket.shutdown(tcp::socket::shutdown_both, ignored);
        socket.close(ignored);
        return;
      }
      bool hold = canned.hold_after_head;
      bool again = canned.keep_alive && !canned.close_after && !hold;
      bool close_quietly = canned.keep_alive && canned.close_after && !hold;
      out = Serialize(canned, hold ? canned.body.size() + 1000000 : canned.body.size(), !canned.keep_alive);
      asio::async_write(socket, asio::buffer(out),
                        [self = shared_from_this(), hold, again, close_quietly](const boost::system::error_code& ec,
                                                                               size_t) {
                          self->Answered();
                          if (ec)
                            return;
                          if (hold) {
                            self->WaitForClientToLeave();
                          } else if (again) {
                            self->Start();
                          } else if (close_quietly) {
                            boost::system::error_code ignored;
                            self->socket.shutdown(tcp::socket::shutdown_both, ignored);
                            self->socket.close(ignored);
                          } else {
                            boost::system::error_code ignored;
                            self->socket.shutdown(tcp::socket::shutdown_send, ignored);
                            self->Drain();
                          }
                        });
    }

    // Reads until the client closes, so the close is the client's.
    void Drain() {
      socket.async_read_some(asio::buffer(sink),
                             [self = shared_from_this()](const boost::system::error_code& ec, size_t) {
                               if (!ec)
                                 self->Drain();
                             });
    }

    void WaitForClientToLeave() {
      socket.async_read_some(asio::buffer(sink),
                             [self = shared_from_this()](const boost::system::error_code& ec, size_t) {
                               if (!ec)
                                 return self->WaitForClientToLeave();
                               if (ec == asio::error::operation_aborted)
                                 return;
                               {
                                 std::lock_guard<std::mutex> guard(self->server->lock_);
                                 ++self->server->abandoned_;
                               }
                               self->server->changed_.notify_all();
                             });
    }
  };

  void Serve(tcp::socket socket) {
    int id;
    {
      std::lock_guard<std::mutex> guard(lock_);
      id = ++connections_;
    }
    std::make_shared<Session>(this, std::move(socket), id)->Start();
  }

  Handler handler_;
  mutable std::mutex lock_;  // guards requests_, connections_, abandoned_ and the unanswered counts
  mutable std::condition_variable changed_;
  std::vector<RecordedRequest> requests_;
  int connections_ = 0;
  int abandoned_ = 0;
  int unanswered_ = 0;
  int peak_unanswered_ = 0;
  ServerCore core_;  // last: stopped first
};

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : impl_(std::make_unique<Impl>(std::move(handler))) {}
LoopbackHttpServer::~LoopbackHttpServer() = default;

int LoopbackHttpServer::port() const {
  return impl_->core_.port();
}

std::string LoopbackHttpServer::origin() const {
  return "http://127.0.0.1:" + std::to_string(port());
}

std::vector<RecordedRequest> LoopbackHttpServer::requests() const {
  std::lock_guard<std::mutex> guard(impl_->lock_);
  return impl_->requests_;
}

size_t LoopbackHttpServer::request_count() const {
  std::lock_guard<std::mutex> guard(impl_->lock_);
  return impl_->requests_.size();
}

int LoopbackHttpServer::connection_count() const {
  std::lock_guard<std::mutex> guard(impl_->lock_);
  return impl_->connections_;
}

int LoopbackHttpServer::peak_unanswered() const {
  std::lock_guard<std::mutex> guard(impl_->lock_);
  return impl_->peak_unanswered_;
}

int LoopbackHttpServer::abandoned_holds() const {
  std::lock_guard<std::mutex> guard(impl_->lock_);
  return impl_->abandoned_;
}

bool LoopbackHttpServer::WaitForAbandonedHolds(int n, int timeout_ms) const {
  std::unique_lock<std::mutex> guard(impl_->lock_);
  return impl_->changed_.wait_for(guard, std::chrono::milliseconds(timeout_ms), [&] { return impl_->abandoned_ >= n; });
}

// Proxy

class LoopbackProxy::Impl {
 public:
  Impl(std::string user, std::string password, std::string realm)
      : expected_("Basic " + Base64(user + ":" + password)),
        realm_(std::move(realm)),
        core_([this](tcp::socket s) { Serve(std::move(s)); }) {}

  ~Impl() { core_.Stop(); }

  // One request per connection, handled synchronously on the proxy's
  // thread: the origins it forwards to run on threads of their own.
  void Serve(tcp::socket socket) {
    boost::system::error_code ec;
    beast::flat_buffer buffer;
    http::request<http::string_body> request;
    http::read(socket, buffer, request, ec);
    if (ec)
      return;
    RecordedRequest recorded = Record(request);
    std::string credentials = recorded.Header("Proxy-Authorization");
    {
      std::lock_guard<std::mutex> guard(lock_);
      requests_.push_back(recorded);
    }
    std::string reply;
    if (credentials != expected_) {
      {
        std::lock_guard<std::mutex> guard(lock_);
        ++challenges_;
      }
      CannedResponse challenge;
      challenge.status = 407;
      challenge.headers.emplace_back("Proxy-Authenticate", "Basic realm=\"" + realm_ + "\"");
      challenge.headers.emplace_back("Content-Type", "text/plain");
      challenge.body = "proxy authentication required";
      reply = Serialize(challenge, challenge.body.size());
    } else {
      reply = Forward(request);
    }
    asio::write(socket, asio::buffer(reply), ec);
    socket.shutdown(tcp::socket::shutdown_send, ec);
    char sink[256];
    while (!ec)
      socket.read_some(asio::buffer(sink), ec);
  }

  // Sends the request on to its loopback origin; returns the raw answer.
  std::string Forward(http::request<http::string_body> request) {
    std::string target(request.target());
    const std::string prefix = "http://";
    if (target.compare(0, prefix.size(), prefix) != 0)
      return Serialize({502, "", {}, "not an absolute http URL"}, 24);
    size_t slash = target.find('/', prefix.size());
    std::string authority = target.substr(prefix.size(), slash - prefix.size());
    std::string path = slash == std::string::npos ? "/" : target.substr(slash);
    size_t colon = authority.rfind(':');
    std::string host = colon == std::string::npos ? authority : authority.substr(0, colon);
    std::string port = colon == std::string::npos ? "80" : authority.substr(colon + 1);
    if (host == "localhost")
      host = "127.0.0.1";
    request.target(path);
    request.erase(http::field::proxy_authorization);
    request.set(http::field::connection, "close");
    boost::system::error_code ec;
    tcp::socket upstream(core_.context());
    upstream.connect(tcp::endpoint(asio::ip::make_address(host, ec), static_cast<unsigned short>(std::stoi(port))), ec);
    if (ec)
      return Serialize({502, "", {}, "upstream unreachable"}, 20);
    http::write(upstream, request, ec);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    http::read(upstream, buffer, response, ec);
    if (ec && ec != http::error::end_of_stream)
      return Serialize({502, "", {}, "upstream failed"}, 15);
    response.set(http::field::connection, "close");
    response.prepare_payload();
    std::ostringstream text;
    text << response;
    return text.str();
  }

  std::string expected_;
  std::string realm_;
  mutable std::mutex lock_;  // guards requests_ and challenges_
  std::vector<RecordedRequest> requests_;
  int challenges_ = 0;
  ServerCore core_;  // last: stopped first
};

LoopbackProxy::LoopbackProxy(std::string user, std::string password, std::string realm)
    : impl_(std::make_unique<Impl>(std::move(user), std::move(password), std::move(realm))) {}
LoopbackProxy::~LoopbackProxy() = default;

int LoopbackProxy::port() const {
  return impl_->core_.port();
}

std::vector<RecordedRequest> LoopbackProxy::requests() const {
  std::lock_guard<std::mutex> guard(impl_->lock_);
  return impl_->requests_;
}

int LoopbackProxy::challenges_sent() const {
  std::lock_guard<std::mutex> guard(impl_->lock_);
  return impl_->challenges_;
}

}  // namespace kesta::testing
