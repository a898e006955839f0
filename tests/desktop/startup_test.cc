// Start-up preparation in real installations: each case copies the driver
// program into a fresh directory with its own resources, runs it as a new
// process, and checks the boxes it showed, its standard error and the state
// it left. Services are either this test's own server ("already running")
// or the fake service, which the client starts itself.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <nlohmann/json.hpp>

#include "desktop/desktop_internal.h"
#include "loopback_server.h"
#include "support/temp_directory.h"
#include "test_files.h"

namespace kesta::desktop {
namespace {

using kesta::testing::LoopbackServer;
using kesta::testing::ReceivedRequest;
using nlohmann::json;
namespace t = kesta::testing;
namespace fs = std::filesystem;

const std::string kCaption = "Ostrel · 启动失败";
const std::string kSuffix = "\n\n日志目录：";

std::string ValidInfo(json state = json::object(), const std::string& serviceVersion = "0.6.12") {
  return json{{"serviceVersion", serviceVersion}, {"state", state}}.dump();
}

std::string LocalAppData() {
  PWSTR path = nullptr;
  SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path);
  std::string result = t::Utf8(path);
  CoTaskMemFree(path);
  return result;
}

class Startup : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = temp_.Utf8();
    app_ = root_ + "\\客户端 app";
    resources_ = app_ + "/resources";
    fs::create_directories(fs::path(t::Wide(resources_)));
    fs::copy_file(fs::path(t::Wide(t::ProgramDirectory() + "\\desktop_prepare_driver.exe")),
                  fs::path(t::Wide(app_ + "\\client.exe")));
    dataDir_ = root_ + "/data dir";
    SetEnvironmentVariableW(L"KESTA_REPORT", t::Wide(root_ + "\\report.json").c_str());
    SetEnvironmentVariableW(L"KESTA_RECORDER_OUT", t::Wide(root_ + "\\records.jsonl").c_str());
  }

  void Bootstrap(const std::string& text) { t::WriteText(resources_ + "/bootstrap.json", text); }
  void BootstrapPort(int port, json extra = json::object()) {
    extra["port"] = port;
    Bootstrap(extra.dump());
  }
  void WriteToken(const std::string& text) {
    fs::create_directories(fs::path(t::Wide(dataDir_)));
    t::WriteText(dataDir_ + "/local-token", text);
  }

  // Installs the fake service as kesta-service.exe with `config`.
  void InstallFakeService(json config) {
    fs::copy_file(fs::path(t::Wide(t::ProgramDirectory() + "\\desktop_fake_service.exe")),
                  fs::path(t::Wide(app_ + "\\kesta-service.exe")), fs::copy_options::overwrite_existing);
    t::WriteText(resources_ + "/fake-service.json", config.dump());
  }

  // Runs the client's preparation with `arguments`; the report of the state
  // it left.
  json Run(const std::vector<std::string>& arguments = {}) {
    std::string executable = app_ + "\\client.exe";
    std::wstring line = quote(t::Wide(executable));
    for (const std::string& argument : arguments)
      line += L" " + quote(t::Wide(argument));
    fs::remove(fs::path(t::Wide(root_ + "\\report.json")));
    outcome_ = t::RunChild(processes_, root_, executable, line);
    EXPECT_TRUE(outcome_.finished) << outcome_.error;
    json report = json::parse(t::ReadText(root_ + "\\report.json"), nullptr, false);
    EXPECT_FALSE(report.is_discarded()) << outcome_.output;
    return report.is_discarded() ? json::object() : report;
  }
  json RunWithDataDir(std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), "--data-dir=" + dataDir_);
    return Run(arguments);
  }

  // One box with `message` and the data directory, the bare message on
  // standard error, and exit code 2.
  void ExpectFailure(const json& report, const std::string& message, const std::string& directory) {
    EXPECT_EQ(report.value("result", true), false);
    EXPECT_EQ(outcome_.exitCode, 2u);
    ASSERT_EQ(report["boxes"].size(), 1u) << report.dump();
    EXPECT_EQ(report["boxes"][0]["caption"], kCaption);
    EXPECT_EQ(report["boxes"][0]["text"], message + kSuffix + directory);
    // The bare message as a line of its own (the C runtime may end it with CR LF).
    std::vector<std::string> lines;
    std::istringstream stream(outcome_.output);
    for (std::string line; std::getline(stream, line);) {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      lines.push_back(line);
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), message), lines.end()) << outcome_.output;
    EXPECT_EQ(outcome_.output.find("日志目录"), std::string::npos) << outcome_.output;
  }

  std::vector<json> Records() {
    std::vector<json> records;
    for (const std::string& line : t::ReadLines(root_ + "\\records.jsonl"))
      records.push_back(json::parse(line));
    return records;
  }

  // Destroyed in reverse: the fake services the client started end before
  // their folder goes.
  t::TempDirectory temp_{"startup"};
  t::ProcessGroup processes_;
  std::string root_;
  std::string app_;
  std::string resources_;
  std::string dataDir_;
  t::ChildOutcome outcome_;
};

