#include "e2e/client_install_win.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <thread>

namespace kesta::testing {

namespace fs = std::filesystem;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done())
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

ClientInstall::ClientInstall(const std::string& name, const std::vector<std::string>& serviceOptions) {
  std::random_device seed;
  root_ = fs::temp_directory_path() / ("kesta-e2e-" + name + "-" + std::to_string(seed()));
  app_ = root_ / "app";
  data_ = root_ / "data";
  violations_ = ViolationLog(data_ / "service.log");
  fs::create_directories(app_);
  const fs::path bin = WindowsPath(KESTA_BIN_DIR);
  for (const char* file : {"KESTA.exe", "KESTA.dll", "kesta-service.exe"})
    fs::copy_file(bin / file, app_ / file);
  fs::copy(WindowsPath(KESTA_SAMPLE_RESOURCES), app_ / "resources", fs::copy_options::recursive);

  // A port of its own, and the service's test options in the bootstrap it
  // reads (the client ignores keys it does not know).
  port_ = FreeLoopbackPort();
  nlohmann::json bootstrap = nlohmann::json::parse(ReadTextFile(app_ / "resources" / "bootstrap.json"));
  bootstrap["port"] = port_;
  std::ofstream(app_ / "resources" / "bootstrap.json", std::ios::trunc) << bootstrap.dump();

  // The service the client starts inherits this environment.
  SetEnvironmentVariableW(L"KESTA_SERVICE_CONTROL", L"1");
  std::string options;
  for (const std::string& option : serviceOptions)
    options += (options.empty() ? "" : " ") + option;
  SetEnvironmentVariableA("KESTA_SERVICE_OPTIONS", options.empty() ? nullptr : options.c_str());
}

ClientInstall::~ClientInstall() {
  if (client_) {
    if (WaitForSingleObject(client_, 0) == WAIT_TIMEOUT)
      TerminateProcess(client_, 1);
    WaitForSingleObject(client_, 5000);
    CloseHandle(client_);
  }
  StopService();
  if (service_) {
    if (WaitForSingleObject(service_, 5000) == WAIT_TIMEOUT)
      TerminateProcess(service_, 1);
    CloseHandle(service_);
  }
  processes_.End();
  violations_.Report();
  RemoveTree(root_);
}

namespace {

// Starts `command` in `directory` and `group` with standard output and error
// appended to `output`; the process handle and id, or a null handle.
PROCESS_INFORMATION launch(std::wstring command,
                           const fs::path& directory,
                           const fs::path& output,
                           ProcessGroup& group) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE file = CreateFileW(output.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = file;
  startup.hStdError = file;
  PROCESS_INFORMATION info{};
  // Once in a while, under a busy Wine server, a start fails at once; a few
  // more tries tell that apart from a real failure, and the code is shown.
  for (int attempt = 1; attempt <= 5; ++attempt) {
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, directory.c_str(),
                       &startup, &info))
      break;
    info = PROCESS_INFORMATION{};
    std::fprintf(stderr, "CreateProcessW failed with %lu (try %d of 5)\n", GetLastError(), attempt);
    Sleep(200);
  }
  CloseHandle(file);
  if (!info.hProcess)
    return info;
  const bool joined = group.Join(info);
  CloseHandle(info.hThread);
  if (!joined) {
    std::fprintf(stderr, "%s\n", group.error().c_str());
    CloseHandle(info.hProcess);
    return PROCESS_INFORMATION{};
  }
  return info;
}

}  // namespace

bool ClientInstall::StartService() {
  fs::create_directories(data_);
  const std::wstring command = L"\"" + (app_ / "kesta-service.exe").wstring() + L"\" --data-dir \"" + data_.wstring() +
                               L"\" --bundle \"" + (app_ / "resources").wstring() + L"\" --control";
  const PROCESS_INFORMATION info = launch(command, app_, data_ / "service.log", processes_);
  if (!info.hProcess)
    return false;
  service_ = info.hProcess;
  return WaitUntil([&] { return Api(service_http::verb::get, "/api/info").status == 200; }, std::chrono::seconds(20));
}

bool ClientInstall::StartClient(const std::vector<std::wstring>& arguments) {
  std::wstring command = L"\"" + (app_ / "KESTA.exe").wstring() + L"\" \"--data-dir=" + data_.wstring() + L"\"";
  for (const std::wstring& argument : arguments)
    command += L" " + argument;
  const PROCESS_INFORMATION info = launch(command, app_, root_ / "client.err", processes_);
  if (!info.hProcess)
    return false;
  if (client_)
    CloseHandle(client_);  // an earlier client is the scenario's to watch
  client_ = info.hProcess;
  clientPid_ = info.dwProcessId;
  return true;
}

int ClientInstall::WaitForExit(std::chrono::milliseconds timeout) {
  if (!client_ || WaitForSingleObject(client_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
    return -1;
  DWORD code = 0;
  GetExitCodeProcess(client_, &code);
  return static_cast<int>(code);
}

std::string ClientInstall::Token() const {
  std::string token = ReadTextFile(data_ / "local-token");
  while (!token.empty() && std::isspace(static_cast<unsigned char>(token.back())))
    token.pop_back();
  return token;
}

HttpAnswer ClientInstall::Api(service_http::verb method, const std::string& target, const std::string& body) const {
  return HttpSend(port_, method, target, {{"Authorization", "Bearer " + Token()}, {"Content-Type", "application/json"}},
                  body);
}

HttpAnswer ClientInstall::Control(const nlohmann::json& statePatch) const {
  return Api(service_http::verb::post, "/__control/state", statePatch.dump());
}

nlohmann::json ClientInstall::Journal() const {
  return Api(service_http::verb::get, "/__control/journal").Json();
}

void ClientInstall::StopService() const {
  // The service is often one the client started, out of the harness's sight:
  // its journal names its process, opened before it is asked to end so the
  // id cannot pass to another process meanwhile. Its log is whole only once
  // it has ended.
  const nlohmann::json journal = Journal();
  HANDLE process = nullptr;
  if (journal.is_object() && journal.contains("pid") && journal["pid"].is_number_integer())
    process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, journal["pid"].get<DWORD>());
  Api(service_http::verb::post, "/__control/shutdown", "{}");
  if (!process)
    return;
  if (WaitForSingleObject(process, 10000) == WAIT_TIMEOUT) {
    std::fprintf(stderr, "the service did not end within 10 s of its shutdown\n");
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
  }
  CloseHandle(process);
}

std::vector<HWND> ClientInstall::Windows(const std::function<bool(const std::wstring& title)>& match) const {
  struct Search {
    DWORD pid;
    const std::function<bool(const std::wstring&)>* match;
    std::vector<HWND> found;
  } search{clientPid_, &match, {}};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* search = reinterpret_cast<Search*>(param);
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid != search->pid || !IsWindowVisible(window))
          return TRUE;
        wchar_t title[512] = {};
        GetWindowTextW(window, title, 512);
        if ((*search->match)(title))
          search->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND ClientInstall::WaitForWindow(const std::function<bool(const std::wstring& title)>& match,
                                  std::chrono::milliseconds timeout) const {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        auto windows = Windows(match);
        found = windows.empty() ? nullptr : windows.front();
        return found != nullptr;
      },
      timeout);
  return found;
}

std::string ClientInstall::ClientErrors() const {
  return ReadTextFile(root_ / "client.err");
}

std::string ClientInstall::ServiceLog() const {
  return ReadTextFile(data_ / "service.log");
}

}  // namespace kesta::testing
