// One process lifetime of the runtime: sub-process dispatch, refused
// settings, initialisation, the message loop and shutdown, in that order.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "core/message_loop.h"
#include "include/cef_app.h"
#include "include/cef_request_context.h"
#include "include/wrapper/cef_helpers.h"
#include "runtime/runtime_state.h"
#include "support/process_group_win.h"
#include "support/temp_directory.h"

namespace {

// Runs this test program again with |arguments|; returns its exit code.
DWORD RunSelf(const std::wstring& arguments) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(path) + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::string error;
  if (!kesta::testing::StartProcess(path, line, false, 0, startup, process, &error)) {
    ADD_FAILURE() << error;
    return 0xFFFFFFFF;
  }
  CloseHandle(process.hThread);
  DWORD code = 0xFFFFFFFE;
  if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hProcess);
  return code;
}

std::set<DWORD> ThreadsOfThisProcess() {
  std::set<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) {
      ids.insert(entry.th32ThreadID);
    }
  }
  CloseHandle(snapshot);
  return ids;
}

class RecordingApp : public CefApp, public CefBrowserProcessHandler {
 public:
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }

  void OnBeforeCommandLineProcessing(const CefString& process_type, CefRefPtr<CefCommandLine> command_line) override {
    events.push_back("command-line:" + process_type.ToString());
    debugging_port = command_line->GetSwitchValue("remote-debugging-port").ToString();
    log_file = command_line->GetSwitchValue("log-file").ToString();
    command_line->AppendSwitchWithValue("app-edit", "yes");
  }

  void OnRegisterCustomPreferences(cef_preferences_type_t type, CefRawPtr<CefPreferenceRegistrar> registrar) override {
    CefRefPtr<CefValue> value = CefValue::Create();
    value->SetBool(true);
    if (type == CEF_PREFERENCES_TYPE_GLOBAL) {
      events.push_back("prefs:global");
      registrar->AddPreference("app.global", value);
    } else {
      events.push_back("prefs:context");
      registrar->AddPreference("app.context", value);
    }
  }

  void OnContextInitialized() override {
    events.push_back("context-initialized");
    on_ui_thread = CefCurrentlyOn(TID_UI);
    global_context_ready = CefRequestContext::GetGlobalContext() != nullptr;
  }

  std::vector<std::string> events;
  std::string debugging_port;
  std::string log_file;
  bool on_ui_thread = false;
  bool global_context_ready = false;

  IMPLEMENT_REFCOUNTING(RecordingApp);
};

// Records its destruction; held by tasks that never get to run.
struct Sentinel : public CefBaseRefCounted {
  explicit Sentinel(std::atomic<bool>* destroyed) : destroyed(destroyed) {}
  ~Sentinel() override { *destroyed = true; }
  std::atomic<bool>* destroyed;
  IMPLEMENT_REFCOUNTING(Sentinel);
};

TEST(ExecuteProcess, BrowserProcessGetsMinusOne) {
  CefMainArgs args(GetModuleHandleW(nullptr));
  EXPECT_EQ(-1, CefExecuteProcess(args, nullptr, nullptr));
}

// Run only as a child of the test below.
TEST(ExecuteProcessChild, Run) {
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  command_line->InitFromString(GetCommandLineW());
  if (!command_line->HasSwitch("type")) {
    GTEST_SKIP() << "child mode only";
  }
  // With an application object, the sub-process shows it its type (as CEF
  // does); that adds 50 to the exit code.
  CefRefPtr<RecordingApp> app;
  if (command_line->HasSwitch("with-app")) {
    app = new RecordingApp();
  }
  CefMainArgs args(GetModuleHandleW(nullptr));
  int result = CefExecuteProcess(args, app.get(), nullptr);
  bool saw_type = app && app->events == std::vector<std::string>{"command-line:renderer"};
  ExitProcess(static_cast<UINT>(100 + result + (saw_type ? 50 : 0)));
}

