// A second start of the program while one instance runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "include/cef_app.h"
#include "include/cef_task.h"
#include "runtime/paths.h"
#include "support/process_group_win.h"
#include "testing/relaunch.h"
#include "testing/runtime.h"

namespace {

class RelaunchApp : public CefApp, public CefBrowserProcessHandler {
 public:
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }

  bool OnAlreadyRunningAppRelaunch(CefRefPtr<CefCommandLine> command_line,
                                   const CefString& current_directory) override {
    on_ui = CefCurrentlyOn(TID_UI);
    read_only = command_line->IsReadOnly();
    // Edits of a read-only command line are ignored.
    command_line->AppendSwitch("edited");
    edited = command_line->HasSwitch("edited");
    url = command_line->GetSwitchValue("url").ToString();
    directory = current_directory.ToString();
    ++calls;
    return answer;
  }

  bool answer = true;
  int calls = 0;
  bool on_ui = false;
  bool read_only = false;
  bool edited = true;
  std::string url;
  std::string directory;
  IMPLEMENT_REFCOUNTING(RelaunchApp);
};

const char kRootVariable[] = "KESTA_RELAUNCH_ROOT";

// The second instance: run only as the child of the test further down.
TEST(RelaunchChild, SecondInstance) {
  const char* root = std::getenv(kRootVariable);
  if (!root) {
    GTEST_SKIP() << "child mode only";
  }
  CefSettings settings;
  CefString(&settings.root_cache_path) = root;
  CefString(&settings.cache_path) = std::string(root) + "\\Default";
  bool ok = CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr);
  ExitProcess(ok ? 1000u : static_cast<UINT>(CefGetExitCode()));
}

class RelaunchTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (std::getenv(kRootVariable)) {
      return;
    }
    app_ = new RelaunchApp();
    runtime_ = new cef_testing::ScopedRuntime(app_.get());
  }
  static void TearDownTestSuite() {
    delete runtime_;
    runtime_ = nullptr;
    app_ = nullptr;
  }
  void SetUp() override {
    if (!runtime_) {
      GTEST_SKIP() << "child mode";
    }
    ASSERT_TRUE(runtime_->initialized());
  }

  static CefRefPtr<RelaunchApp> app_;
  static cef_testing::ScopedRuntime* runtime_;
};

CefRefPtr<RelaunchApp> RelaunchTest::app_;
cef_testing::ScopedRuntime* RelaunchTest::runtime_ = nullptr;

TEST_F(RelaunchTest, DeliveredRelaunchReachesTheHandlerOnTheUIThread) {
  const int before = cef_testing::RelaunchCount();
  app_->answer = true;
  ASSERT_TRUE(cef_testing::DeliverRelaunch(L"\"C:\\app\\host.exe\" --url=second", L"C:\\work"));
  EXPECT_EQ(before, cef_testing::RelaunchCount());  // reported later, from the loop
  ASSERT_TRUE(cef_testing::RunUntil([&] { return cef_testing::RelaunchCount() == before + 1; }));
  EXPECT_TRUE(app_->on_ui);
  EXPECT_TRUE(app_->read_only);
  EXPECT_FALSE(app_->edited);
  EXPECT_EQ("second", app_->url);
  EXPECT_EQ("C:\\work", app_->directory);
  EXPECT_TRUE(cef_testing::LastRelaunchHandled());

  app_->answer = false;
  ASSERT_TRUE(cef_testing::DeliverRelaunch(L"host.exe", L"C:\\"));
  ASSERT_TRUE(cef_testing::RunUntil([&] { return cef_testing::RelaunchCount() == before + 2; }));
  EXPECT_FALSE(cef_testing::LastRelaunchHandled());
  app_->answer = true;
}

TEST_F(RelaunchTest, SecondProcessHandsOverAndEnds) {
  const int before = app_->calls;
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(path) + L"\" --gtest_filter=RelaunchChild.SecondInstance --url=from-child";
  SetEnvironmentVariableW(L"KESTA_RELAUNCH_ROOT", CefString(runtime_->root_cache_path()).ToWString().c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::string startError;
  const bool started = kesta::testing::StartProcess(path, line, false, 0, startup, process, &startError);
  SetEnvironmentVariableW(L"KESTA_RELAUNCH_ROOT", nullptr);
  ASSERT_TRUE(started) << startError;
  CloseHandle(process.hThread);
  // The child waits on this instance's window, which this loop serves.
  bool ended = cef_testing::RunUntil(
      [&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0 && app_->calls > before; }, 20000);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  if (!ended) {
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hProcess);
  ASSERT_TRUE(ended);
  EXPECT_EQ(static_cast<DWORD>(CEF_RESULT_CODE_NORMAL_EXIT_PROCESS_NOTIFIED), code);
  EXPECT_EQ("from-child", app_->url);
  EXPECT_EQ(cef_internal::CurrentDirectory(), app_->directory);
}

}  // namespace
