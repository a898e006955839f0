#include "shell/process_entry.h"

#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>

#include "desktop/desktop.h"
#include "include/cef_app.h"
#include "include/cef_command_line.h"
#include "shell/debug_port.h"
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

  // The client's few lines on standard error go out as they are written,
  // also when it is a file or a pipe.
  std::setvbuf(stderr, nullptr, _IONBF, 0);
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