TEST(ExecuteProcess, SubProcessesEndWithTheirOwnCode) {
  // 100 + the result: 0 for a known type, 6 (bad process type) for an
  // unknown one; an empty type is the browser process (-1).
  EXPECT_EQ(100u, RunSelf(L"--gtest_filter=ExecuteProcessChild.Run --type=renderer"));
  EXPECT_EQ(100u, RunSelf(L"--gtest_filter=ExecuteProcessChild.Run --type=gpu-process"));
  EXPECT_EQ(106u, RunSelf(L"--gtest_filter=ExecuteProcessChild.Run --type=bogus"));
  EXPECT_EQ(99u, RunSelf(L"--gtest_filter=ExecuteProcessChild.Run --type="));
  EXPECT_EQ(150u, RunSelf(L"--gtest_filter=ExecuteProcessChild.Run --type=renderer --with-app"));
}

TEST(Lifecycle, RefusesSettingsItCannotHonour) {
  const kesta::testing::TempDirectory temp("refuse");
  const std::string root = temp.Utf8();
  struct Case {
    const char* what;
    std::string root;
    std::string cache;
    bool multi_threaded;
  } cases[] = {
      {"cache outside the root", root + "\\a", root + "\\b", false},
      {"cache escaping the root with ..", root + "\\a", root + "\\a\\..\\b", false},
      {"relative root", "relative\\root", "", false},
      {"relative cache", root, "Default", false},
      {"multi-threaded loop", root, root + "\\Default", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CefRefPtr<RecordingApp> app = new RecordingApp();
    CefSettings settings;
    CefString(&settings.root_cache_path) = c.root;
    CefString(&settings.cache_path) = c.cache;
    settings.multi_threaded_message_loop = c.multi_threaded;
    EXPECT_FALSE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, app.get(), nullptr));
    EXPECT_EQ(CEF_RESULT_CODE_UNSUPPORTED_PARAM, CefGetExitCode());
    EXPECT_TRUE(app->events.empty());
    EXPECT_TRUE(app->HasOneRef());
    EXPECT_FALSE(CefRequestContext::GetGlobalContext());
  }
}

