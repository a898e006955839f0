// kesta-service.exe itself, started under Wine on a bundle of its own with a
// free port, and spoken to over loopback HTTP.
#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/detail/base64.hpp>

#include "service/service_harness_win.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace fs = std::filesystem;
using tcp = asio::ip::tcp;
using kesta::testing::ConnectLoopback;
using kesta::testing::Heartbeat;
using kesta::testing::HttpAnswer;
using kesta::testing::HttpExchange;
using kesta::testing::HttpSend;
using kesta::testing::ReadTextFile;
using kesta::testing::ServiceHarness;
using kesta::testing::WindowsPath;
using nlohmann::json;

// A game page's request headers, on the bundled generation.
const std::map<std::string, std::string> kPage = {{"X-KESTA-Generation", "bundled"}};
// A Basic Authorization value for "user:password".
std::string Basic(const std::string& credentials) {
  std::string encoded(beast::detail::base64::encoded_size(credentials.size()), '\0');
  encoded.resize(beast::detail::base64::encode(encoded.data(), credentials.data(), credentials.size()));
  return "Basic " + encoded;
}

class ServiceProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    // A data directory with Chinese letters and a blank reaches the service
    // only through its Unicode command line.
    service_ = std::make_unique<ServiceHarness>(WindowsPath(KESTA_SERVICE_EXE), WindowsPath(KESTA_SAMPLE_RESOURCES),
                                                fs::temp_directory_path() / ("kesta-service-" + std::to_string(seed())),
                                                L"数据 目录");
    port_ = service_->port();
    bundle_ = service_->bundle();
    data_ = service_->data();
    Start({L"--control"});
  }

  void Start(const std::vector<std::wstring>& extra) {
    ASSERT_TRUE(service_->Start(extra)) << service_->failure() << "\n"
                                        << ReadTextFile(service_->root() / "service.log");
    token_ = service_->token();
  }
  void Restart(const std::vector<std::wstring>& extra) {
    service_->Stop();
    Start(extra);
  }

  std::map<std::string, std::string> Bearer() const { return service_->Bearer(); }
  HttpAnswer Api(http::verb method, const std::string& target, const std::string& body = "") {
    return service_->Api(method, target, body);
  }
  HttpAnswer Control(const std::string& target, const json& body) { return service_->Control(target, body); }
  HttpAnswer File(const std::string& target, const std::map<std::string, std::string>& headers = {}) {
    return service_->File(target, headers);
  }
  json Info() { return service_->Info(); }
  // The protocol violations logged since the last look, all in one text.
  std::string Violations() {
    std::string all;
    for (const std::string& violation : service_->TakeViolations())
      all += violation + "\n";
    return all;
  }
  // Takes the violations a step made on purpose, each once; any other
  // still fails the test.
  void ExpectViolations(std::vector<std::string> expected) {
    for (const std::string& violation : service_->TakeViolations()) {
      const auto it = std::find(expected.begin(), expected.end(), violation);
      if (it != expected.end())
        expected.erase(it);
      else
        ADD_FAILURE() << "protocol violation: " << violation;
    }
    for (const std::string& missing : expected)
      ADD_FAILURE() << "no violation: " << missing;
  }

  std::unique_ptr<ServiceHarness> service_;
  fs::path bundle_, data_;
  uint16_t port_ = 0;
  std::string token_;
};

