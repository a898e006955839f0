// Starts kesta-service.exe for a test on a bundle of its own (a copy of the
// sample game with a free port in bootstrap.json) and speaks HTTP to it and
// to its loopback proxy. Header-only, so any test program can include
// "service/service_harness_win.h"; it needs Boost.Beast (third_party_headers).
//
// The service checks every request against the client's protocol and logs
// each violation; a harness reports those it finds when it ends (and when a
// fixture asks, for a service shared by several tests), which fails the test.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <nlohmann/json.hpp>

#include "support/process_group_win.h"
#include "support/protocol_violations.h"
#include "support/temp_directory.h"

namespace kesta::testing {

namespace service_http = boost::beast::http;

// A Linux path as Wine sees it.
inline std::filesystem::path WindowsPath(const std::string& unixPath) {
  std::string windows = "Z:" + unixPath;
  for (char& c : windows)
    c = c == '/' ? '\\' : c;
  return std::filesystem::path(windows);
}

inline uint16_t FreeLoopbackPort() {
  boost::asio::io_context io;
  boost::asio::ip::tcp::acceptor acceptor(
      io, boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address_v4("127.0.0.1"), 0));
  return acceptor.local_endpoint().port();
}

inline std::string ReadTextFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct HttpAnswer {
  int status = 0;                              // 0: no answer
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;

  nlohmann::json Json() const { return nlohmann::json::parse(body, nullptr, false); }
  std::string Header(const std::string& name) const {
    const auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
  }
};

inline boost::asio::ip::tcp::socket ConnectLoopback(boost::asio::io_context& io, uint16_t port) {
  boost::asio::ip::tcp::socket socket(io);
  socket.connect(boost::asio::ip::tcp::endpoint(boost::asio::ip::make_address_v4("127.0.0.1"), port));
  // Blocking reads give up after 10 s rather than hang the test.
  const DWORD timeout = 10000;
  setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  return socket;
}

inline HttpAnswer HttpExchange(boost::asio::ip::tcp::socket& socket,
                               service_http::request<service_http::string_body>& request) {
  HttpAnswer answer;
  boost::system::error_code ec;
  request.prepare_payload();
  service_http::write(socket, request, ec);
  if (ec)
    return answer;
  boost::beast::flat_buffer buffer;
  service_http::response_parser<service_http::string_body> parser;
  if (request.method() == service_http::verb::head)
    parser.skip(true);
  service_http::read(socket, buffer, parser, ec);
  if (ec)
    return answer;
  const auto& response = parser.get();
  answer.status = response.result_int();
  for (const auto& field : response) {
    std::string name(field.name_string());
    for (char& c : name)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    answer.headers[name] = std::string(field.value());
  }
  answer.body = response.body();
  return answer;
}

// One request on a connection of its own to 127.0.0.1:port.
inline HttpAnswer HttpSend(uint16_t port,
                           service_http::verb method,
                           const std::string& target,
                           const std::map<std::string, std::string>& headers = {},
                           const std::string& body = "") {
  boost::asio::io_context io;
  try {
    auto socket = ConnectLoopback(io, port);
    service_http::request<service_http::string_body> request{method, target, 11};
    request.set(service_http::field::host, "127.0.0.1:" + std::to_string(port));
    for (const auto& [name, value] : headers)
      request.set(name, value);
    request.body() = body;
    return HttpExchange(socket, request);
  } catch (const std::exception&) {
    return HttpAnswer{};
  }
}

// A heartbeat as the client writes it: compact, keys sorted.
inline std::string Heartbeat(int pid) {
  return R"({"after":0,"browserNetworkEnforced":false,"error":"","gameWindowCount":0,"networkError":"",)"
         R"("networkRestartRequired":false,"pid":)" +
         std::to_string(pid) + R"(,"proxyRevision":-1,"version":"0.6.12","windows":[]})";
}

// The protocol violations a service logged into one file, each taken once.
class ViolationLog {
 public:
  explicit ViolationLog(std::filesystem::path file) : file_(std::move(file)) {}

  // "what (METHOD target)" for each violation logged since the last call.
  std::vector<std::string> Take() {
    static const std::string marker = "protocol violation: ";
    const std::string text = ReadTextFile(file_);
    std::vector<std::string> found;
    size_t at = read_ <= text.size() ? read_ : 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
      const size_t mark = text.find(marker, at);
      if (mark != std::string::npos && mark < end) {
        std::string line = text.substr(mark + marker.size(), end - mark - marker.size());
        if (!line.empty() && line.back() == '\r')
          line.pop_back();
        found.push_back(line);
      }
    }
    read_ = at;
    return found;
  }

  // Hands what is left to the test program's sink.
  void Report() {
    for (const std::string& violation : Take())
      ProtocolViolationSink()(violation);
  }

 private:
  std::filesystem::path file_;
  size_t read_ = 0;
};

