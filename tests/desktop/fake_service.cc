// A stand-in local service for start-up tests, started by the client as
// kesta-service.exe --data-dir D --bundle B. It takes its behaviour from
// B/fake-service.json, listens on the port of B/bootstrap.json, records its
// starts and requests under D, and ends by itself.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>

#include "loopback_server.h"
#include "test_files.h"

using kesta::testing::LoopbackServer;
using kesta::testing::ReceivedRequest;
using nlohmann::json;

namespace {

// The process that started this one, open for waiting on; null when it is
// not found.
HANDLE openParent() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE)
    return nullptr;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) {
      parent = entry.th32ParentProcessID;
      break;
    }
  }
  CloseHandle(snapshot);
  return parent == 0 ? nullptr : OpenProcess(SYNCHRONIZE, FALSE, parent);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using kesta::testing::AppendLine;
  using kesta::testing::ReadText;
  using kesta::testing::Utf8;
  std::string dataDir, bundle;
  json arguments = json::array();
  for (int i = 1; i < argc; ++i) {
    arguments.push_back(Utf8(argv[i]));
    if (std::wstring(argv[i]) == L"--data-dir" && i + 1 < argc)
      dataDir = Utf8(argv[i + 1]);
    if (std::wstring(argv[i]) == L"--bundle" && i + 1 < argc)
      bundle = Utf8(argv[i + 1]);
  }
  // Goes to service.log when the client started us.
  std::printf("fake service started\n");
  std::fflush(stdout);
  std::fprintf(stderr, "fake service diagnostics\n");
  std::fflush(stderr);
  AppendLine(dataDir + "/fake-service-starts.log", json{{"arguments", arguments}}.dump());

  json config = json::parse(ReadText(bundle + "/fake-service.json"), nullptr, false);
  json bootstrap = json::parse(ReadText(bundle + "/bootstrap.json"), nullptr, false);
  if (config.is_discarded() || bootstrap.is_discarded())
    return 3;
  auto number = [&](const char* key, int fallback) { return config.value(key, fallback); };

  std::this_thread::sleep_for(std::chrono::milliseconds(number("tokenDelayMs", 0)));
  if (config.contains("token"))
    kesta::testing::WriteText(dataDir + "/local-token", config["token"].get<std::string>());
  // A late start: once the client that started us has given up and ended,
  // nobody is left to answer.
  const DWORD listenDelay = static_cast<DWORD>(number("listenDelayMs", 0));
  if (HANDLE client = listenDelay > 0 ? openParent() : nullptr) {
    const bool ended = WaitForSingleObject(client, listenDelay) == WAIT_OBJECT_0;
    CloseHandle(client);
    if (ended)
      return 0;
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(listenDelay));
  }

  std::mutex mutex;
  bool upgraded = false;
  auto upgradedAt = std::chrono::steady_clock::now();
  LoopbackServer server(
      [&](const ReceivedRequest& request) -> std::optional<std::string> {
        json line{{"method", request.method},
                  {"target", request.target},
                  {"authorization", request.Header("Authorization").value_or("<none>")},
                  {"body", request.body}};
        AppendLine(dataDir + "/fake-service-requests.log", line.dump());
        std::lock_guard lock(mutex);
        if (request.target == "/api/service-upgrade") {
          upgraded = true;
          upgradedAt = std::chrono::steady_clock::now();
          return LoopbackServer::Response(200, config.value("upgradeAnswer", std::string("{}")));
        }
        if (request.target == "/api/info") {
          bool switched = upgraded && std::chrono::steady_clock::now() - upgradedAt >=
                                          std::chrono::milliseconds(number("upgradeDelayMs", 0));
          if (switched && config.contains("afterUpgrade"))
            return LoopbackServer::Response(200, config["afterUpgrade"].get<std::string>());
          return LoopbackServer::Response(number("infoStatus", 200), config.value("info", std::string()));
        }
        return LoopbackServer::Response(404, "");
      },
      static_cast<uint16_t>(bootstrap.value("port", 0)));
  std::this_thread::sleep_for(std::chrono::milliseconds(number("lifetimeMs", 20000)));
  return 0;
}
