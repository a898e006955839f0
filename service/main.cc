// kesta-service.exe: the local resource service the client starts beside
// itself. It listens on the bundle's loopback port, writes a fresh token to
// the data directory, reports its state and serves the game's files.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <nlohmann/json.hpp>

#include "http_server.h"
#include "log.h"
#include "options.h"
#include "resources.h"
#include "service_state.h"
#include "token.h"

namespace {

using namespace kesta::service;

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1)
    return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

std::wstring Wide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

// One argument as CommandLineToArgvW reads it back.
std::wstring Quote(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

// The upgrade: this program again, on the same data directory, bundle and
// switches, as the current version, keeping the token. It inherits the
// standard handles, so it logs to the same service.log.
void HandOver(const Options& options, const ServiceState& state) {
  std::wstring exe(32768, L'\0');
  exe.resize(GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size())));
  std::vector<std::string> args = {"--data-dir", options.dataDir, "--bundle", options.bundle};
  if (!options.siteOrigin.empty())
    args.insert(args.end(), {"--site-origin", options.siteOrigin});
  if (state.networkEnforced())
    args.push_back("--network-enforced");
  if (options.control)
    args.push_back("--control");
  args.insert(args.end(), {"--take-over", std::to_string(state.upgradeGapMs())});
  std::wstring command = Quote(exe);
  for (const std::string& arg : args)
    command += L" " + Quote(Wide(arg));
  // Its switches are the ones above, not the ones this process was given.
  SetEnvironmentVariableW(L"KESTA_SERVICE_OPTIONS", nullptr);

  // Only the standard handles go across: the open connections and the
  // proxy's port stay with this process and end with it.
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.StartupInfo.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.StartupInfo.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::vector<HANDLE> inherited;
  for (HANDLE handle : {startup.StartupInfo.hStdInput, startup.StartupInfo.hStdOutput, startup.StartupInfo.hStdError}) {
    if (!handle || handle == INVALID_HANDLE_VALUE ||
        std::find(inherited.begin(), inherited.end(), handle) != inherited.end())
      continue;
    SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    inherited.push_back(handle);
  }
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> attributes(size);
  startup.lpAttributeList = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
  const bool listed = !inherited.empty() && InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &size) &&
                      UpdateProcThreadAttribute(startup.lpAttributeList, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                                inherited.data(), inherited.size() * sizeof(HANDLE), nullptr, nullptr);
  if (!listed)
    startup.lpAttributeList = nullptr;
  PROCESS_INFORMATION info{};
  BOOL created = CreateProcessW(nullptr, command.data(), nullptr, nullptr, !inherited.empty(),
                                CREATE_NO_WINDOW | (listed ? EXTENDED_STARTUPINFO_PRESENT : 0), nullptr, nullptr,
                                &startup.StartupInfo, &info);
  if (listed) {
    DeleteProcThreadAttributeList(startup.lpAttributeList);
    // A system that refuses the list still gets its successor.
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    if (!created)
      created = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                               &startup.StartupInfo, &info);
  }
  if (!created) {
    Log("cannot start the upgraded service: error " + std::to_string(GetLastError()));
    return;
  }
  Log("upgraded service started as process " + std::to_string(info.dwProcessId));
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

// The token in the file, if any: the one the successor of an upgrade keeps
// (the client does not read the file again while it waits for it).
std::optional<std::string> InheritedToken(const std::filesystem::path& file) {
  auto token = ReadWholeFile(file);
  while (token && !token->empty() && std::isspace(static_cast<unsigned char>(token->back())))
    token->pop_back();
  if (!token || token->empty())
    return std::nullopt;
  return token;
}

// The tokens of the services that ran on this data directory before, which
// a client started then still sends: the one in the file and those they
// noted, newest last, a bounded number.
std::vector<std::string> EarlierTokens(const std::filesystem::path& dataDir, const std::string& token) {
  constexpr size_t kKept = 64;
  std::vector<std::string> tokens;
  std::string line;
  for (char c : ReadWholeFile(dataDir / "earlier-tokens").value_or("") + "\n") {
    if (c != '\n') {
      line += c;
    } else if (!line.empty()) {
      tokens.push_back(line);
      line.clear();
    }
  }
  const std::string current = InheritedToken(dataDir / "local-token").value_or("");
  if (!current.empty() && current != token && (tokens.empty() || tokens.back() != current))
    tokens.push_back(current);
  if (tokens.size() > kKept)
    tokens.erase(tokens.begin(), tokens.end() - kKept);
  return tokens;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + "\n";
  return text;
}

// Standard output and error both end up in service.log: say it once.
int Fail(const std::string& message) {
  Log(message);
  return 2;
}