TEST_F(ServiceProcessTest, EndpointsAnswerWithTheirDocumentsOnlyToTheToken) {
  EXPECT_GE(token_.size(), 32u);
  EXPECT_EQ(token_.find_first_of(" \r\n"), std::string::npos);
  EXPECT_EQ(HttpSend(port_, http::verb::get, "/api/info").status, 401);
  EXPECT_EQ(HttpSend(port_, http::verb::get, "/api/info", {{"Authorization", "Bearer " + token_ + "0"}}).status, 401);
  EXPECT_EQ(HttpSend(port_, http::verb::post, "/api/host", {{"Authorization", token_}}, Heartbeat(6)).status, 401);
  const std::string noType = "Content-Type \"\" instead of application/json ";
  ExpectViolations({"no bearer token (GET /api/info)", noType + "(GET /api/info)",
                    "an Authorization header other than \"Bearer <token>\" (GET /api/info)",
                    "the token in an Authorization header other than its bearer form (GET /api/info)",
                    noType + "(GET /api/info)",
                    "an Authorization header other than \"Bearer <token>\" (POST /api/host)",
                    "the token in an Authorization header other than its bearer form (POST /api/host)",
                    noType + "(POST /api/host)"});

  const json info = Info();
  EXPECT_EQ(info["serviceVersion"], "0.6.12");
  const json& state = info["state"];
  ASSERT_TRUE(state.is_object());
  EXPECT_EQ(state["siteOrigin"], "http://127.0.0.1:" + std::to_string(port_));
  EXPECT_EQ(state["generation"], "bundled");
  EXPECT_EQ(state["generations"]["bundled"], json({{"engine", "1.0.0"}, {"maps", "1.0.0"}, {"art", "1.0.0"}}));
  EXPECT_EQ(state["bundleRoot"], bundle_.string() + "/pools");
  EXPECT_EQ(state["browserProxy"], json({{"mode", "direct"}}));
  EXPECT_FALSE(state["networkEnforced"].get<bool>());
  EXPECT_FALSE(state.contains("pending"));

  const HttpAnswer host = Api(http::verb::post, "/api/host", Heartbeat(7));
  ASSERT_EQ(host.status, 200);
  EXPECT_TRUE(host.Json()["state"].is_object());
  EXPECT_EQ(host.Json()["commands"], json::array());
  const HttpAnswer launch = Api(http::verb::post, "/api/launch", "{}");
  ASSERT_EQ(launch.status, 200);
  EXPECT_EQ(launch.Json()["ready"], true) << "a JSON boolean, as the client demands";
  EXPECT_TRUE(launch.Json()["state"].is_object());

  EXPECT_EQ(Violations(), "") << "the client's requests as it makes them";
  EXPECT_EQ(Api(http::verb::post, "/api/host", "not json").status, 400);
  EXPECT_EQ(Api(http::verb::post, "/api/info", "{}").status, 405);
  EXPECT_EQ(Api(http::verb::get, "/api/launch").status, 405);
  EXPECT_EQ(Api(http::verb::get, "/api/unknown").status, 404);
  ExpectViolations({"heartbeat is not a JSON object (POST /api/host)", "POST where GET belongs (POST /api/info)",
                    "a body on /api/info (POST /api/info)", "GET where POST belongs (GET /api/launch)",
                    "body \"\" instead of {} (GET /api/launch)", "no X-KESTA-Generation header (GET /api/unknown)"});

  const json journal = Api(http::verb::get, "/__control/journal").Json();
  EXPECT_EQ(journal["heartbeats"], 1);
  EXPECT_EQ(journal["lastHeartbeat"]["pid"], 7);
}

// The client talks to the service through WinHTTP, the way it is set up there.
std::pair<DWORD, std::string> WinHttpExchange(uint16_t port,
                                              const std::wstring& path,
                                              const std::string& token,
                                              const std::string& body) {
  using Handle = std::unique_ptr<void, decltype(&WinHttpCloseHandle)>;
  Handle session(WinHttpOpen(L"KESTA local service", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0),
                 &WinHttpCloseHandle);
  if (!session)
    return {0, ""};
  DWORD timeout = 3000;
  WinHttpSetOption(session.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &timeout, sizeof timeout);
  Handle connection(WinHttpConnect(session.get(), L"127.0.0.1", port, 0), &WinHttpCloseHandle);
  if (!connection)
    return {0, ""};
  Handle request(WinHttpOpenRequest(connection.get(), body.empty() ? L"GET" : L"POST", path.c_str(), nullptr,
                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0),
                 &WinHttpCloseHandle);
  if (!request)
    return {0, ""};
  DWORD flags = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &flags, sizeof flags);
  const std::wstring headers =
      L"Authorization: Bearer " + std::wstring(token.begin(), token.end()) + L"\r\nContent-Type: application/json\r\n";
  if (!WinHttpSendRequest(request.get(), headers.c_str(), static_cast<DWORD>(-1), const_cast<char*>(body.data()),
                          static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr))
    return {0, ""};
  DWORD status = 0;
  DWORD size = sizeof status;
  WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  std::string received;
  for (;;) {
    char chunk[4096];
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), chunk, sizeof chunk, &read) || read == 0)
      break;
    received.append(chunk, read);
  }
  return {status, received};
}

