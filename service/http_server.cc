#include "http_server.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <map>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core.hpp>

#include "log.h"

namespace kesta::service {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using nlohmann::json;

namespace {

constexpr size_t kBodyLimit = 4 * 1024 * 1024;
constexpr auto kIdleTimeout = std::chrono::seconds(60);
constexpr const char* kGenerationHeader = "X-KESTA-Generation";
constexpr const char* kClientUserAgent = "KESTA local service";

std::string Dump(const json& value) {
  // Paths and bodies come from the network: never let a stray byte throw.
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

void SetJson(HttpServer::Response& response, int status, const json& body) {
  response.result(static_cast<http::status>(status));
  response.set(http::field::content_type, "application/json; charset=utf-8");
  response.body() = Dump(body);
}

void SetError(HttpServer::Response& response, int status, const std::string& text) {
  SetJson(response, status, json{{"error", text}});
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The endpoints of the client's own HTTP client, with their methods.
const std::map<std::string, http::verb>& ClientEndpoints() {
  static const std::map<std::string, http::verb> endpoints = {
      {"/api/info", http::verb::get},           {"/api/host", http::verb::post},
      {"/api/launch", http::verb::post},        {"/api/updates/accept", http::verb::post},
      {"/api/updates/defer", http::verb::post}, {"/api/service-upgrade", http::verb::post}};
  return endpoints;
}

// Equal strings take the same time to compare whatever the first mismatch.
bool SameSecret(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i)
    difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

}  // namespace

HttpServer::HttpServer(asio::io_context& io, ServiceState& state, ResourceStore& store, Setup setup)
    : io_(io), state_(state), store_(store), setup_(std::move(setup)), acceptor_(io) {}

bool HttpServer::Listen(uint16_t port, std::string& error) {
  boost::system::error_code ec;
  const tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), port);
  // No address reuse: a second service on the same port must fail here,
  // before it touches the token of the one already running.
  acceptor_.open(endpoint.protocol(), ec);
  if (!ec)
    acceptor_.bind(endpoint, ec);
  if (!ec)
    acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) {
    error = ec.message();
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    return false;
  }
  return true;
}

void HttpServer::Start() {
  asio::co_spawn(io_, AcceptLoop(), asio::detached);
}

bool HttpServer::EnsureProxy(std::string& error) {
  if (proxy_)
    return true;
  auto check = [this](const LoopbackProxy::Request& request) {
    const std::string target(request.target());
    // The destination: "host:port" of a CONNECT, else of the absolute URL.
    std::string authority = target;
    if (request.method() != http::verb::connect) {
      const size_t start = target.find("://");
      authority = start == std::string::npos ? "" : target.substr(start + 3);
      authority = authority.substr(0, authority.find('/'));
    }
    std::vector<std::pair<std::string, std::string>> headers;
    for (const auto& field : request)
      headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    const bool toService = HostNames(authority, state_.localOrigin()) || SiteName(authority);
    for (const std::string& violation :
         ProxiedViolations(headers, target, toService, setup_.token, setup_.earlierTokens))
      state_.RecordViolation(violation, std::string(request.method_string()), target);
  };
  auto proxy = std::make_unique<LoopbackProxy>(io_, setup_.token, check);
  if (!proxy->Listen(error))
    return false;
  proxy->Start();
  state_.SetProxyPort(proxy->port());
  Log("loopback proxy listening on 127.0.0.1:" + std::to_string(proxy->port()));
  proxy_ = std::move(proxy);
  return true;
}

