// CefExecuteProcess, CefInitialize, the message loop and CefShutdown.
#include <windows.h>

#include <atomic>
#include <string>

#include "core/command_line_global.h"
#include "core/log_settings.h"
#include "core/message_loop.h"
#include "include/base/cef_logging.h"
#include "include/cef_app.h"
#include "include/cef_command_line.h"
#include "runtime/global_preferences.h"
#include "runtime/paths.h"
#include "runtime/process_singleton.h"
#include "runtime/request_context_impl.h"
#include "runtime/runtime_state_internal.h"

namespace cef_internal {
namespace {

// CefGetExitCode()'s answer; written on the UI thread by CefInitialize.
std::atomic<int> g_exit_code{CEF_RESULT_CODE_NORMAL_EXIT};

std::wstring ProcessCommandLine() {
  const wchar_t* line = GetCommandLineW();
  return line ? std::wstring(line) : std::wstring();
}

// Sub-process types this runtime knows. None has work to do here: the
// browser process runs pages itself, so such a process ends at once.
bool IsKnownProcessType(const std::string& type) {
  static const char* const kTypes[] = {"renderer",     "gpu-process",      "utility",     "zygote",     "ppapi",
                                       "ppapi-broker", "crashpad-handler", "nacl-loader", "nacl-broker"};
  for (const char* known : kTypes) {
    if (type == known) {
      return true;
    }
  }
  return false;
}

std::string Narrow(const CefString& text) {
  return text.ToString();
}

// Settings that have a switch equivalent are applied to the command line
// before the application sees it, as CEF does.
void ApplySettingsToCommandLine(const CefSettings& settings, CefRefPtr<CefCommandLine> command_line) {
  auto append_string = [&](const char* name, const cef_string_t& value) {
    if (value.length > 0) {
      command_line->AppendSwitchWithValue(name, CefString(&value));
    }
  };
  if (settings.no_sandbox) {
    command_line->AppendSwitch("no-sandbox");
  }
  append_string("lang", settings.locale);
  append_string("user-agent", settings.user_agent);
  append_string("user-agent-product", settings.user_agent_product);
  append_string("js-flags", settings.javascript_flags);
  append_string("resources-dir-path", settings.resources_dir_path);
  append_string("locales-dir-path", settings.locales_dir_path);
  append_string("log-file", settings.log_file);
  switch (settings.log_severity) {
    case LOGSEVERITY_VERBOSE:
      command_line->AppendSwitchWithValue("log-severity", "verbose");
      break;
    case LOGSEVERITY_INFO:
      command_line->AppendSwitchWithValue("log-severity", "info");
      break;
    case LOGSEVERITY_WARNING:
      command_line->AppendSwitchWithValue("log-severity", "warning");
      break;
    case LOGSEVERITY_ERROR:
      command_line->AppendSwitchWithValue("log-severity", "error");
      break;
    case LOGSEVERITY_FATAL:
      command_line->AppendSwitchWithValue("log-severity", "fatal");
      break;
    case LOGSEVERITY_DISABLE:
      command_line->AppendSwitchWithValue("log-severity", "disable");
      break;
    default:
      break;
  }
  if (settings.remote_debugging_port >= 1024 && settings.remote_debugging_port <= 65535) {
    command_line->AppendSwitchWithValue("remote-debugging-port", std::to_string(settings.remote_debugging_port));
  }
  if (settings.uncaught_exception_stack_size > 0) {
    command_line->AppendSwitchWithValue("uncaught-exception-stack-size",
                                        std::to_string(settings.uncaught_exception_stack_size));
  }
}

int LogSeverityFromSwitch(const std::string& value) {
  if (value == "verbose")
    return LOGSEVERITY_VERBOSE;
  if (value == "info")
    return LOGSEVERITY_INFO;
  if (value == "warning")
    return LOGSEVERITY_WARNING;
  if (value == "error")
    return LOGSEVERITY_ERROR;
  if (value == "fatal")
    return LOGSEVERITY_FATAL;
  if (value == "disable")
    return LOGSEVERITY_DISABLE;
  return LOGSEVERITY_DEFAULT;
}

// Resolves the root cache and cache paths. False when the settings cannot
// be honoured: a relative path, a cache path outside the root, or a
// directory that cannot be made.
bool ResolveCachePaths(const CefSettings& settings, std::string* root, std::string* cache) {
  std::string root_setting = CefString(&settings.root_cache_path).ToString();
  std::string cache_setting = CefString(&settings.cache_path).ToString();
  if (!cache_setting.empty()) {
    *cache = NormalizePath(cache_setting);
    if (cache->empty()) {
      LOG(ERROR) << "cache_path must be absolute: " << cache_setting;
      return false;
    }
  }
  if (!root_setting.empty()) {
    *root = NormalizePath(root_setting);
    if (root->empty()) {
      LOG(ERROR) << "root_cache_path must be absolute: " << root_setting;
      return false;
    }
  } else if (!cache->empty()) {
    *root = *cache;
  } else {
    wchar_t buffer[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
      LOG(ERROR) << "No root_cache_path and no LOCALAPPDATA";
      return false;
    }
    *root = NormalizePath(CefString(buffer).ToString() + "\\CEF\\User Data");
  }
  if (!cache->empty() && !IsSameOrChildPath(*cache, *root)) {
    LOG(ERROR) << "The cache_path directory (" << *cache << ") is not a child of the root_cache_path directory ("
               << *root << ")";
    return false;
  }
  if (!CreateDirectories(*root) || (!cache->empty() && !CreateDirectories(*cache))) {
    LOG(ERROR) << "Cannot create the cache directories under " << *root;
    return false;
  }
  return true;
}

bool Refuse(int exit_code) {
  g_exit_code = exit_code;
  return false;
}

}  // namespace
}  // namespace cef_internal

