// A client installed in a folder of its own for one scenario: KESTA.exe,
// KESTA.dll and kesta-service.exe beside a copy of the sample game whose
// bootstrap names a free port. The client is started as a user would start
// it; the service it starts opens its test control to the scenario. The
// protocol violations the service logs fail the scenario when it ends.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/service_harness_win.h"
#include "support/process_group_win.h"

namespace kesta::testing {

class ClientInstall {
 public:
  // `serviceOptions` are further switches for the service the client starts.
  explicit ClientInstall(const std::string& name, const std::vector<std::string>& serviceOptions = {});
  ~ClientInstall();
  ClientInstall(const ClientInstall&) = delete;
  ClientInstall& operator=(const ClientInstall&) = delete;

  // Starts the installed kesta-service.exe with its test control before the
  // client, which then finds it answering and uses it; its output goes to
  // service.log as when the client starts it. True once it answers.
  bool StartService();

  // Starts KESTA.exe with `arguments` (after --data-dir). Its standard error
  // goes to client.err under root().
  bool StartClient(const std::vector<std::wstring>& arguments = {});
  // The client's exit code once it ended within `timeout`; -1 otherwise.
  int WaitForExit(std::chrono::milliseconds timeout);
  DWORD clientProcessId() const { return clientPid_; }

  // The service, once the client has started it (its token read anew).
  std::string Token() const;
  HttpAnswer Api(service_http::verb method, const std::string& target, const std::string& body = "") const;
  HttpAnswer Control(const nlohmann::json& statePatch) const;
  nlohmann::json Journal() const;
  // Asks the running service to end and waits until it has (at most 10 s,
  // then ends it), so its log is complete.
  void StopService() const;

  // Visible top-level windows of the client process whose title passes.
  std::vector<HWND> Windows(const std::function<bool(const std::wstring& title)>& match) const;
  HWND WaitForWindow(const std::function<bool(const std::wstring& title)>& match,
                     std::chrono::milliseconds timeout) const;

  std::string ClientErrors() const;
  std::string ServiceLog() const;
  // Violations logged since the last look, for a scenario that makes them on
  // purpose.
  std::vector<std::string> TakeViolations() { return violations_.Take(); }

  const std::filesystem::path& root() const { return root_; }
  const std::filesystem::path& data() const { return data_; }
  uint16_t port() const { return port_; }

 private:
  std::filesystem::path root_, app_, data_;
  ViolationLog violations_{std::filesystem::path()};
  uint16_t port_ = 0;
  HANDLE client_ = nullptr;
  HANDLE service_ = nullptr;
  DWORD clientPid_ = 0;
  // The client, the services it starts and their successors.
  ProcessGroup processes_;
};

// Polls `done` every 50 ms until it holds or `timeout` passes.
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

}  // namespace kesta::testing
