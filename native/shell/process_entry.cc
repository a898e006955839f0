#include "shell/process_entry.h"

#include <cctype>
#include <cstdio>
#include <exception>
#include <limits>
#include <stdexcept>

#include "desktop/desktop.h"
#include "include/cef_app.h"
#include "include/cef_command_line.h"
#include "shell/simple_app.h"

namespace {

// A set-up step that cannot go on throws; whatever the thread, the process
// then ends here: the reason on standard error, exit code 3, and nothing
// further served from a half-built state.
[[noreturn]] void EndOnUncaughtError() {
  const char* what = "unknown error";
  std::string text;
  if (std::exception_ptr error = std::current_exception()) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      text = e.what();
      what = text.c_str();
    } catch (...) {
    }
  }
  std::fprintf(stderr, "%s\n", what);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  std::_Exit(3);
}

}  // namespace

std::optional<int> ParseDebugPort(const std::string& value) {
  size_t i = 0;
  while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i])))
    ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-'))
    negative = value[i++] == '-';
  if (i >= value.size() || !std::isdigit(static_cast<unsigned char>(value[i])))
    return std::nullopt;
  long long number = 0;
  for (; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i) {
    number = number * 10 + (value[i] - '0');
    if (number > static_cast<long long>(std::numeric_limits<int>::max()) + 1)
      return std::nullopt;
  }
  if (negative)
    number = -number;
  if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
    return std::nullopt;
  return static_cast<int>(number);
}

int RunProcess(HINSTANCE instance, void* sandbox_info) {
  CefMainArgs main_args(instance);

  // Sub-processes go straight into CEF and run none of the client's code.
  const int sub_process_exit_code = CefExecuteProcess(main_args, nullptr, sandbox_info);
  if (sub_process_exit_code >= 0)
    return sub_process_exit_code;

  if (!sandbox_info) {
    MessageBoxW(nullptr, L"Chromium 沙箱启动失败。请使用完整客户端安装目录。", L"Ostrel", MB_OK | MB_ICONERROR);
    return 2;
  }

  std::set_terminate(EndOnUncaughtError);
  try {
    CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
    const wchar_t* process_command_line = GetCommandLineW();
    command_line->InitFromString(process_command_line ? process_command_line : L"");

    if (!DesktopPrepare(command_line))
      return 2;

    CefSettings settings;
    CefString(&settings.root_cache_path) = DesktopDataDir() + "\\browser";
    CefString(&settings.cache_path) = DesktopDataDir() + "\\browser\\Default";
    CefString(&settings.log_file) = DesktopDataDir() + "\\chromium.log";
    if (command_line->HasSwitch("debug-port")) {
      settings.remote_debugging_port =
          ParseDebugPort(command_line->GetSwitchValue("debug-port").ToString()).value_or(0);
    }

    CefRefPtr<SimpleApp> app(new SimpleApp);
    int exit_code = 0;
    if (CefInitialize(main_args, settings, app, sandbox_info)) {
      DesktopApplicationMenuReady();
      CefRunMessageLoop();
      DesktopStop();
      CefShutdown();
      exit_code = 0;
      DesktopRestartAfterShutdown();
    } else {
      DesktopStop();
      exit_code = CefGetExitCode();
    }
    return exit_code;
  } catch (...) {
    EndOnUncaughtError();
  }
}