using namespace cef_internal;

int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application, void* windows_sandbox_info) {
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  command_line->InitFromString(ProcessCommandLine());
  // An empty "type" value is the browser process, as in Chromium.
  const std::string type = Narrow(command_line->GetSwitchValue("type"));
  if (type.empty()) {
    return -1;
  }
  if (!IsKnownProcessType(type)) {
    return CEF_RESULT_CODE_BAD_PROCESS_TYPE;
  }
  if (application) {
    application->OnBeforeCommandLineProcessing(CefString(type), command_line);
  }
  return CEF_RESULT_CODE_NORMAL_EXIT;
}

bool CefInitialize(const CefMainArgs& args,
                   const CefSettings& settings,
                   CefRefPtr<CefApp> application,
                   void* windows_sandbox_info) {
  if (GetRuntimePhase() != RuntimePhase::kNotStarted) {
    LOG(ERROR) << "CefInitialize called more than once";
    return Refuse(CEF_RESULT_CODE_UNSUPPORTED_PARAM);
  }
  // The UI loop runs on this thread, driven by CefRunMessageLoop().
  if (settings.multi_threaded_message_loop || settings.external_message_pump) {
    LOG(ERROR) << "multi_threaded_message_loop and external_message_pump are not supported";
    return Refuse(CEF_RESULT_CODE_UNSUPPORTED_PARAM);
  }
  std::string root;
  std::string cache;
  if (!ResolveCachePaths(settings, &root, &cache)) {
    return Refuse(CEF_RESULT_CODE_UNSUPPORTED_PARAM);
  }
  SetRuntimePhase(RuntimePhase::kInitializing);

  CefRefPtr<CefBrowserProcessHandler> handler = application ? application->GetBrowserProcessHandler() : nullptr;
  SetRuntimeObjects(application, handler, settings, root);

  // The browser process's command line: the real one (unless disabled),
  // the settings' switches, then the application's edits.
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  const std::wstring process_line = ProcessCommandLine();
  if (settings.command_line_args_disabled) {
    CefRefPtr<CefCommandLine> real = CefCommandLine::CreateCommandLine();
    real->InitFromString(process_line);
    command_line->SetProgram(real->GetProgram());
  } else {
    command_line->InitFromString(process_line);
  }
  ApplySettingsToCommandLine(settings, command_line);
  if (application) {
    application->OnBeforeCommandLineProcessing(CefString(), command_line);
  }
  SetGlobalCommandLine(command_line);

  // Another instance with this root cache path takes over.
  switch (ClaimProcessSingleton(root, process_line, CefString(CurrentDirectory()).ToWString())) {
    case SingletonResult::kClaimed:
      break;
    case SingletonResult::kNotified:
      ClearRuntimeObjects();
      SetRuntimePhase(RuntimePhase::kFailed);
      return Refuse(CEF_RESULT_CODE_NORMAL_EXIT_PROCESS_NOTIFIED);
    case SingletonResult::kInUse:
      LOG(ERROR) << "The root cache path is in use by another process: " << root;
      ClearRuntimeObjects();
      SetRuntimePhase(RuntimePhase::kFailed);
      return Refuse(CEF_RESULT_CODE_PROFILE_IN_USE);
  }

  // Logging: the switches carry the settings' values unless the command
  // line overrode them.
  std::string log_file = Narrow(command_line->GetSwitchValue("log-file"));
  if (log_file.empty()) {
    log_file = ExecutableDirectory() + "\\debug.log";
  }
  SetLogFile(CefString(log_file), LogSeverityFromSwitch(Narrow(command_line->GetSwitchValue("log-severity"))));

  BindCurrentThreadAsUI();
  StartIOThread();

  InitializeGlobalPreferences();
  CefRequestContextImpl::CreateGlobal(cache);

  g_exit_code = CEF_RESULT_CODE_NORMAL_EXIT;
  SetRuntimePhase(RuntimePhase::kRunning);
  if (handler) {
    handler->OnContextInitialized();
  }
  return true;
}