asio::awaitable<void> HttpServer::AcceptLoop() {
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

asio::awaitable<void> HttpServer::Session(tcp::socket socket) {
  beast::tcp_stream stream(std::move(socket));
  beast::flat_buffer buffer;
  try {
    for (;;) {
      http::request_parser<http::string_body> parser;
      parser.body_limit(kBodyLimit);
      stream.expires_after(kIdleTimeout);
      boost::system::error_code ec;
      co_await http::async_read(stream, buffer, parser, asio::redirect_error(asio::use_awaitable, ec));
      if (ec == http::error::end_of_stream)
        break;
      if (ec) {
        // A malformed request gets a 400 and the connection ends; anything
        // else (a reset, the idle time-out) just ends it.
        if (ec.category() == http::make_error_code(http::error::bad_target).category()) {
          Response response;
          SetError(response, 400, "bad request: " + ec.message());
          response.keep_alive(false);
          response.prepare_payload();
          co_await http::async_write(stream, response, asio::redirect_error(asio::use_awaitable, ec));
        }
        break;
      }
      Request request = parser.release();
      const std::string target(request.target());
      const std::string path = target.substr(0, target.find('?'));
      // One heartbeat exchange at a time, about a second apart.
      std::vector<std::string> paced;
      HeartbeatPacing::Request exchange;
      if (path == "/api/host") {
        const json heartbeat = json::parse(request.body(), nullptr, false);
        const bool hasPid = heartbeat.is_object() && heartbeat.contains("pid") && heartbeat["pid"].is_number_integer();
        const int64_t pid = hasPid ? heartbeat["pid"].get<int64_t>() : -1;
        const json windows = heartbeat.is_object() ? heartbeat.value("gameWindowCount", json(0)) : json(0);
        if (state_.UpgradeDue() && !pacing_.Knows(pid))
          paced.push_back("a heartbeat after an info document that called for a service upgrade");
        for (std::string& problem : pacing_.HostArrived(pid, windows.is_number() && windows.get<double>() > 0,
                                                        HeartbeatPacing::Clock::now(), exchange))
          paced.push_back(std::move(problem));
      } else if (path == "/api/launch") {
        paced = pacing_.LaunchArrived(HeartbeatPacing::Clock::now(), exchange);
      }
      for (const std::string& problem : paced)
        state_.RecordViolation(problem, std::string(request.method_string()), target);
      auto answered = [&] {
        if (path == "/api/host")
          pacing_.HostAnswered(exchange, HeartbeatPacing::Clock::now());
        else if (path == "/api/launch")
          pacing_.LaunchAnswered(exchange, HeartbeatPacing::Clock::now());
      };

      Response response;
      bool drop = false;
      co_await Handle(request, response, drop);
      if (drop) {
        answered();
        Log(std::string(request.method_string()) + " " + target + " dropped");
        break;
      }
      const bool routine =
          (StartsWith(target, "/api/host") || StartsWith(target, "/api/launch") || StartsWith(target, "/__control/")) &&
          response.result() == http::status::ok;
      if (!routine) {
        Log(std::string(request.method_string()) + " " + target + " " + std::to_string(response.result_int()));
      }
      response.version(request.version());
      response.keep_alive(request.keep_alive() && !stopping_);
      if (request.method() == http::verb::head) {
        const size_t length = response.body().size();
        response.body().clear();
        response.content_length(length);
      } else {
        response.prepare_payload();
      }
      stream.expires_after(kIdleTimeout);
      co_await http::async_write(stream, response, asio::redirect_error(asio::use_awaitable, ec));
      answered();
      if (handingOver_ && path == "/api/service-upgrade") {
        // The successor binds the port once this process has let it go;
        // until then connections are refused.
        Log("handing the port over to the upgraded service");
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
        setup_.handOver(state_);
        io_.stop();
        co_return;
      }
      if (ec)
        break;
      if (stopping_) {
        Log("shutting down");
        io_.stop();
        co_return;
      }
      if (!response.keep_alive())
        break;
    }
  } catch (const std::exception& e) {
    Log(std::string("connection failed: ") + e.what());
  }
  boost::system::error_code ignored;
  stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
}

bool HttpServer::Authorized(const Request& request) const {
  return SameSecret(std::string(request[http::field::authorization]), "Bearer " + setup_.token);
}

bool HttpServer::SiteName(const std::string& host) const {
  bool site = HostNames(host, state_.siteOrigin());
  for (const std::string& origin : state_.admissionOrigins())
    site = site || HostNames(host, origin);
  return site;
}

std::vector<std::string> HttpServer::Violations(const Request& request, const std::string& path) const {
  std::vector<std::string> found;
  const std::string target(request.target());
  const size_t mark = target.find('?');
  const std::string query = mark == std::string::npos ? "" : target.substr(mark + 1);
  const bool api = StartsWith(path, "/api/");
  const auto endpoint = ClientEndpoints().find(path);
  const std::string& token = setup_.token;

  // The client addresses the service as its loopback origin; pages also as
  // their site origin when that is another name of the loopback host. Under
  // any other name the client takes the service for a foreign origin: it
  // sends none of its own headers there, and that is all there is to check.
  const std::string host(request[http::field::host]);
  const bool local = HostNames(host, state_.localOrigin());
  const bool siteName = !local && SiteName(host);
  const bool addressed = local || siteName;
  // The token goes as "Bearer <token>" in the one Authorization header and
  // nowhere else; only pages of a game served straight from the service
  // load its files without it.
  const size_t authorizations = request.count(http::field::authorization);
  const std::string sent(request[http::field::authorization]);
  const bool bearer = authorizations == 1 && Authorized(request);
  const bool pageLoad = !api && !bearer && (siteName || state_.PageOrigin(state_.localOrigin()));
  // A client of a service this one replaced still has that one's token;
  // one waiting for this service to start may also have read no token yet.
  const std::vector<std::string>& earlier = setup_.earlierTokens;
  const bool staleToken = authorizations == 1 && StartsWith(sent, "Bearer ") &&
                          std::find(earlier.begin(), earlier.end(), std::string_view(sent).substr(7)) != earlier.end();
  const bool startingUp = path == "/api/info" && authorizations == 1 && sent == "Bearer";
  if (addressed && !bearer && !pageLoad && !staleToken && !startingUp)
    found.push_back(authorizations == 0 ? "no bearer token" : "an Authorization header other than \"Bearer <token>\"");
  if (!addressed && bearer)
    found.push_back("the bearer token sent to the service under another name");
  if (siteName && bearer && !api)
    found.push_back("the bearer token on a page's request for a file");
  // Pages never reach the launch and the update endpoints, however they
  // spell the path for a router that decodes it: only the client's WinHTTP
  // requests do, with its headers alone.
  const std::string routed = RoutedPath(path);
  if (addressed && (routed == "/api/launch" || StartsWith(routed, "/api/updates/"))) {
    std::string page;
    if (request[http::field::user_agent] != kClientUserAgent)
      page = "user agent \"" + std::string(request[http::field::user_agent]) + "\"";
    for (const auto& field : request) {
      if (!ClientHttpHeader(Lower(std::string(field.name_string()))))
        page += (page.empty() ? "" : ", ") + std::string("header ") + std::string(field.name_string());
    }
    if (!page.empty())
      found.push_back("a page's request for " + routed + " (" + page + ")");
  }
  for (const auto& field : request) {
    const std::string name = Lower(std::string(field.name_string()));
    const std::string value(field.value());
    if (name == "proxy-authorization") {
      found.push_back("a Proxy-Authorization header on a direct request");
    } else if (name == "authorization") {
      if (!SameSecret(value, "Bearer " + token) && CarriesToken(value, token))
        found.push_back("the token in an Authorization header other than its bearer form");
    } else if (name == "x-kesta-generation" && !addressed) {
      found.push_back("X-KESTA-Generation sent to the service under another name");
    } else if (CarriesToken(value, token)) {
      found.push_back("the token in the " + std::string(field.name_string()) + " header");
    }
  }
  if (CarriesToken(query, token))
    found.push_back("the token in the query");
  if (!addressed)
    return found;

  if (endpoint != ClientEndpoints().end()) {
    if (request.method() != endpoint->second)
      found.push_back(std::string(request.method_string()) + " where " +
                      std::string(http::to_string(endpoint->second)) + " belongs");
    const std::string type(request[http::field::content_type]);
    if (type != "application/json")
      found.push_back("Content-Type \"" + type + "\" instead of application/json");
    if (mark != std::string::npos)
      found.push_back("a query on the client's endpoint");
    const std::string& body = request.body();
    if (path == "/api/info" && !body.empty())
      found.push_back("a body on " + path);
    if ((path == "/api/launch" || path == "/api/service-upgrade") && body != "{}")
      found.push_back("body " + Dump(body) + " instead of {}");
    if (path == "/api/service-upgrade" && !state_.UpgradeDue())
      found.push_back("an upgrade the last info document did not call for");
    if (path == "/api/host") {
      for (std::string& problem : HeartbeatViolations(body, kCurrentVersion))
        found.push_back(std::move(problem));
      HeartbeatValueViolations(body, found);
    }
    if (StartsWith(path, "/api/updates/")) {
      const auto revision = UpdateRequestRevision(body);
      if (!revision)
        found.push_back("update body " + Dump(body) + " instead of {\"revision\":<integer>}");
      else if (!state_.PendingReported(*revision))
        found.push_back("revision " + std::to_string(*revision) + " of no pending update the service reported");
    }
    return found;
  }

  // Everything else comes from a game page, through the client's resource
  // handler or its access rules: with the page's generation, empty when its
  // window has none.
  const size_t generations = request.count(kGenerationHeader);
  const std::string generation(request[kGenerationHeader]);
  if (generations == 0)
    found.push_back("no X-KESTA-Generation header");
  else if (generations > 1)
    found.push_back("more than one X-KESTA-Generation header");
  else if (!generation.empty() && !state_.Reported(generation))
    found.push_back("X-KESTA-Generation \"" + generation + "\" names no generation the service reported");
  else if (!api && bearer && local)
    ResourceViolations(request, path, found);
  return found;
}

// What the service sent that a heartbeat echoes: command ids, activations
// and generations.
void HttpServer::HeartbeatValueViolations(const std::string& body, std::vector<std::string>& found) const {
  const json heartbeat = json::parse(body, nullptr, false);
  if (!heartbeat.is_object())
    return;
  const json after = heartbeat.value("after", json());
  if (after.is_number() && after.get<double>() > static_cast<double>(state_.HighestCommandId()))
    found.push_back("heartbeat \"after\" " + after.dump() + " above the highest command id " +
                    std::to_string(state_.HighestCommandId()));
  const json revision = heartbeat.value("proxyRevision", json());
  if (revision.is_number() && revision.get<double>() != -1 && !state_.ActivationSent(revision.get<double>()))
    found.push_back("heartbeat \"proxyRevision\" " + revision.dump() + " is no activation the service sent");
  const json windows = heartbeat.value("windows", json());
  for (const json& window : windows.is_array() ? windows : json::array()) {
    const json generation = window.is_object() ? window.value("generation", json()) : json();
    if (generation.is_string() && !generation.get<std::string>().empty() &&
        !state_.Reported(generation.get<std::string>()))
      found.push_back("heartbeat window generation " + generation.dump() + " names no generation the service reported");
  }
}

// A request of the client's resource handler: only the page's Range and
// Content-Type beside its own headers; a path its generation binds, pool
// paths encoded as the client encodes them and without a query.
void HttpServer::ResourceViolations(const Request& request,
                                    const std::string& path,
                                    std::vector<std::string>& found) const {
  for (const auto& field : request) {
    const std::string name = Lower(std::string(field.name_string()));
    if (!NetworkStackHeader(name) && name != "authorization" && name != "x-kesta-generation" && name != "range" &&
        name != "content-type")
      found.push_back("the page's " + std::string(field.name_string()) + " header on the resource handler's request");
  }
  const std::string generation(request[kGenerationHeader]);
  if (generation.empty())
    return;
  const std::string poolPrefix = "/__pool/";
  if (StartsWith(path, poolPrefix)) {
    if (std::string(request.target()).find('?') != std::string::npos)
      found.push_back("a query on a pool path");
    const std::string rest = path.substr(poolPrefix.size());
    const size_t slash = rest.find('/');
    const std::string pool = rest.substr(0, slash);
    const std::string name = slash == std::string::npos ? "" : rest.substr(slash + 1);
    bool bound = false;
    bool encoded = false;
    if (pool == "engine" || pool == "maps" || pool == "art") {
      const auto manifest = state_.BoundManifest(generation, pool);
      const json* bindings = manifest && manifest->contains("bindings") ? &manifest->at("bindings") : nullptr;
      if (bindings && bindings->is_object()) {
        for (const auto& [url, file] : bindings->items()) {
          if (!file.is_string())
            continue;
          if (EncodePoolName(file.get<std::string>()) == name)
            bound = encoded = true;
          else if (PercentDecode(name) == file.get<std::string>())
            bound = true;
        }
      }
    }
    if (!bound)
      found.push_back("a pool path that generation \"" + generation + "\" does not bind");
    else if (!encoded)
      found.push_back("a pool path not encoded as the client encodes it");
    return;
  }
  const std::string decoded = DecodeLikeTheClient(path);
  bool bound = decoded == "/" || decoded == "/__client/bridge.js" || decoded == "/__client/game-observer.js";
  if (!bound) {
    if (const auto manifest = state_.BoundManifest(generation, "engine")) {
      const auto files = manifest->find("files");
      bound =
          files != manifest->end() && files->is_object() && decoded.size() > 1 && files->contains(decoded.substr(1));
    }
  }
  if (!bound)
    found.push_back("a path that generation \"" + generation + "\" does not bind");
}

asio::awaitable<void> HttpServer::Handle(const Request& request, Response& response, bool& drop) {
  const std::string target(request.target());
  const std::string path = target.substr(0, target.find('?'));
  state_.RecordRequest({{"method", std::string(request.method_string())},
                        {"target", target},
                        {"generation", std::string(request[kGenerationHeader])},
                        {"range", std::string(request[http::field::range])},
                        {"authorized", Authorized(request)}});
  if (!StartsWith(path, "/__control/")) {
    for (const std::string& violation : Violations(request, path))
      state_.RecordViolation(violation, std::string(request.method_string()), target);
  }
  if (StartsWith(path, "/__control/")) {
    if (setup_.control) {
      HandleControl(request, path, response);
    } else {
      SetError(response, 404, "control is not enabled");
    }
    co_return;
  }
  if (const auto fault = state_.TakeFault(path)) {
    if (fault->delayMs > 0) {
      asio::steady_timer timer(io_, std::chrono::milliseconds(fault->delayMs));
      boost::system::error_code ec;
      co_await timer.async_wait(asio::redirect_error(asio::use_awaitable, ec));
    }
    if (fault->drop) {
      drop = true;
      co_return;
    }
    if (fault->status != 0) {
      response.result(static_cast<http::status>(fault->status));
      response.set(http::field::content_type, "text/plain");
      response.body() = fault->body;
      co_return;
    }
  }
  if (StartsWith(path, "/api/")) {
    HandleApi(request, path, response);
  } else {
    HandleFile(request, path, response);
  }
}

void HttpServer::HandleApi(const Request& request, const std::string& path, Response& response) {
  if (!Authorized(request)) {
    response.set(http::field::www_authenticate, "Bearer");
    SetError(response, 401, "a valid bearer token is required");
    return;
  }
  struct Route {
    const char* path;
    http::verb method;
  };
  static const Route routes[] = {{"/api/info", http::verb::get},           {"/api/host", http::verb::post},
                                 {"/api/launch", http::verb::post},        {"/api/updates/accept", http::verb::post},
                                 {"/api/updates/defer", http::verb::post}, {"/api/service-upgrade", http::verb::post},
                                 {"/api/game/status", http::verb::get}};
  const Route* route = nullptr;
  for (const Route& candidate : routes) {
    if (path == candidate.path)
      route = &candidate;
  }
  if (!route) {
    SetError(response, 404, "no such endpoint");
    return;
  }
  if (request.method() != route->method) {
    response.set(http::field::allow, http::to_string(route->method));
    SetError(response, 405, "method not allowed");
    return;
  }
  const std::string& body = request.body();
  Reply reply;
  if (path == "/api/info") {
    reply = {200, state_.Shape(state_.Info())};
  } else if (path == "/api/host") {
    reply = state_.Host(body);
    reply.body = state_.Shape(std::move(reply.body));
  } else if (path == "/api/launch") {
    reply = {200, state_.Shape(state_.Launch())};
  } else if (path == "/api/updates/accept") {
    reply = state_.Accept(body);
  } else if (path == "/api/updates/defer") {
    reply = state_.Defer(body);
  } else if (path == "/api/service-upgrade") {
    reply = state_.ServiceUpgrade();
    handingOver_ = reply.status == 200 && setup_.handOver != nullptr;
  } else {
    // For game pages: which generation their requests are served from.
    const std::string header(request[kGenerationHeader]);
    reply = {200,
             json{{"generation", header.empty() ? state_.generation() : header}, {"current", state_.generation()}}};
  }
  SetJson(response, reply.status, reply.body);
}

void HttpServer::HandleControl(const Request& request, const std::string& path, Response& response) {
  if (!Authorized(request)) {
    SetError(response, 401, "a valid bearer token is required");
    return;
  }
  if (path == "/__control/journal" && request.method() == http::verb::get) {
    SetJson(response, 200, state_.Journal());
  } else if (path == "/__control/state" && request.method() == http::verb::post) {
    const json patch = json::parse(request.body(), nullptr, false);
    std::string error;
    if (state_.WantsProxy(patch) && !EnsureProxy(error)) {
      SetError(response, 500, "cannot start the loopback proxy: " + error);
      return;
    }
    const Reply reply = state_.Control(patch);
    SetJson(response, reply.status, reply.body);
  } else if (path == "/__control/shutdown" && request.method() == http::verb::post) {
    stopping_ = true;
    SetJson(response, 200, json{{"ok", true}});
  } else {
    SetError(response, 404, "no such control endpoint");
  }
}

void HttpServer::HandleFile(const Request& request, const std::string& path, Response& response) {
  if (request.method() != http::verb::get && request.method() != http::verb::head) {
    response.set(http::field::allow, "GET, HEAD");
    SetError(response, 405, "method not allowed");
    return;
  }
  // Page requests reach the service without a token when the game is served
  // straight from the loopback origin; a wrong token is still refused.
  if (request.count(http::field::authorization) && !Authorized(request)) {
    SetError(response, 401, "invalid bearer token");
    return;
  }
  const std::string generationHeader(request[kGenerationHeader]);
  std::optional<std::filesystem::path> file;
  std::string servedGeneration;
  if (path == "/__client/bridge.js" || path == "/__client/game-observer.js") {
    file = setup_.clientScripts / path.substr(std::string("/__client/").size());
  } else {
    const auto generation = state_.ServedGeneration(generationHeader);
    if (!generation) {
      SetError(response, 404, "unknown generation: " + generationHeader);
      return;
    }
    servedGeneration = generationHeader.empty() ? state_.generation() : generationHeader;
    const std::string poolPrefix = "/__pool/";
    if (StartsWith(path, poolPrefix)) {
      const std::string rest = path.substr(poolPrefix.size());
      const size_t slash = rest.find('/');
      const std::string pool = rest.substr(0, slash);
      const auto name = slash == std::string::npos ? std::nullopt : PercentDecode(rest.substr(slash + 1));
      if (name && (pool == "engine" || pool == "maps" || pool == "art"))
        file = store_.PoolFile(pool, *name, *generation, state_.bundled());
    } else if (const auto decoded = PercentDecode(path)) {
      file = store_.OriginFile(*decoded, *generation, state_.bundled());
    }
  }
  const auto content = file ? ReadWholeFile(*file) : std::nullopt;
  if (!content) {
    SetError(response, 404, "not found");
    return;
  }
  response.set(http::field::content_type, MimeType(*file));
  response.set(http::field::accept_ranges, "bytes");
  response.set(http::field::cache_control, "no-store");
  // Game pages fetch bound files of other origins.
  response.set(http::field::access_control_allow_origin, "*");
  if (!servedGeneration.empty())
    response.set(kGenerationHeader, servedGeneration);
  ByteRange range;
  switch (ParseRange(std::string(request[http::field::range]), content->size(), range)) {
    case RangeKind::kNone:
      response.result(http::status::ok);
      response.body() = *content;
      break;
    case RangeKind::kSatisfiable:
      response.result(http::status::partial_content);
      response.set(http::field::content_range, "bytes " + std::to_string(range.first) + "-" +
                                                   std::to_string(range.last) + "/" + std::to_string(content->size()));
      response.body() = content->substr(range.first, range.last - range.first + 1);
      break;
    case RangeKind::kUnsatisfiable:
      response.result(http::status::range_not_satisfiable);
      response.set(http::field::content_range, "bytes */" + std::to_string(content->size()));
      response.body().clear();
      break;
  }
}

}  // namespace kesta::service
