// Test program that records how it was started: appends one JSON line with
// its raw command line, its arguments as both CommandLineToArgvW and the C
// runtime split them, and whether it has a console window, to the file named
// by KESTA_RECORDER_OUT.
#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "test_files.h"

int wmain(int argc, wchar_t** argv) {
  using kesta::testing::Utf8;
  nlohmann::json record;
  record["commandLine"] = Utf8(GetCommandLineW());
  record["crt"] = nlohmann::json::array();
  for (int i = 0; i < argc; ++i)
    record["crt"].push_back(Utf8(argv[i]));
  int count = 0;
  LPWSTR* shell = CommandLineToArgvW(GetCommandLineW(), &count);
  record["shell"] = nlohmann::json::array();
  for (int i = 0; shell && i < count; ++i)
    record["shell"].push_back(Utf8(shell[i]));
  LocalFree(shell);
  wchar_t path[32768] = {};
  GetModuleFileNameW(nullptr, path, 32768);
  record["module"] = Utf8(path);
  record["pid"] = GetCurrentProcessId();
  record["consoleWindow"] = GetConsoleWindow() != nullptr;
  // With standard handles given (the service's redirection), show where
  // they lead: output and error lines, and whatever standard input holds.
  if (GetEnvironmentVariableW(L"KESTA_RECORDER_STREAMS", nullptr, 0)) {
    std::printf("recorder output %lu\n", GetCurrentProcessId());
    std::fflush(stdout);
    std::fprintf(stderr, "recorder error %lu\n", GetCurrentProcessId());
    std::fflush(stderr);
    std::string input;
    char buffer[256];
    DWORD read = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &read, nullptr) && read > 0)
      input.append(buffer, read);
    record["stdin"] = input;
  }

  wchar_t out[32768] = {};
  if (!GetEnvironmentVariableW(L"KESTA_RECORDER_OUT", out, 32768))
    return 1;
  kesta::testing::AppendLine(Utf8(out), record.dump());
  return 0;
}