TEST_F(ServiceProcessTest, TheClientsWinHttpRequestsAreAnswered) {
  const auto [infoStatus, info] = WinHttpExchange(port_, L"/api/info", token_, "");
  EXPECT_EQ(infoStatus, 200u);
  EXPECT_TRUE(json::parse(info, nullptr, false)["state"].is_object());
  const auto [hostStatus, host] = WinHttpExchange(port_, L"/api/host", token_, Heartbeat(1));
  EXPECT_EQ(hostStatus, 200u);
  EXPECT_TRUE(json::parse(host, nullptr, false)["state"].is_object());
  EXPECT_EQ(WinHttpExchange(port_, L"/api/launch", token_, "{}").first, 200u);
  EXPECT_EQ(Violations(), "") << "requests made as the client makes them";
  EXPECT_EQ(WinHttpExchange(port_, L"/api/host", token_, Heartbeat(2)).first, 200u);
  EXPECT_EQ(WinHttpExchange(port_, L"/api/launch", "wrong", "{}").first, 401u);
  EXPECT_EQ(Violations(), "an Authorization header other than \"Bearer <token>\" (POST /api/launch)\n");
}

TEST_F(ServiceProcessTest, ASecondServiceLeavesTheRunningOnesTokenAlone) {
  const std::string token = token_;
  HANDLE second = service_->Launch({}, service_->root() / "second.log");
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(WaitForSingleObject(second, 15000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(second, &code);
  CloseHandle(second);
  EXPECT_NE(code, 0u);
  EXPECT_EQ(ReadTextFile(data_ / "local-token"), token);
  EXPECT_EQ(Api(http::verb::get, "/api/info").status, 200);
}

TEST_F(ServiceProcessTest, ServesGameFilesByGenerationWithRanges) {
  // Pages load straight from the loopback origin, without the token.
  const HttpAnswer page = File("/", kPage);
  ASSERT_EQ(page.status, 200);
  EXPECT_EQ(page.Header("content-type"), "text/html");
  EXPECT_EQ(File("/__client/start", kPage).body, page.body);
  EXPECT_EQ(File("/__client/bridge.js", kPage).Header("content-type"), "text/javascript");
  EXPECT_EQ(File("/__client/game-observer.js", kPage).status, 200);
  EXPECT_EQ(File("/engine/game.js?v=1", kPage).status, 200);
  EXPECT_EQ(File("/engine/game.js", {{"X-KESTA-Generation", "gone"}}).status, 404);
  EXPECT_EQ(File("/", {{"Authorization", "Bearer wrong"}, {"X-KESTA-Generation", "bundled"}}).status, 401);
  EXPECT_EQ(HttpSend(port_, http::verb::post, "/engine/game.js", kPage).status, 405);
  EXPECT_EQ(Violations(),
            "X-KESTA-Generation \"gone\" names no generation the service reported (GET /engine/game.js)\n");

  const std::string tile = ReadTextFile(bundle_ / "pools/maps/tiles/dock tile.json");
  auto handler = Bearer();  // the client's resource handler
  handler["X-KESTA-Generation"] = "bundled";
  const HttpAnswer whole = File("/__pool/maps/tiles%2Fdock%20tile.json", handler);
  ASSERT_EQ(whole.status, 200);
  EXPECT_EQ(whole.body, tile);
  EXPECT_EQ(whole.Header("accept-ranges"), "bytes");

  handler["Range"] = "bytes=2-6";
  const HttpAnswer part = File("/__pool/maps/tiles%2Fdock%20tile.json", handler);
  ASSERT_EQ(part.status, 206);
  EXPECT_EQ(part.body, tile.substr(2, 5));
  EXPECT_EQ(part.Header("content-range"), "bytes 2-6/" + std::to_string(tile.size()));
  const HttpAnswer tail = File("/__pool/maps/harbor.json", {{"Range", "bytes=-4"}, {"X-KESTA-Generation", "bundled"}});
  EXPECT_EQ(tail.status, 206);
  EXPECT_EQ(tail.body.size(), 4u);
  const HttpAnswer beyond =
      File("/__pool/maps/harbor.json", {{"Range", "bytes=100000-"}, {"X-KESTA-Generation", "bundled"}});
  EXPECT_EQ(beyond.status, 416);
  EXPECT_EQ(beyond.Header("content-range").rfind("bytes */", 0), 0u);

  const HttpAnswer head = HttpSend(port_, http::verb::head, "/__pool/maps/harbor.json", kPage);
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.Header("content-length"), std::to_string(ReadTextFile(bundle_ / "pools/maps/harbor.json").size()));
  EXPECT_TRUE(head.body.empty());

  for (const char* escape :
       {"/__pool/maps/..%2F..%2Fbootstrap.json", "/__pool/maps/%2E%2E%2Fengine%2Fgame.js",
        "/__pool/maps/pool-manifest.json", "/__pool/../bootstrap.json", "/../bootstrap.json", "/%2E%2E/bootstrap.json",
        "/__pool/secret/x", "/__pool/maps/%zz", "/__client/..%2Fbootstrap.json"}) {
    EXPECT_EQ(File(escape, kPage).status, 404) << escape;
  }
  EXPECT_EQ(Violations(), "") << "pages may ask for anything; the service refuses";
}

TEST_F(ServiceProcessTest, AcceptedUpdateServesANewGenerationAfterARestart) {
  const fs::path maps = data_ / "packages/maps/1.1.0";
  fs::create_directories(maps.parent_path());
  fs::copy(bundle_ / "pools/maps", maps, fs::copy_options::recursive);
  std::ofstream(maps / "harbor.json", std::ios::trunc) << R"({"name":"Harbor at night"})";

  ASSERT_EQ(Control("/__control/state",
                    {{"pending", {{"revision", 5}, {"notes", "night"}, {"versions", {{"maps", "1.1.0"}}}}}})
                .status,
            200);
  EXPECT_EQ(Info()["state"]["pending"], json({{"revision", 5}, {"notes", "night"}}));
  EXPECT_EQ(Api(http::verb::post, "/api/updates/accept", R"({"revision":4})").status, 409);
  EXPECT_EQ(Violations(), "revision 4 of no pending update the service reported (POST /api/updates/accept)\n");
  const HttpAnswer accepted = Api(http::verb::post, "/api/updates/accept", R"({"revision":5})");
  ASSERT_EQ(accepted.status, 200);
  EXPECT_FALSE(accepted.body.empty());

  Restart({L"--control"});
  const json state = Info()["state"];
  const std::string generation = state["generation"];
  EXPECT_NE(generation, "bundled");
  EXPECT_EQ(state["generations"][generation]["maps"], "1.1.0");
  EXPECT_FALSE(state.contains("pending"));
  EXPECT_EQ(File("/__pool/maps/harbor.json", {{"X-KESTA-Generation", generation}}).body,
            R"({"name":"Harbor at night"})");
  // A window still on the old generation keeps its files.
  EXPECT_EQ(File("/__pool/maps/harbor.json", {{"X-KESTA-Generation", "bundled"}}).body,
            ReadTextFile(bundle_ / "pools/maps/harbor.json"));
}

TEST_F(ServiceProcessTest, ControlOrdersFailuresAndSlowAnswers) {
  ASSERT_EQ(Control("/__control/state", {{"faults",
                                          {{{"path", "/api/host"}, {"status", 503}, {"times", 1}},
                                           {{"path", "/api/launch"}, {"drop", true}, {"times", 1}},
                                           {{"path", "/api/info"}, {"delayMs", 4000}, {"times", 1}}}}})
                .status,
            200);
  EXPECT_EQ(Api(http::verb::post, "/api/host", Heartbeat(1)).status, 503);
  EXPECT_EQ(Api(http::verb::post, "/api/launch", "{}").status, 0) << "dropped without an answer";
  EXPECT_EQ(Api(http::verb::post, "/api/host", Heartbeat(2)).status, 200);
  EXPECT_EQ(Api(http::verb::post, "/api/launch", "{}").status, 200);

  // A slow answer holds up no other request.
  std::atomic<bool> slowDone{false};
  HttpAnswer slow;
  std::thread waiting([&] {
    slow = Api(http::verb::get, "/api/info");
    slowDone = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(File("/", kPage).status, 200);
  EXPECT_FALSE(slowDone.load());
  waiting.join();
  EXPECT_EQ(slow.status, 200);

  ASSERT_EQ(Control("/__control/state", {{"updateGate", true}, {"clientPath", "C:/next"}, {"client", "0.6.13"}}).status,
            200);
  EXPECT_EQ(Api(http::verb::post, "/api/host", Heartbeat(3)).status, 200);
  const json launch = Api(http::verb::post, "/api/launch", "{}").Json();
  EXPECT_EQ(launch["ready"], false);
  EXPECT_EQ(launch["state"]["clientPath"], "C:/next");
  EXPECT_EQ(Control("/__control/state", {{"nonsense", 1}}).status, 400);

  // A garbled request gets a 400 and the service carries on.
  asio::io_context io;
  tcp::socket socket = ConnectLoopback(io, port_);
  asio::write(socket, asio::buffer(std::string("NOT HTTP AT ALL\r\n\r\n")));
  asio::streambuf reply;
  boost::system::error_code ec;
  asio::read_until(socket, reply, "\r\n", ec);
  EXPECT_EQ(std::string(asio::buffers_begin(reply.data()), asio::buffers_begin(reply.data()) + 12), "HTTP/1.1 400");
  EXPECT_EQ(Api(http::verb::get, "/api/info").status, 200);

  Restart({});
  EXPECT_EQ(Control("/__control/state", {{"updateGate", true}}).status, 404) << "control needs its switch";
}

TEST_F(ServiceProcessTest, EnforcementSendsTheBrowserThroughTheAuthenticatedProxy) {
  ASSERT_EQ(Control("/__control/state", {{"networkEnforced", true}}).status, 200);
  const json state = Info()["state"];
  ASSERT_TRUE(state["networkEnforced"].get<bool>());
  const int proxyPort = state["browserProxyAuth"]["port"];
  EXPECT_EQ(state["browserProxy"]["server"], "http://127.0.0.1:" + std::to_string(proxyPort));
  EXPECT_EQ(state["browserProxyAuth"]["username"], "kesta");

  const std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/engine/style.css";
  const HttpAnswer challenged = HttpSend(static_cast<uint16_t>(proxyPort), http::verb::get, url);
  EXPECT_EQ(challenged.status, 407);
  EXPECT_EQ(challenged.Header("proxy-authenticate"), "Basic realm=\"kesta\"");
  EXPECT_EQ(HttpSend(static_cast<uint16_t>(proxyPort), http::verb::get, url,
                     {{"Proxy-Authorization", Basic("kesta:" + token_ + "x")}})
                .status,
            407);
  EXPECT_EQ(Violations(), "proxy credentials other than \"kesta\" and the token (GET " + url + ")\n");
  const HttpAnswer proxied = HttpSend(static_cast<uint16_t>(proxyPort), http::verb::get, url,
                                      {{"Proxy-Authorization", Basic("kesta:" + token_)},
                                       {"Host", "127.0.0.1:" + std::to_string(port_)},
                                       {"X-KESTA-Generation", "bundled"}});
  EXPECT_EQ(proxied.status, 200);
  EXPECT_EQ(proxied.body, ReadTextFile(bundle_ / "pools/engine/style.css"));

  // CONNECT opens a tunnel to the service.
  asio::io_context io;
  tcp::socket socket = ConnectLoopback(io, static_cast<uint16_t>(proxyPort));
  const std::string authority = "127.0.0.1:" + std::to_string(port_);
  asio::write(socket, asio::buffer("CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority +
                                   "\r\nProxy-Authorization: " + Basic("kesta:" + token_) + "\r\n\r\n"));
  asio::streambuf established;
  asio::read_until(socket, established, "\r\n\r\n");
  EXPECT_EQ(std::string(asio::buffers_begin(established.data()), asio::buffers_begin(established.data()) + 12),
            "HTTP/1.1 200");
  http::request<http::string_body> request{http::verb::get, "/__client/bridge.js", 11};
  request.set(http::field::host, authority);
  request.set("X-KESTA-Generation", "bundled");
  EXPECT_EQ(HttpExchange(socket, request).status, 200);
  EXPECT_EQ(Violations(), "") << "the proxy keeps its credentials to itself";
}

TEST_F(ServiceProcessTest, AnUpgradeHandsThePortToANewProcessThatKeepsTheToken) {
  Restart({L"--control", L"--service-version", L"0.6.11"});
  ASSERT_EQ(
      Control("/__control/state", {{"clientPath", "C:/next"}, {"client", "0.6.12"}, {"upgradeDelayMs", 1500}}).status,
      200);
  const json before = Api(http::verb::get, "/__control/journal").Json();
  EXPECT_EQ(Info()["serviceVersion"], "0.6.11");
  const HttpAnswer upgrade = Api(http::verb::post, "/api/service-upgrade", "{}");
  EXPECT_EQ(upgrade.status, 200);
  EXPECT_FALSE(upgrade.body.empty());

  // The port is closed for the gap, then a new process answers with the
  // current version and the same token.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(Api(http::verb::get, "/api/info").status, 0) << "refused while the port changes hands";
  json info;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline && !(info = Info()).is_object())
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(info["serviceVersion"], "0.6.12");
  EXPECT_EQ(ReadTextFile(data_ / "local-token"), token_);
  const json after = Api(http::verb::get, "/__control/journal").Json();
  EXPECT_NE(after["pid"], before["pid"]);
  EXPECT_EQ(Violations(), "");

  // A service that reports the current version has no reason to upgrade.
  EXPECT_EQ(Api(http::verb::post, "/api/service-upgrade", "{}").status, 200);
  EXPECT_EQ(Violations(), "an upgrade the last info document did not call for (POST /api/service-upgrade)\n");
}

// A client that gets the protocol wrong fails the test it runs in: each of
// these requests is answered, and logged as a violation that the harness
// reports to the running test. A case without a violation prepares the next.
TEST_F(ServiceProcessTest, WrongClientRequestsFailTheTest) {
  ASSERT_EQ(Control("/__control/state", {{"pending", {{"revision", 3}}}, {"networkEnforced", true}}).status, 200);
  const json state = Info()["state"];
  const uint16_t proxyPort = state["browserProxyAuth"]["port"];
  auto withToken = [&](const std::map<std::string, std::string>& extra) {
    auto headers = service_->ClientHeaders();
    for (const auto& [name, value] : extra)
      headers[name] = value;
    return headers;
  };
  auto edit = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  std::string unsorted = edit(Heartbeat(9), R"("after":0,)", "");
  unsorted.insert(unsorted.find(R"(,"proxyRevision")"), R"(,"after":0)");
  auto withWindow = [&](int pid, const std::string& generation) {
    return edit(edit(Heartbeat(pid), R"("gameWindowCount":0)", R"("gameWindowCount":1)"), R"("windows":[])",
                R"("windows":[{"generation":")" + generation + R"(","id":1,"url":"http://127.0.0.1/"}])");
  };
  struct Case {
    http::verb method;
    std::string target;
    std::map<std::string, std::string> headers;
    std::string body;
    const char* violation;
  } cases[] = {
      {http::verb::post, "/api/launch", withToken({}), "{}",
       "a launch request that does not follow a heartbeat's answer"},
      {http::verb::get, "/api/info", {{"Content-Type", "application/json"}}, "", "no bearer token"},
      {http::verb::post, "/api/host", withToken({}), unsorted, "member \"after\" out of the writer's sorted order"},
      {http::verb::post, "/api/updates/accept", withToken({}), R"({"revision":7.9})",
       R"(update body "{\"revision\":7.9}" instead of {"revision":<integer>})"},
      {http::verb::get, "/api/game/status?t=" + token_, withToken({{"X-KESTA-Generation", "bundled"}}), "",
       "the token in the query"},
      {http::verb::get, "/api/info", withToken({{"Proxy-Authorization", "Basic a2VzdGE6eA=="}}), "",
       "a Proxy-Authorization header on a direct request"},
      {http::verb::get, "/__pool/maps/tiles/dock%20tile.json", withToken({{"X-KESTA-Generation", "bundled"}}), "",
       "a pool path not encoded as the client encodes it"},
      {http::verb::get, "/engine/missing.js", withToken({{"X-KESTA-Generation", "bundled"}}), "",
       "a path that generation \"bundled\" does not bind"},
      // A page that reaches the client's own endpoints, also under spellings
      // that a router decoding the path takes for them.
      {http::verb::post, "/api/updates/defer", withToken({{"Origin", "http://127.0.0.1"}}), R"({"revision":3})",
       "a page's request for /api/updates/defer (header Origin)"},
      {http::verb::post, "/api/%75pdates%2Fdefer", withToken({{"Cookie", "a=b"}, {"X-KESTA-Generation", "bundled"}}),
       R"({"revision":3})", "a page's request for /api/updates/defer (header Cookie, header X-KESTA-Generation)"},
      {http::verb::get, "/api//Launch;x?go=1", withToken({{"X-KESTA-Generation", "bundled"}}), "",
       "a page's request for /api/launch (header X-KESTA-Generation)"},
      {http::verb::post, "/api/updates/defer", withToken({{"User-Agent", "Mozilla/5.0"}}), R"({"revision":3})",
       "a page's request for /api/updates/defer (user agent \"Mozilla/5.0\")"},
      // The resource handler passes on no header of the page's but these two.
      {http::verb::get, "/engine/game.js", withToken({{"X-KESTA-Generation", "bundled"}, {"Range", "bytes=0-1"}}), "",
       nullptr},
      {http::verb::get, "/engine/game.js", withToken({{"X-KESTA-Generation", "bundled"}, {"Referer", "https://x/"}}),
       "", "the page's Referer header on the resource handler's request"},
      {http::verb::get, "/engine/game.js", withToken({{"X-KESTA-Generation", "bundled"}, {"X-Page", "1"}}), "",
       "the page's X-Page header on the resource handler's request"},
      // The heartbeat echoes only what the service sent.
      {http::verb::post, "/api/host", withToken({}), edit(Heartbeat(12), R"("after":0)", R"("after":5)"),
       "heartbeat \"after\" 5 above the highest command id 0"},
      {http::verb::post, "/api/host", withToken({}),
       edit(Heartbeat(13), R"("proxyRevision":-1)", R"("proxyRevision":9)"),
       "heartbeat \"proxyRevision\" 9 is no activation the service sent"},
      {http::verb::post, "/api/host", withToken({}), withWindow(14, "gone"),
       "heartbeat window generation \"gone\" names no generation the service reported"},
      // Once a game window shows, the launch was admitted.
      {http::verb::post, "/api/host", withToken({}), withWindow(11, "bundled"), nullptr},
      {http::verb::post, "/api/launch", withToken({}), "{}", "a launch request after the launch was admitted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target + " " + c.body);
    EXPECT_NE(HttpSend(port_, c.method, c.target, c.headers, c.body).status, 0);
    if (c.violation)
      EXPECT_NONFATAL_FAILURE(service_->CheckProtocol(), c.violation);
  }

  // The loopback proxy sends neither the token nor the generation on, and
  // takes only the credentials of the current token.
  const std::string elsewhere = "http://127.0.0.1:" + std::to_string(kesta::testing::FreeLoopbackPort()) + "/x";
  const std::string credentials = Basic("kesta:" + token_);
  const struct {
    std::map<std::string, std::string> headers;
    const char* violation;
  } proxied[] = {
      {{{"Proxy-Authorization", credentials}, {"X-KESTA-Generation", "bundled"}},
       "X-KESTA-Generation sent through the proxy to another origin"},
      {{{"Proxy-Authorization", credentials}, {"Authorization", "Bearer " + token_}},
       "the token in the Authorization header sent through the proxy"},
      {{{"Proxy-Authorization", "Basic a2VzdGE6eA=="}}, "proxy credentials other than \"kesta\" and the token"},
  };
  for (const auto& c : proxied) {
    SCOPED_TRACE(c.violation);
    EXPECT_NE(HttpSend(proxyPort, http::verb::get, elsewhere, c.headers).status, 0);
    EXPECT_NONFATAL_FAILURE(service_->CheckProtocol(), c.violation);
  }

  // An info document that calls for a service upgrade, and a client that
  // starts its heartbeat without it.
  ASSERT_EQ(Control("/__control/state", {{"clientPath", "C:/next"}, {"client", "0.6.12"}, {"serviceVersion", "0.6.11"}})
                .status,
            200);
  EXPECT_EQ(Info()["serviceVersion"], "0.6.11");
  EXPECT_EQ(Api(http::verb::post, "/api/host", Heartbeat(20)).status, 200);
  EXPECT_NONFATAL_FAILURE(service_->CheckProtocol(),
                          "a heartbeat after an info document that called for a service upgrade");
}

// Requests of a correct client in the less common turns of the protocol.
TEST_F(ServiceProcessTest, CorrectClientRequestsAreNoViolations) {
  // An answer written after the client gave up on it is no reply: its next
  // heartbeat follows a second after its time-out.
  ASSERT_EQ(
      Control("/__control/state", {{"faults", {{{"path", "/api/host"}, {"delayMs", 3500}, {"times", 1}}}}}).status,
      200);
  const auto sent = std::chrono::steady_clock::now();
  EXPECT_EQ(Api(http::verb::post, "/api/host", Heartbeat(1)).status, 200);
  std::this_thread::sleep_until(sent + std::chrono::milliseconds(4100));
  EXPECT_EQ(Api(http::verb::post, "/api/host", Heartbeat(1)).status, 200);
  EXPECT_EQ(Violations(), "") << "a heartbeat after a late answer";

  // A game admitted on the loopback origin keeps loading from it without
  // the token when the service reports another site origin.
  EXPECT_EQ(Api(http::verb::post, "/api/host", Heartbeat(2)).status, 200);
  ASSERT_EQ(Api(http::verb::post, "/api/launch", "{}").Json()["ready"], true);
  ASSERT_EQ(Control("/__control/state", {{"siteOrigin", "https://app.kesta.test"}}).status, 200);
  EXPECT_EQ(File("/", kPage).status, 200);
  EXPECT_EQ(Violations(), "") << "a page of a game admitted on the loopback origin";

  // A site origin under another name of the loopback host.
  const std::string site = "localhost:" + std::to_string(port_);
  ASSERT_EQ(Control("/__control/state", {{"siteOrigin", "http://" + site}}).status, 200);
  Info();
  EXPECT_EQ(File("/engine/game.js", {{"Host", site}, {"X-KESTA-Generation", "bundled"}}).status, 200);
  auto api = Bearer();
  api["Host"] = site;
  api["X-KESTA-Generation"] = "bundled";
  EXPECT_EQ(File("/api/game/status", api).status, 200);
  EXPECT_EQ(Violations(), "") << "pages of a site origin named localhost";

  // A generation keeps the bindings it had when the service first listed it.
  const fs::path maps = data_ / "packages/maps/1.1.0";
  fs::create_directories(maps.parent_path());
  fs::copy(bundle_ / "pools/maps", maps, fs::copy_options::recursive);
  ASSERT_EQ(Control("/__control/state",
                    {{"generations", {{"g2", {{"engine", "1.0.0"}, {"maps", "1.1.0"}, {"art", "1.0.0"}}}}}})
                .status,
            200);
  Info();
  std::ofstream(maps / "pool-manifest.json", std::ios::trunc) << R"({"version":"1.1.0","bindings":{}})";
  auto handler = Bearer();
  handler["X-KESTA-Generation"] = "g2";
  File("/__pool/maps/tiles%2Fdock%20tile.json", handler);
  EXPECT_EQ(Violations(), "") << "a binding of the generation as first listed";

  // A client of two services ago, and a window without a generation.
  const std::string first = token_;
  Restart({L"--control"});
  Restart({L"--control"});
  EXPECT_EQ(HttpSend(port_, http::verb::get, "/api/info",
                     {{"Authorization", "Bearer " + first}, {"Content-Type", "application/json"}})
                .status,
            401);
  EXPECT_EQ(File("/engine/game.js", {{"X-KESTA-Generation", ""}}).status, 200);
  EXPECT_EQ(Violations(), "") << "an earlier token and an empty generation";
}

// The token file is replaced on every start while the client may be reading
// it (it polls the file while it waits for the service): no start fails and
// no reader ever sees anything but a whole token.
TEST_F(ServiceProcessTest, StartsOverATokenFileThatIsBeingReadNeverFail) {
  std::atomic<bool> done{false};
  std::atomic<int> reads{0}, broken{0};
  std::thread reader([&] {
    // Far more often than the client's 100 ms, and as another process
    // would: the handle is not inherited by the services started meanwhile.
    for (; !done; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
      HANDLE file = CreateFileW((data_ / "local-token").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE)
        continue;
      char token[128];
      DWORD size = 0;
      ReadFile(file, token, sizeof token, &size, nullptr);
      CloseHandle(file);
      ++reads;
      if (size != 64)
        ++broken;
    }
  });
  for (int start = 0; start < 50; ++start) {
    service_->Stop();
    const bool started = service_->Start();
    EXPECT_TRUE(started) << "start " << start << ": " << service_->failure() << "\n"
                         << ReadTextFile(service_->root() / "service.log");
    if (!started)
      break;
  }
  done = true;
  reader.join();
  EXPECT_GT(reads.load(), 50);
  EXPECT_EQ(broken.load(), 0);
}

}  // namespace