TEST(Lifecycle, InitializeRunAndShutDown) {
  const std::set<DWORD> threads_before = ThreadsOfThisProcess();
  const kesta::testing::TempDirectory temp("lifecycle");
  const std::string root = temp.Utf8();
  // A test ended early by a failed assertion still lets go of the folder.
  struct ShutDownOnExit {
    ~ShutDownOnExit() {
      if (cef_internal::IsRuntimeRunning())
        CefShutdown();
    }
  } shutDownOnExit;
  CefRefPtr<RecordingApp> app = new RecordingApp();
  {
    CefSettings settings;
    CefString(&settings.root_cache_path) = root;
    CefString(&settings.cache_path) = root + "\\Default";
    CefString(&settings.log_file) = root + "\\chromium.log";
    settings.remote_debugging_port = 9222;
    ASSERT_TRUE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, app.get(), nullptr));
  }
  EXPECT_EQ(0, CefGetExitCode());

  // Order of the application's calls, and what it saw.
  const std::vector<std::string> expected = {"command-line:", "prefs:global", "prefs:context", "context-initialized"};
  EXPECT_EQ(expected, app->events);
  EXPECT_TRUE(app->on_ui_thread);
  EXPECT_TRUE(app->global_context_ready);
  EXPECT_EQ("9222", app->debugging_port);
  EXPECT_EQ(root + "\\chromium.log", app->log_file);

  // The global command line is the edited one, and read-only.
  CefRefPtr<CefCommandLine> global = CefCommandLine::GetGlobalCommandLine();
  ASSERT_TRUE(global);
  EXPECT_EQ("yes", global->GetSwitchValue("app-edit").ToString());
  EXPECT_TRUE(global->IsReadOnly());

  // Custom preferences landed where they were registered.
  CefRefPtr<CefRequestContext> context = CefRequestContext::GetGlobalContext();
  ASSERT_TRUE(context);
  EXPECT_TRUE(context->IsGlobal());
  EXPECT_TRUE(context->HasPreference("app.context"));
  EXPECT_FALSE(context->HasPreference("app.global"));
  ASSERT_TRUE(CefPreferenceManager::GetGlobalPreferenceManager());
  EXPECT_TRUE(CefPreferenceManager::GetGlobalPreferenceManager()->HasPreference("app.global"));
  EXPECT_TRUE(std::filesystem::is_directory(root + "\\Default"));

  // A second CefInitialize is refused and leaves the runtime running.
  {
    CefSettings settings;
    CefString(&settings.root_cache_path) = root;
    EXPECT_FALSE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
    EXPECT_NE(0, CefGetExitCode());
    EXPECT_TRUE(cef_internal::IsRuntimeRunning());
  }

  // The loop runs tasks, including ones bounced through the IO thread,
  // until it is quit.
  std::atomic<DWORD> io_thread{0};
  std::atomic<int> steps{0};
  cef_internal::PostFunction(TID_IO, [&] {
    io_thread = GetCurrentThreadId();
    ++steps;
    cef_internal::PostFunction(TID_UI, [&] {
      ++steps;
      CefQuitMessageLoop();
    });
  });
  CefRunMessageLoop();
  EXPECT_EQ(2, steps.load());
  EXPECT_NE(0u, io_thread.load());
  EXPECT_NE(GetCurrentThreadId(), io_thread.load());

  // Shutdown hooks run last-registered first, while the IO thread still
  // takes work.
  std::vector<std::string> hook_order;
  bool io_alive_in_hook = false;
  cef_internal::AddShutdownHook("first", [&] { hook_order.push_back("first"); });
  cef_internal::AddShutdownHook("second", [&] {
    hook_order.push_back("second");
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (cef_internal::PostFunction(TID_IO, [done] { SetEvent(done); })) {
      io_alive_in_hook = WaitForSingleObject(done, 5000) == WAIT_OBJECT_0;
    }
    CloseHandle(done);
  });
  cef_internal::AddLiveObjectCounter("test objects", [] { return 1; });

  // Work still queued at shutdown is dropped, not run and not leaked.
  std::atomic<bool> io_sentinel_gone{false};
  std::atomic<bool> ui_sentinel_gone{false};
  {
    CefRefPtr<Sentinel> io_sentinel = new Sentinel(&io_sentinel_gone);
    CefRefPtr<Sentinel> ui_sentinel = new Sentinel(&ui_sentinel_gone);
    cef_internal::PostFunction(
        TID_IO, [io_sentinel] {}, 60000);
    cef_internal::PostFunction(
        TID_UI, [ui_sentinel] {}, 60000);
  }

  CefShutdown();
  EXPECT_EQ((std::vector<std::string>{"second", "first"}), hook_order);
  EXPECT_TRUE(io_alive_in_hook);
  EXPECT_TRUE(io_sentinel_gone);
  EXPECT_TRUE(ui_sentinel_gone);
  EXPECT_TRUE(app->HasOneRef());
  EXPECT_FALSE(CefRequestContext::GetGlobalContext());
  EXPECT_FALSE(CefPreferenceManager::GetGlobalPreferenceManager());
  EXPECT_FALSE(cef_internal::PostFunction(TID_IO, [] {}));
  EXPECT_TRUE(context->HasOneRef());
  context = nullptr;

  // Every thread the runtime started is gone.
  const std::set<DWORD> threads_after = ThreadsOfThisProcess();
  EXPECT_EQ(0u, threads_after.count(io_thread.load()));
  for (DWORD id : threads_after) {
    EXPECT_TRUE(threads_before.count(id)) << "thread " << id << " outlived CefShutdown";
  }

  // The log file is where the settings said; the leftover report is in it.
  {
    std::ifstream log(root + "\\chromium.log");
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, text.find("1 test objects still open")) << text;
  }

  // Shutting down twice is harmless; the runtime cannot start again.
  CefShutdown();
  CefSettings settings;
  CefString(&settings.root_cache_path) = root;
  EXPECT_FALSE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
}

}  // namespace
