// kesta-service.exe itself, started under Wine on a bundle of its own with a
// free port, and spoken to over loopback HTTP.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>
#include <utility>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/core/detail/base64.hpp>
#include <boost/beast/http.hpp>
#include <nlohmann/json.hpp>

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace fs = std::filesystem;
using tcp = asio::ip::tcp;
using nlohmann::json;

fs::path FromUnix(const std::string& path) {
  std::string windows = "Z:" + path;
  for (char& c : windows) c = c == '/' ? '\\' : c;
  return fs::path(windows);
}

uint16_t FreePort() {
  asio::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), 0));
  return acceptor.local_endpoint().port();
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Answer {
  int status = 0;  // 0: no answer
  std::map<std::string, std::string> headers;
  std::string body;
  json Json() const { return json::parse(body, nullptr, false); }
  std::string Header(const std::string& name) const {
    const auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
  }
};

tcp::socket Connect(asio::io_context& io, uint16_t port) {
  tcp::socket socket(io);
  socket.connect(tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), port));
  // Blocking reads give up after 10 s rather than hang the test.
  const DWORD timeout = 10000;
  setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
             sizeof timeout);
  return socket;
}

Answer Exchange(tcp::socket& socket, http::request<http::string_body>& request) {
  Answer answer;
  boost::system::error_code ec;
  request.prepare_payload();
  http::write(socket, request, ec);
  if (ec) return answer;
  beast::flat_buffer buffer;
  http::response_parser<http::string_body> parser;
  if (request.method() == http::verb::head) parser.skip(true);
  http::read(socket, buffer, parser, ec);
  if (ec) return answer;
  const auto& response = parser.get();
  answer.status = response.result_int();
  for (const auto& field : response) {
    std::string name(field.name_string());
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    answer.headers[name] = std::string(field.value());
  }
  answer.body = response.body();
  return answer;
}

Answer Send(uint16_t port, http::verb method, const std::string& target,
            std::map<std::string, std::string> headers = {}, const std::string& body = "") {
  asio::io_context io;
  try {
    tcp::socket socket = Connect(io, port);
    http::request<http::string_body> request{method, target, 11};
    request.set(http::field::host, "127.0.0.1:" + std::to_string(port));
    for (const auto& [name, value] : headers) request.set(name, value);
    request.body() = body;
    return Exchange(socket, request);
  } catch (const std::exception&) {
    return Answer{};
  }
}

class ServiceProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    root_ = fs::temp_directory_path() / ("kesta-service-" + std::to_string(seed()));
    bundle_ = root_ / "bundle";
    // A data directory with Chinese letters and a blank reaches the service
    // only through its Unicode command line.
    data_ = root_ / L"数据 目录";
    fs::create_directories(root_);
    fs::copy(FromUnix(KESTA_SAMPLE_RESOURCES), bundle_, fs::copy_options::recursive);
    port_ = FreePort();
    std::ofstream(bundle_ / "bootstrap.json") << json{{"port", port_}}.dump();
    Start({L"--control"});
  }

  void TearDown() override {
    Stop();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // Starts the service and waits until it answers with the token it wrote.
  void Start(std::vector<std::wstring> extra) {
    process_ = Launch(extra, root_ / "service.log");
    ASSERT_NE(process_, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      token_ = ReadText(data_ / "local-token");
      if (!token_.empty() && Api(http::verb::get, "/api/info").status == 200) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    FAIL() << "service did not start:\n" << ReadText(root_ / "service.log");
  }

  HANDLE Launch(const std::vector<std::wstring>& extra, const fs::path& log) {
    std::wstring command = L"\"" + FromUnix(KESTA_SERVICE_EXE).wstring() + L"\" --data-dir \"" +
                           data_.wstring() + L"\" --bundle \"" + bundle_.wstring() + L"\"";
    for (const std::wstring& arg : extra) command += L" " + arg;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION info{};
    const BOOL created = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &info);
    CloseHandle(output);
    if (!created) return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
  }

  void Stop() {
    if (!process_) return;
    // Without the control switch there is no orderly way out.
    const bool asked = Control("/__control/shutdown", json::object()).status == 200;
    if (!asked || WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
    process_ = nullptr;
  }

  void Restart(std::vector<std::wstring> extra) {
    Stop();
    Start(std::move(extra));
  }

  std::map<std::string, std::string> Bearer() const { return {{"Authorization", "Bearer " + token_}}; }

  Answer Api(http::verb method, const std::string& target, const std::string& body = "") {
    return Send(port_, method, target, Bearer(), body);
  }
  Answer Control(const std::string& target, const json& body) {
    return Api(http::verb::post, target, body.dump());
  }
  Answer File(const std::string& target, std::map<std::string, std::string> headers = {}) {
    return Send(port_, http::verb::get, target, std::move(headers));
  }
  json Info() { return Api(http::verb::get, "/api/info").Json(); }

  fs::path root_, bundle_, data_;
  uint16_t port_ = 0;
  std::string token_;
  HANDLE process_ = nullptr;
};

TEST_F(ServiceProcessTest, EndpointsAnswerWithTheirDocumentsOnlyToTheToken) {
  EXPECT_GE(token_.size(), 32u);
  EXPECT_EQ(token_.find_first_of(" \r\n"), std::string::npos);
  EXPECT_EQ(Send(port_, http::verb::get, "/api/info").status, 401);
  EXPECT_EQ(Send(port_, http::verb::get, "/api/info", {{"Authorization", "Bearer " + token_ + "0"}}).status, 401);
  EXPECT_EQ(Send(port_, http::verb::post, "/api/host", {{"Authorization", token_}}, "{}").status, 401);

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

  const Answer host = Api(http::verb::post, "/api/host", R"({"pid":7,"version":"0.6.12","after":0})");
  ASSERT_EQ(host.status, 200);
  EXPECT_TRUE(host.Json()["state"].is_object());
  EXPECT_EQ(host.Json()["commands"], json::array());
  const Answer launch = Api(http::verb::post, "/api/launch", "{}");
  ASSERT_EQ(launch.status, 200);
  EXPECT_EQ(launch.Json()["ready"], true) << "a JSON boolean, as the client demands";
  EXPECT_TRUE(launch.Json()["state"].is_object());

  EXPECT_EQ(Api(http::verb::post, "/api/host", "not json").status, 400);
  EXPECT_EQ(Api(http::verb::post, "/api/info", "{}").status, 405);
  EXPECT_EQ(Api(http::verb::get, "/api/launch").status, 405);
  EXPECT_EQ(Api(http::verb::get, "/api/unknown").status, 404);

  const json journal = Api(http::verb::get, "/__control/journal").Json();
  EXPECT_EQ(journal["heartbeats"], 1);
  EXPECT_EQ(journal["lastHeartbeat"]["pid"], 7);
}

TEST_F(ServiceProcessTest, ASecondServiceLeavesTheRunningOnesTokenAlone) {
  const std::string token = token_;
  HANDLE second = Launch({}, root_ / "second.log");
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(WaitForSingleObject(second, 15000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(second, &code);
  CloseHandle(second);
  EXPECT_NE(code, 0u);
  EXPECT_EQ(ReadText(data_ / "local-token"), token);
  EXPECT_EQ(Api(http::verb::get, "/api/info").status, 200);
}

TEST_F(ServiceProcessTest, ServesGameFilesByGenerationWithRanges) {
  const Answer page = File("/");
  ASSERT_EQ(page.status, 200);
  EXPECT_EQ(page.Header("content-type"), "text/html");
  EXPECT_EQ(File("/__client/start").body, page.body);
  EXPECT_EQ(File("/__client/bridge.js").Header("content-type"), "text/javascript");
  EXPECT_EQ(File("/__client/game-observer.js").status, 200);
  EXPECT_EQ(File("/engine/game.js?v=1", {{"X-KESTA-Generation", "bundled"}}).status, 200);
  EXPECT_EQ(File("/engine/game.js", {{"X-KESTA-Generation", "gone"}}).status, 404);
  EXPECT_EQ(File("/", {{"Authorization", "Bearer wrong"}}).status, 401);
  EXPECT_EQ(Send(port_, http::verb::post, "/engine/game.js").status, 405);

  const std::string tile = ReadText(bundle_ / "pools/maps/tiles/dock tile.json");
  const Answer whole = File("/__pool/maps/tiles%2Fdock%20tile.json", Bearer());
  ASSERT_EQ(whole.status, 200);
  EXPECT_EQ(whole.body, tile);
  EXPECT_EQ(whole.Header("accept-ranges"), "bytes");

  const Answer part = File("/__pool/maps/tiles%2Fdock%20tile.json", {{"Range", "bytes=2-6"}});
  ASSERT_EQ(part.status, 206);
  EXPECT_EQ(part.body, tile.substr(2, 5));
  EXPECT_EQ(part.Header("content-range"), "bytes 2-6/" + std::to_string(tile.size()));
  const Answer tail = File("/__pool/maps/harbor.json", {{"Range", "bytes=-4"}});
  EXPECT_EQ(tail.status, 206);
  EXPECT_EQ(tail.body.size(), 4u);
  const Answer beyond = File("/__pool/maps/harbor.json", {{"Range", "bytes=100000-"}});
  EXPECT_EQ(beyond.status, 416);
  EXPECT_EQ(beyond.Header("content-range").rfind("bytes */", 0), 0u);

  const Answer head = Send(port_, http::verb::head, "/__pool/maps/harbor.json");
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.Header("content-length"), std::to_string(ReadText(bundle_ / "pools/maps/harbor.json").size()));
  EXPECT_TRUE(head.body.empty());

  for (const char* escape : {"/__pool/maps/..%2F..%2Fbootstrap.json", "/__pool/maps/%2E%2E%2Fengine%2Fgame.js",
                             "/__pool/maps/pool-manifest.json", "/__pool/../bootstrap.json",
                             "/../bootstrap.json", "/%2E%2E/bootstrap.json", "/__pool/secret/x",
                             "/__pool/maps/%zz", "/__client/..%2Fbootstrap.json"}) {
    EXPECT_EQ(File(escape).status, 404) << escape;
  }
}

TEST_F(ServiceProcessTest, AcceptedUpdateServesANewGenerationAfterARestart) {
  const fs::path maps = data_ / "packages/maps/1.1.0";
  fs::create_directories(maps.parent_path());
  fs::copy(bundle_ / "pools/maps", maps, fs::copy_options::recursive);
  std::ofstream(maps / "harbor.json", std::ios::trunc) << R"({"name":"Harbor at night"})";

  ASSERT_EQ(Control("/__control/state", {{"pending", {{"revision", 5}, {"notes", "night"}, {"versions", {{"maps", "1.1.0"}}}}}})
                .status,
            200);
  EXPECT_EQ(Info()["state"]["pending"], json({{"revision", 5}, {"notes", "night"}}));
  EXPECT_EQ(Api(http::verb::post, "/api/updates/accept", R"({"revision":4})").status, 409);
  const Answer accepted = Api(http::verb::post, "/api/updates/accept", R"({"revision":5})");
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
  EXPECT_EQ(File("/__pool/maps/harbor.json").body, R"({"name":"Harbor at night"})");
  // A window still on the old generation keeps its files.
  EXPECT_EQ(File("/__pool/maps/harbor.json", {{"X-KESTA-Generation", "bundled"}}).body,
            ReadText(bundle_ / "pools/maps/harbor.json"));
}

TEST_F(ServiceProcessTest, ControlOrdersFailuresAndSlowAnswers) {
  ASSERT_EQ(Control("/__control/state", {{"faults",
                                          {{{"path", "/api/host"}, {"status", 503}, {"times", 1}},
                                           {{"path", "/api/launch"}, {"drop", true}, {"times", 1}},
                                           {{"path", "/api/info"}, {"delayMs", 1500}, {"times", 1}}}}})
                .status,
            200);
  EXPECT_EQ(Api(http::verb::post, "/api/host", "{}").status, 503);
  EXPECT_EQ(Api(http::verb::post, "/api/host", "{}").status, 200);
  EXPECT_EQ(Api(http::verb::post, "/api/launch", "{}").status, 0) << "dropped without an answer";
  EXPECT_EQ(Api(http::verb::post, "/api/launch", "{}").status, 200);

  // A slow answer holds up no other request.
  std::atomic<bool> slowDone{false};
  Answer slow;
  std::thread waiting([&] {
    slow = Api(http::verb::get, "/api/info");
    slowDone = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(File("/").status, 200);
  EXPECT_FALSE(slowDone.load());
  waiting.join();
  EXPECT_EQ(slow.status, 200);

  ASSERT_EQ(Control("/__control/state", {{"updateGate", true}, {"clientPath", "C:/next"}, {"client", "0.6.13"}})
                .status,
            200);
  const json launch = Api(http::verb::post, "/api/launch", "{}").Json();
  EXPECT_EQ(launch["ready"], false);
  EXPECT_EQ(launch["state"]["clientPath"], "C:/next");
  EXPECT_EQ(Control("/__control/state", {{"nonsense", 1}}).status, 400);

  // A garbled request gets a 400 and the service carries on.
  asio::io_context io;
  tcp::socket socket = Connect(io, port_);
  asio::write(socket, asio::buffer(std::string("NOT HTTP AT ALL\r\n\r\n")));
  asio::streambuf reply;
  boost::system::error_code ec;
  asio::read_until(socket, reply, "\r\n", ec);
  EXPECT_EQ(std::string(asio::buffers_begin(reply.data()), asio::buffers_begin(reply.data()) + 12),
            "HTTP/1.1 400");
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

  auto basic = [](const std::string& credentials) {
    std::string encoded;
    encoded.resize(beast::detail::base64::encoded_size(credentials.size()));
    encoded.resize(beast::detail::base64::encode(encoded.data(), credentials.data(), credentials.size()));
    return "Basic " + encoded;
  };
  const std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/engine/style.css";
  const Answer challenged = Send(static_cast<uint16_t>(proxyPort), http::verb::get, url);
  EXPECT_EQ(challenged.status, 407);
  EXPECT_EQ(challenged.Header("proxy-authenticate"), "Basic realm=\"kesta\"");
  EXPECT_EQ(Send(static_cast<uint16_t>(proxyPort), http::verb::get, url,
                 {{"Proxy-Authorization", basic("kesta:" + token_ + "x")}})
                .status,
            407);
  const Answer proxied = Send(static_cast<uint16_t>(proxyPort), http::verb::get, url,
                              {{"Proxy-Authorization", basic("kesta:" + token_)}});
  EXPECT_EQ(proxied.status, 200);
  EXPECT_EQ(proxied.body, ReadText(bundle_ / "pools/engine/style.css"));

  // CONNECT opens a tunnel to the service.
  asio::io_context io;
  tcp::socket socket = Connect(io, static_cast<uint16_t>(proxyPort));
  const std::string authority = "127.0.0.1:" + std::to_string(port_);
  asio::write(socket, asio::buffer("CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority +
                                   "\r\nProxy-Authorization: " + basic("kesta:" + token_) + "\r\n\r\n"));
  asio::streambuf established;
  asio::read_until(socket, established, "\r\n\r\n");
  EXPECT_EQ(std::string(asio::buffers_begin(established.data()), asio::buffers_begin(established.data()) + 12),
            "HTTP/1.1 200");
  http::request<http::string_body> request{http::verb::get, "/__client/bridge.js", 11};
  request.set(http::field::host, authority);
  EXPECT_EQ(Exchange(socket, request).status, 200);
}

TEST_F(ServiceProcessTest, UpgradeRequestBringsTheCurrentVersion) {
  Restart({L"--control", L"--service-version", L"0.6.11"});
  EXPECT_EQ(Info()["serviceVersion"], "0.6.11");
  const Answer upgrade = Api(http::verb::post, "/api/service-upgrade", "{}");
  EXPECT_EQ(upgrade.status, 200);
  EXPECT_FALSE(upgrade.body.empty());
  EXPECT_EQ(Info()["serviceVersion"], "0.6.12");
}

}  // namespace