// A service that already runs: answers "/api/info" with `info` and records
// every request.
class RunningService {
 public:
  explicit RunningService(std::string info)
      : info_(std::move(info)), server_([this](const ReceivedRequest& request) { return Answer(request); }) {}

  uint16_t port() const { return server_.port(); }
  std::vector<ReceivedRequest> Requests() const { return server_.Requests(); }
  size_t Count(const std::string& target) const {
    size_t count = 0;
    for (const ReceivedRequest& request : Requests())
      count += request.target == target;
    return count;
  }
  // After an upgrade request, "/api/info" answers `info` once `delayMs` passed.
  void OnUpgrade(std::string answer, std::string info, int delayMs) {
    std::lock_guard lock(mutex_);
    upgradeAnswer_ = std::move(answer);
    afterUpgrade_ = std::move(info);
    upgradeDelay_ = std::chrono::milliseconds(delayMs);
  }

 private:
  std::optional<std::string> Answer(const ReceivedRequest& request) {
    std::lock_guard lock(mutex_);
    if (request.target == "/api/service-upgrade") {
      upgradedAt_ = std::chrono::steady_clock::now();
      return LoopbackServer::Response(200, upgradeAnswer_);
    }
    if (request.target == "/api/info") {
      if (upgradedAt_ && std::chrono::steady_clock::now() - *upgradedAt_ >= upgradeDelay_)
        return LoopbackServer::Response(200, afterUpgrade_);
      return LoopbackServer::Response(200, info_);
    }
    return LoopbackServer::Response(404, "");
  }

  std::mutex mutex_;
  std::string info_;
  std::string upgradeAnswer_ = "{}";
  std::string afterUpgrade_;
  std::chrono::milliseconds upgradeDelay_{0};
  std::optional<std::chrono::steady_clock::time_point> upgradedAt_;
  LoopbackServer server_;
};

TEST_F(Startup, BootstrapMustBeOneObject) {
  const std::string message = "客户端缺少有效的 bootstrap.json，请重新解压完整安装包。";
  json report = Run();  // no file at all
  ExpectFailure(report, message, "");
  for (const char* text : {"", "[]", "[{\"port\":8123}]", "{\"port\":8123,}", "\"text\"", "{"}) {
    Bootstrap(text);
    report = Run();
    ExpectFailure(report, message, "");
  }
}