class ServiceHarness {
 public:
  // `exe` and `sampleResources` as Windows paths; everything the service
  // gets lives under `root`, which the harness creates and removes.
  ServiceHarness(std::filesystem::path exe,
                 const std::filesystem::path& sampleResources,
                 std::filesystem::path root,
                 const std::wstring& dataDirName = L"data")
      : exe_(std::move(exe)), root_(std::move(root)), violations_(root_ / "service.log") {
    bundle_ = root_ / "bundle";
    data_ = root_ / dataDirName;
    std::filesystem::create_directories(root_);
    std::filesystem::copy(sampleResources, bundle_, std::filesystem::copy_options::recursive);
    port_ = FreeLoopbackPort();
    std::ofstream(bundle_ / "bootstrap.json", std::ios::trunc) << nlohmann::json{{"port", port_}}.dump();
  }
  ~ServiceHarness() {
    Stop();
    // An upgrade's successor, or a second service a test started.
    processes_.End();
    violations_.Report();
    RemoveTree(root_);
  }
  ServiceHarness(const ServiceHarness&) = delete;
  ServiceHarness& operator=(const ServiceHarness&) = delete;

  // Starts the service and waits until it answers with the token it wrote.
  // False, with failure() saying why, when it could not be started or did
  // not answer within 20 s (then service.log under root() tells more).
  bool Start(const std::vector<std::wstring>& extra = {L"--control"}) {
    process_ = Launch(extra, root_ / "service.log");
    if (!process_)
      return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      token_ = ReadTextFile(data_ / "local-token");
      if (!token_.empty() && Api(service_http::verb::get, "/api/info").status == 200)
        return true;
      if (WaitForSingleObject(process_, 0) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        failure_ = "the service ended with exit code " + std::to_string(code) + " before it answered";
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    failure_ = "the service did not answer within 20 s";
    return false;
  }

  // Why the last Start or Launch failed, for a test's message.
  const std::string& failure() const { return failure_; }

  // Another service process on the same bundle and data directory; the
  // caller owns the handle, the harness ends the process when it goes.
  HANDLE Launch(const std::vector<std::wstring>& extra, const std::filesystem::path& log) {
    std::wstring command =
        L"\"" + exe_.wstring() + L"\" --data-dir \"" + data_.wstring() + L"\" --bundle \"" + bundle_.wstring() + L"\"";
    for (const std::wstring& arg : extra)
      command += L" " + arg;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION info{};
    failure_.clear();
    const bool created =
        StartProcess(nullptr, command, true, CREATE_NO_WINDOW | CREATE_SUSPENDED, startup, info, &failure_);
    if (output != INVALID_HANDLE_VALUE)
      CloseHandle(output);
    if (!created)
      return nullptr;
    const bool joined = processes_.Join(info);
    CloseHandle(info.hThread);
    if (!joined) {
      failure_ = processes_.error();
      CloseHandle(info.hProcess);
      return nullptr;
    }
    return info.hProcess;
  }

  void Stop() {
    if (!process_)
      return;
    // Without the control switch there is no orderly way out.
    const bool asked = Control("/__control/shutdown", nlohmann::json::object()).status == 200;
    if (!asked || WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0)
      TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
    process_ = nullptr;
  }

  bool Restart(const std::vector<std::wstring>& extra = {L"--control"}) {
    Stop();
    return Start(extra);
  }

  std::map<std::string, std::string> Bearer() const { return {{"Authorization", "Bearer " + token_}}; }
  // The headers of the client's own HTTP client.
  std::map<std::string, std::string> ClientHeaders() const {
    auto headers = Bearer();
    headers["Content-Type"] = "application/json";
    headers["User-Agent"] = "KESTA local service";
    return headers;
  }
  // A request as the client's own HTTP client sends it.
  HttpAnswer Api(service_http::verb method, const std::string& target, const std::string& body = "") const {
    return HttpSend(port_, method, target, ClientHeaders(), body);
  }
  // POST /__control/... with a JSON body.
  HttpAnswer Control(const std::string& target, const nlohmann::json& body) const {
    return Api(service_http::verb::post, target, body.dump());
  }
  // A page's GET: no token unless given.
  HttpAnswer File(const std::string& target, const std::map<std::string, std::string>& headers = {}) const {
    return HttpSend(port_, service_http::verb::get, target, headers);
  }
  nlohmann::json Info() const { return Api(service_http::verb::get, "/api/info").Json(); }

  // Violations logged since the last look, for a test that makes them on
  // purpose; CheckProtocol reports them to the running test instead.
  std::vector<std::string> TakeViolations() { return violations_.Take(); }
  void CheckProtocol() { violations_.Report(); }

  const std::filesystem::path& root() const { return root_; }
  const std::filesystem::path& bundle() const { return bundle_; }
  const std::filesystem::path& data() const { return data_; }
  uint16_t port() const { return port_; }
  const std::string& token() const { return token_; }
  std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  std::filesystem::path exe_, root_, bundle_, data_;
  ViolationLog violations_;
  uint16_t port_ = 0;
  std::string token_;
  HANDLE process_ = nullptr;
  std::string failure_;
  ProcessGroup processes_;
};

}  // namespace kesta::testing
