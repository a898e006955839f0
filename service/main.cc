// kesta-service.exe: the local resource service the client starts beside
// itself. It listens on the bundle's loopback port, writes a fresh token to
// the data directory, reports its state and serves the game's files.
#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>
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

  const auto token = NewToken();
  if (!token)
    return Fail("cannot generate a token");

  const std::string localOrigin = "http://127.0.0.1:" + std::to_string(port->get<int>());
  ResourceStore store(bundle / "pools", dataDir / "packages");
  ServiceState state({localOrigin, options.siteOrigin, options.bundle + "/pools", dataDir, options.serviceVersion,
                      options.networkEnforced},
                     store);

  boost::asio::io_context io(1);
  HttpServer server(io, state, store, {*token, options.control, bundle / "client"});
  std::string listenError;
  if (!server.Listen(static_cast<uint16_t>(port->get<int>()), listenError))
    return Fail("cannot listen on " + localOrigin + ": " + listenError);
  if (options.networkEnforced && !server.EnsureProxy(listenError))
    return Fail("cannot start the loopback proxy: " + listenError);
  // Only now, with the port ours, may the token change: clients of another
  // service on this port keep theirs.
  if (!WriteFileAtomically(dataDir / "local-token", *token))
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
                " [--service-version V] [--network-enforced] [--control]");
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