TEST_F(Startup, PortMustBeAnIntegerInRange) {
  for (const char* text : {"{\"port\":0}", "{\"port\":65536}", "{\"port\":-1}", "{\"port\":\"8080\"}", "{}",
                           "{\"port\":8080.5}", "{\"port\":true}", "{\"port\":4294967297}"}) {
    Bootstrap(text);
    json report = Run();
    SCOPED_TRACE(text);
    ExpectFailure(report, "本地服务端口配置无效", "");
    EXPECT_EQ(report["localOrigin"], "");
  }
  // The bounds pass: preparation gets as far as starting the service, which
  // is not installed here.
  for (int port : {1, 65535}) {
    BootstrapPort(port);
    json report = RunWithDataDir();
    ExpectFailure(report, "无法启动本地资源服务：" + std::to_string(ERROR_FILE_NOT_FOUND), dataDir_);
    EXPECT_EQ(report["localOrigin"], "http://127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(report["origin"], report["localOrigin"]);
  }
}

TEST_F(Startup, DataDirectoryNameRules) {
  RunningService service(ValidInfo());
  for (const char* name : {"..", "a/b", "a\\b", "C:x", "x:"}) {
    BootstrapPort(service.port(), {{"dataDirectoryName", name}});
    json report = Run();
    SCOPED_TRACE(name);
    ExpectFailure(report, "数据目录名称无效", "");
  }
  // Allowed names end up under the local application data folder.
  std::string suffix = std::to_string(GetCurrentProcessId());
  for (std::string name : {"中文数据 " + suffix, " x " + suffix + " ", "kesta test " + suffix}) {
    BootstrapPort(service.port(), {{"dataDirectoryName", name}});
    json report = Run();
    SCOPED_TRACE(name);
    EXPECT_EQ(report["result"], true) << report.dump();
    EXPECT_EQ(report["dataDir"], LocalAppData() + "/" + name);
    EXPECT_EQ(report["desktopDataDir"], LocalAppData() + "\\" + name);
    std::error_code ignored;
    fs::remove_all(fs::path(t::Wide(LocalAppData() + "\\" + name)), ignored);
  }
  // A single dot and "..." pass the rule (they name the folder itself).
  for (const char* name : {".", "..."}) {
    BootstrapPort(service.port(), {{"dataDirectoryName", name}});
    EXPECT_EQ(Run()["result"], true) << name;
  }
  // Refused by the file system only: reported as a creation failure.
  BootstrapPort(service.port(), {{"dataDirectoryName", "a*b?"}});
  json report = Run();
  EXPECT_EQ(report["result"], false);
  ASSERT_EQ(report["boxes"].size(), 1u);
  std::string text = report["boxes"][0]["text"];
  EXPECT_EQ(text.rfind("无法创建客户端数据目录：", 0), 0u) << text;
  EXPECT_NE(text.find(kSuffix + LocalAppData() + "/a*b?"), std::string::npos) << text;
}

TEST_F(Startup, DefaultDataDirectory) {
  RunningService service(ValidInfo());
  // Missing, empty or non-string names all mean the default.
  for (json extra : {json::object(), json{{"dataDirectoryName", ""}}, json{{"dataDirectoryName", 7}}}) {
    BootstrapPort(service.port(), extra);
    json report = Run();
    EXPECT_EQ(report["result"], true) << report.dump();
    EXPECT_EQ(report["dataDir"], LocalAppData() + "/KESTA Client");
    EXPECT_EQ(report["desktopDataDir"], LocalAppData() + "\\KESTA Client");
  }
}

TEST_F(Startup, DataDirSwitchIsUsedVerbatim) {
  RunningService service(ValidInfo());
  // The name rule is not applied when the switch gives a directory.
  BootstrapPort(service.port(), {{"dataDirectoryName", ".."}});
  std::string forward = root_ + "/nested/数据/dir";
  for (char& c : forward)
    if (c == '\\')
      c = '/';
  json report = Run({"--data-dir=" + forward});
  EXPECT_EQ(report["result"], true) << report.dump();
  EXPECT_EQ(report["dataDir"], forward);
  std::string backslashed = forward;
  for (char& c : backslashed)
    if (c == '/')
      c = '\\';
  EXPECT_EQ(report["desktopDataDir"], backslashed);
  EXPECT_TRUE(fs::is_directory(fs::path(t::Wide(forward))));
  // An existing directory is fine too.
  EXPECT_EQ(Run({"--data-dir=" + forward})["result"], true);
  // An empty value counts as absent: the name rule applies again.
  ExpectFailure(Run({"--data-dir="}), "数据目录名称无效", "");
}

TEST_F(Startup, DataDirectoryThatCannotBeCreated) {
  RunningService service(ValidInfo());
  BootstrapPort(service.port());
  std::string file = root_ + "/plain file";
  t::WriteText(file, "x");
  json report = Run({"--data-dir=" + file + "/below"});
  EXPECT_EQ(report["result"], false);
  ASSERT_EQ(report["boxes"].size(), 1u);
  std::string text = report["boxes"][0]["text"];
  EXPECT_EQ(text.rfind("无法创建客户端数据目录：", 0), 0u) << text;
  EXPECT_GT(text.find(kSuffix), std::string("无法创建客户端数据目录：").size()) << "no error text";
  EXPECT_EQ(outcome_.exitCode, 2u);
}

TEST_F(Startup, RunningServiceIsUsedAsItIs) {
  json state = {{"siteOrigin", "https://game.example"},
                {"migrationSources", {"https://old.example", "https://older.example"}},
                {"accessRootSPKI", "spki=="},
                {"networkEnforced", true},
                {"clientPath", ""},
                {"client", "9.9.9"}};
  RunningService service(ValidInfo(state, "0.1.0"));
  BootstrapPort(service.port());
  InstallFakeService({{"lifetimeMs", 1000}});  // must not be started
  WriteToken("  token with spaces\t \r\n");
  json report = RunWithDataDir({"--foo=bar", "positional"});
  ASSERT_EQ(report["result"], true) << report.dump() << outcome_.output;
  EXPECT_EQ(outcome_.exitCode, 0u);
  EXPECT_TRUE(report["boxes"].empty());

  EXPECT_EQ(report["token"], "  token with spaces");
  EXPECT_EQ(report["localOrigin"], "http://127.0.0.1:" + std::to_string(service.port()));
  EXPECT_EQ(report["origin"], "https://game.example");
  EXPECT_EQ(report["initialState"], ValidInfo(state, "0.1.0"));
  EXPECT_EQ(report["migrationSources"], json::array({"https://old.example", "https://older.example"}));
  EXPECT_EQ(report["accessRootSPKI"], "spki==");
  EXPECT_EQ(report["startupNetworkEnforced"], true);
  EXPECT_EQ(report["restartNeededForEnforcement"], false);
  EXPECT_EQ(report["appDirectory"], app_);
  EXPECT_EQ(report["restartExecutable"], app_ + "\\client.exe");
  EXPECT_EQ(report["restartArguments"], json::array({"--data-dir=" + dataDir_, "--foo=bar", "positional"}));

  // One question, with the token read once; nothing started.
  auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/api/info");
  EXPECT_EQ(requests[0].Header("Authorization"), "Bearer   token with spaces");
  EXPECT_FALSE(fs::exists(fs::path(t::Wide(dataDir_ + "/fake-service-starts.log"))));
  EXPECT_FALSE(fs::exists(fs::path(t::Wide(dataDir_ + "/service.log"))));
}

TEST_F(Startup, StateDefaultsWhenKeysAreMissing) {
  RunningService service(ValidInfo({{"migrationSources", {"https://a.example", 5}}, {"networkEnforced", 1}}));
  BootstrapPort(service.port());
  json report = RunWithDataDir();
  ASSERT_EQ(report["result"], true) << report.dump();
  EXPECT_EQ(report["token"], "");  // no token file
  EXPECT_EQ(report["origin"], report["localOrigin"]);
  // A non-string element still takes a place, as an empty string.
  EXPECT_EQ(report["migrationSources"], json::array({"https://a.example", ""}));
  EXPECT_EQ(report["accessRootSPKI"], "");
  // Only a JSON boolean enforces.
  EXPECT_EQ(report["startupNetworkEnforced"], false);
  EXPECT_EQ(report["restartNeededForEnforcement"], true);
  ASSERT_EQ(service.Requests().size(), 1u);
  EXPECT_EQ(service.Requests()[0].Header("Authorization").value_or("?").rfind("Bearer", 0), 0u);
}

TEST_F(Startup, AnswerWithoutStateFails) {
  for (std::string info : {std::string("not json"), std::string("[]"), json{{"serviceVersion", "0.6.12"}}.dump(),
                           json{{"state", "text"}}.dump(), json{{"state", json::array()}}.dump()}) {
    RunningService service(info);
    BootstrapPort(service.port());
    SCOPED_TRACE(info);
    ExpectFailure(RunWithDataDir(), "本地服务返回了无效状态", dataDir_);
  }
}

TEST_F(Startup, ServiceStartedByTheClientAnswersLate) {
  uint16_t port = t::FreeLoopbackPort();
  BootstrapPort(port);
  InstallFakeService({{"tokenDelayMs", 700},
                      {"token", "late-token\r\n"},
                      {"listenDelayMs", 1500},
                      {"info", ValidInfo({{"siteOrigin", ""}})},
                      {"lifetimeMs", 2000}});
  WriteToken("early-token\n");
  json report = RunWithDataDir();
  ASSERT_EQ(report["result"], true) << report.dump() << outcome_.output;
  EXPECT_EQ(report["token"], "late-token");
  EXPECT_EQ(report["origin"], "http://127.0.0.1:" + std::to_string(port));

  std::vector<std::string> starts = t::ReadLines(dataDir_ + "/fake-service-starts.log");
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(json::parse(starts[0])["arguments"], json::array({"--data-dir", dataDir_, "--bundle", resources_}));
  // The answer that ended the wait carried the token as re-read just before.
  std::vector<std::string> requests = t::ReadLines(dataDir_ + "/fake-service-requests.log");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(json::parse(requests[0])["authorization"], "Bearer late-token");

  // A second start appends to the same log.
  Sleep(3000);  // the first service has ended by now
  report = RunWithDataDir();
  ASSERT_EQ(report["result"], true) << report.dump();
  EXPECT_EQ(t::ReadLines(dataDir_ + "/fake-service-starts.log").size(), 2u);
  std::vector<std::string> log = t::ReadLines(dataDir_ + "/service.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), "fake service started"), 2) << t::ReadText(dataDir_ + "/service.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), "fake service diagnostics"), 2);
}

