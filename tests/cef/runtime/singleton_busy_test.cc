// A running instance that does not answer: the second start gives up and
// reports the profile in use instead of claiming it was handed over.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "include/cef_app.h"

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
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("kesta-busy-" + std::to_string(GetCurrentProcessId()));
  std::filesystem::create_directories(dir);
  std::string root = dir.string();

  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kReadyEvent);
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(path) + L"\" --gtest_filter=BusyChild.ClaimAndStall";
  SetEnvironmentVariableA(kRootVariable, root.c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessW(path, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableA(kRootVariable, nullptr);
  ASSERT_TRUE(started);
  CloseHandle(process.hThread);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 20000));

  CefSettings settings;
  CefString(&settings.root_cache_path) = root;
  EXPECT_FALSE(CefInitialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr));
  EXPECT_EQ(CEF_RESULT_CODE_PROFILE_IN_USE, CefGetExitCode());

  TerminateProcess(process.hProcess, 1);
  WaitForSingleObject(process.hProcess, 5000);
  CloseHandle(process.hProcess);
  CloseHandle(ready);
  std::error_code error;
  std::filesystem::remove_all(dir, error);
}

}  // namespace