int CefGetExitCode() {
  return g_exit_code.load();
}

void CefShutdown() {
  if (GetRuntimePhase() != RuntimePhase::kRunning) {
    LOG(ERROR) << "CefShutdown called without a running CefInitialize";
    return;
  }
  if (!CefCurrentlyOn(TID_UI)) {
    LOG(ERROR) << "CefShutdown must be called on the UI thread";
    return;
  }
  SetRuntimePhase(RuntimePhase::kShuttingDown);

  for (const auto& [what, count] : CountLiveObjects()) {
    if (count > 0) {
      LOG(ERROR) << "CefShutdown: " << count << " " << what << " still open; closing them now";
    }
  }
  auto hooks = TakeShutdownHooks();
  for (auto it = hooks.rbegin(); it != hooks.rend(); ++it) {
    it->second();
  }
  hooks.clear();

  CefRequestContextImpl::DestroyAll();
  ShutdownGlobalPreferences();
  ReleaseProcessSingleton();

  StopIOThread();
  UnbindUIThread();
  ClearRuntimeObjects();
  ResetLogging();
  SetRuntimePhase(RuntimePhase::kShutDown);
}

void CefDoMessageLoopWork() {
  RunUIUntilIdle(0);
}

void CefRunMessageLoop() {
  if (!IsRuntimeRunning() || !CefCurrentlyOn(TID_UI)) {
    LOG(ERROR) << "CefRunMessageLoop needs the running runtime's UI thread";
    return;
  }
  RunUILoop();
}

void CefQuitMessageLoop() {
  QuitUILoop();
}

namespace {
std::atomic<bool> g_nestable_tasks{false};
std::atomic<bool> g_os_modal_loop{false};
}  // namespace

void CefSetNestableTasksAllowed(bool allowed) {
  g_nestable_tasks = allowed;
}

void CefSetOSModalLoop(bool osModalLoop) {
  g_os_modal_loop = osModalLoop;
}