TEST_F(Startup, StartedServiceAnsweringGarbageEndsTheWait) {
  BootstrapPort(t::FreeLoopbackPort());
  InstallFakeService({{"info", "<html>not json</html>"}, {"lifetimeMs", 3000}});
  json report = RunWithDataDir();
  ExpectFailure(report, "本地服务返回了无效状态", dataDir_);
  EXPECT_LT(report["elapsedMs"].get<int>(), 20000);
}

TEST_F(Startup, StartedServiceThatNeverAnswers) {
  BootstrapPort(t::FreeLoopbackPort());
  // The client's last try starts by 30.1 s after it started the service and
  // ends by 33.1 s; this one would listen only at 60 s, and it ends with the
  // client, so the wide margin costs nothing.
  InstallFakeService({{"listenDelayMs", 60000}, {"lifetimeMs", 0}});
  json report = RunWithDataDir();
  ExpectFailure(report, "本地资源服务未能启动。请查看 service.log。", dataDir_);
  EXPECT_GE(report["elapsedMs"].get<int>(), 29000);
  EXPECT_EQ(t::ReadLines(dataDir_ + "/fake-service-starts.log").size(), 1u);
}

TEST_F(Startup, HandOverToAnUpdatedClient) {
  std::string clientDirectory = root_ + "\\updated client";
  fs::create_directories(fs::path(t::Wide(clientDirectory)));
  fs::copy_file(fs::path(t::Wide(t::ProgramDirectory() + "\\desktop_recorder.exe")),
                fs::path(t::Wide(clientDirectory + "\\KESTA.exe")));
  for (json state :
       {json{{"clientPath", clientDirectory}, {"client", "0.6.13"}}, json{{"clientPath", clientDirectory}}}) {
    RunningService service(ValidInfo(state));
    BootstrapPort(service.port());
    size_t before = Records().size();
    json report = RunWithDataDir();
    SCOPED_TRACE(state.dump());
    EXPECT_EQ(report["result"], false);
    EXPECT_EQ(outcome_.exitCode, 2u);
    EXPECT_TRUE(report["boxes"].empty());
    ASSERT_TRUE(t::WaitForLines(root_ + "\\records.jsonl", before + 1));
    json record = Records()[before];
    EXPECT_EQ(record["shell"], json::array({clientDirectory + "/KESTA.exe", "--data-dir=" + dataDir_}));
    EXPECT_EQ(record["crt"], record["shell"]);
    EXPECT_EQ(service.Count("/api/service-upgrade"), 0u);
  }
  // Nothing to hand over to.
  RunningService service(ValidInfo({{"clientPath", root_ + "\\nowhere"}, {"client", "0.7.0"}}));
  BootstrapPort(service.port());
  ExpectFailure(RunWithDataDir(), "无法启动已更新的客户端", dataDir_);
}