int Run(Options options) {
  const std::filesystem::path bundle = PathFromUtf8(options.bundle);
  const std::filesystem::path dataDir = PathFromUtf8(options.dataDir);

  const auto bootstrapText = ReadWholeFile(bundle / "bootstrap.json");
  const nlohmann::json bootstrap =
      bootstrapText ? nlohmann::json::parse(*bootstrapText, nullptr, false) : nlohmann::json();
  if (!bootstrap.is_object())
    return Fail("cannot read bootstrap.json in " + options.bundle);
  const auto port = bootstrap.find("port");
  if (port == bootstrap.end() || !port->is_number_integer() || *port < 1 || *port > 65535)
    return Fail("bootstrap.json has no valid port");
  // A bundle may name the origin its game is served under (the client
  // ignores the key); --site-origin overrides it.
  const auto siteOrigin = bootstrap.find("siteOrigin");
  if (options.siteOrigin.empty() && siteOrigin != bootstrap.end() && siteOrigin->is_string())
    options.siteOrigin = siteOrigin->get<std::string>();

  std::error_code error;
  std::filesystem::create_directories(dataDir, error);
  if (error)
    return Fail("cannot create the data directory: " + error.message());

  const bool successor = options.takeOverMs >= 0;
  const auto token = successor ? InheritedToken(dataDir / "local-token") : NewToken();
  if (!token)
    return Fail(successor ? "cannot read the predecessor's token" : "cannot generate a token");

  const std::string localOrigin = "http://127.0.0.1:" + std::to_string(port->get<int>());
  ResourceStore store(bundle / "pools", dataDir / "packages");
  ServiceState state({localOrigin, options.siteOrigin, options.bundle + "/pools", dataDir,
                      successor ? std::string(kCurrentVersion) : options.serviceVersion, options.networkEnforced,
                      static_cast<int64_t>(GetCurrentProcessId())},
                     store);

  const std::vector<std::string> earlierTokens = EarlierTokens(dataDir, *token);
  boost::asio::io_context io(1);
  HttpServer server(io, state, store,
                    {*token, options.control, bundle / "client", earlierTokens,
                     [&options](const ServiceState& current) { HandOver(options, current); }});
  std::string listenError;
  bool listening = false;
  if (successor) {
    // The predecessor lets the port go as it ends; wait for that, briefly.
    std::this_thread::sleep_for(std::chrono::milliseconds(options.takeOverMs));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(listening = server.Listen(static_cast<uint16_t>(port->get<int>()), listenError)) &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } else {
    listening = server.Listen(static_cast<uint16_t>(port->get<int>()), listenError);
  }
  if (!listening)
    return Fail("cannot listen on " + localOrigin + ": " + listenError);
  if (options.networkEnforced && !server.EnsureProxy(listenError))
    return Fail("cannot start the loopback proxy: " + listenError);
  // Only now, with the port ours, may the token change: clients of another
  // service on this port keep theirs.
  if (!successor && !WriteFileAtomically(dataDir / "earlier-tokens", Joined(earlierTokens)))
    Log("cannot note the earlier tokens");
  if (!successor && !WriteFileAtomically(dataDir / "local-token", *token))
    return Fail("cannot write local-token in " + options.dataDir);

  Log("kesta-service " + options.serviceVersion + " listening on " + localOrigin + ", generation " +
      state.generation() + (options.control ? ", control enabled" : ""));
  server.Start();
  io.run();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(Utf8(argv[i]));
  // Tests hand further switches, blank-separated, to a service that the
  // client under test starts itself.
  wchar_t extra[1024] = {};
  const DWORD extraLength = GetEnvironmentVariableW(L"KESTA_SERVICE_OPTIONS", extra, 1024);
  if (extraLength > 0 && extraLength < 1024) {
    std::string word;
    for (char c : Utf8(extra) + " ") {
      if (c != ' ') {
        word += c;
      } else if (!word.empty()) {
        args.push_back(word);
        word.clear();
      }
    }
  }
  Options options;
  if (const auto problem = ParseOptions(args, options)) {
    return Fail(*problem +
                "\nusage: kesta-service --data-dir DIR --bundle DIR [--site-origin ORIGIN]"
                " [--service-version V] [--network-enforced] [--control] [--take-over MS]");
  }
  // A service that the client under test starts itself can be opened to
  // control through its inherited environment.
  wchar_t control[8] = {};
  if (GetEnvironmentVariableW(L"KESTA_SERVICE_CONTROL", control, 8) == 1 && control[0] == L'1')
    options.control = true;
  try {
    return Run(options);
  } catch (const std::exception& e) {
    return Fail(std::string("stopped: ") + e.what());
  }
}
