// A running instance that does not answer: the second start gives up and
// reports the profile in use instead of claiming it was handed over.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "include/cef_app.h"
#include "support/process_group_win.h"
#include "support/temp_directory.h"

namespace {

const char kRootVariable[] = "KESTA_BUSY_ROOT";
const wchar_t kReadyEvent[] = L"Local\\KestaBusySingletonReady";

// The first instance: claims the root, then stops serving its messages.
TEST(BusyChild, ClaimAndStall) {
  const char* root = std::getenv(kRootVariable);
  if (!root) {
    GTEST_SKIP() << "child mode only";
  }
  CefSettings settings;
  CefString(&settings.root_cache_path) = root;
  if (!CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr)) {
    ExitProcess(2);
  }
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, kReadyEvent);
  SetEvent(ready);
  Sleep(30000);
  ExitProcess(0);
}

TEST(BusySingleton, SecondStartReportsProfileInUse) {
  if (std::getenv(kRootVariable)) {
    GTEST_SKIP() << "child mode";
  }
  // Destroyed in reverse: the stalled instance ends before its root goes.
  const kesta::testing::TempDirectory temp("busy");
  kesta::testing::ProcessGroup stalled;
  const std::string root = temp.Utf8();

  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kReadyEvent);
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(path) + L"\" --gtest_filter=BusyChild.ClaimAndStall";
  SetEnvironmentVariableA(kRootVariable, root.c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::string startError;
  const bool started = kesta::testing::StartProcess(path, line, false, CREATE_SUSPENDED, startup, process, &startError);
  SetEnvironmentVariableA(kRootVariable, nullptr);
  ASSERT_TRUE(started) << startError;
  const bool joined = stalled.Join(process);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  ASSERT_TRUE(joined) << stalled.error();
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 20000));

  CefSettings settings;
  CefString(&settings.root_cache_path) = root;
  EXPECT_FALSE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
  EXPECT_EQ(CEF_RESULT_CODE_PROFILE_IN_USE, CefGetExitCode());

  CloseHandle(ready);
}

}  // namespace