TEST_F(Startup, ServiceUpgradeWaitsForTheNewVersion) {
  json state = {{"clientPath", "C:\\updated"}, {"client", "0.6.12"}};
  RunningService service(ValidInfo(state, "0.6.11"));
  std::string upgraded =
      ValidInfo({{"clientPath", "C:\\updated"}, {"client", "0.6.12"}, {"siteOrigin", "https://late"}});
  service.OnUpgrade("accepted", upgraded, 1500);
  BootstrapPort(service.port());
  WriteToken("tok");
  json report = RunWithDataDir();
  ASSERT_EQ(report["result"], true) << report.dump();
  EXPECT_EQ(report["initialState"], upgraded);
  // The site origin comes from the first answer only.
  EXPECT_EQ(report["origin"], report["localOrigin"]);
  auto requests = service.Requests();
  ASSERT_GE(requests.size(), 3u);
  EXPECT_EQ(requests[0].target, "/api/info");
  EXPECT_EQ(requests[1].method, "POST");
  EXPECT_EQ(requests[1].target, "/api/service-upgrade");
  EXPECT_EQ(requests[1].body, "{}");
  EXPECT_EQ(service.Count("/api/service-upgrade"), 1u);
  // Polled about every 100 ms until the new version answered.
  EXPECT_GE(service.Count("/api/info"), 5u);
  EXPECT_LE(service.Count("/api/info"), 30u);
  EXPECT_EQ(requests.back().target, "/api/info");
}

TEST_F(Startup, NoUpgradeOrHandOverWithoutAClientPath) {
  RunningService current(ValidInfo({{"clientPath", "C:\\x"}, {"client", "0.6.12"}}, "0.6.12"));
  BootstrapPort(current.port());
  EXPECT_EQ(RunWithDataDir()["result"], true);
  EXPECT_EQ(current.Count("/api/service-upgrade"), 0u);

  RunningService noPath(ValidInfo({{"client", "0.1"}}, "0.0.1"));
  BootstrapPort(noPath.port());
  EXPECT_EQ(RunWithDataDir()["result"], true);
  EXPECT_EQ(noPath.Count("/api/service-upgrade"), 0u);
  EXPECT_TRUE(Records().empty());
}

TEST_F(Startup, FailedUpgrades) {
  json state = {{"clientPath", "C:\\updated"}, {"client", "0.6.12"}};
  // 200 with an empty body is no answer; a missing "serviceVersion" differs
  // from ours like an older one.
  for (std::string info : {ValidInfo(state, "0.6.11"), json{{"state", state}}.dump()}) {
    RunningService service(info);
    service.OnUpgrade("", ValidInfo(state), 0);
    BootstrapPort(service.port());
    ExpectFailure(RunWithDataDir(), "资源服务升级请求失败", dataDir_);
    EXPECT_EQ(service.Count("/api/service-upgrade"), 1u);
    EXPECT_EQ(service.Count("/api/info"), 1u);
  }
  {
    RunningService service(ValidInfo(state, "0.6.11"));
    service.OnUpgrade("ok", ValidInfo(state, "0.6.11"), 0);
    BootstrapPort(service.port());
    json report = RunWithDataDir();
    ExpectFailure(report, "更新后的资源服务未能就绪", dataDir_);
    EXPECT_GE(report["elapsedMs"].get<int>(), 10000);
  }
  {
    RunningService service(ValidInfo(state, "0.6.11"));
    service.OnUpgrade("ok", json{{"serviceVersion", "0.6.12"}}.dump(), 0);
    BootstrapPort(service.port());
    ExpectFailure(RunWithDataDir(), "本地服务返回了无效网络状态", dataDir_);
  }
}

}  // namespace
}  // namespace kesta::desktop
