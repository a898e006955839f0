// The portable pieces checked against the real Win32 functions they mirror.
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/command_line_split.h"
#include "core/log_settings.h"
#include "include/base/cef_logging.h"
#include "include/cef_command_line.h"

namespace {

std::vector<std::u16string> Win32Split(const std::u16string& line) {
  int count = 0;
  LPWSTR* args = ::CommandLineToArgvW(reinterpret_cast<const wchar_t*>(line.c_str()), &count);
  std::vector<std::u16string> out;
  for (int i = 0; i < count; ++i)
    out.emplace_back(reinterpret_cast<const char16_t*>(args[i]));
  ::LocalFree(args);
  return out;
}

TEST(Win32Parity, SplittingMatchesCommandLineToArgvW) {
  const std::u16string lines[] = {
      u"app.exe",
      u"app.exe a b",
      u"\"C:\\Program Files\\app.exe\" --flag=\"a b\" c",
      u"app.exe a\\\\\\\"b \"c\\\\\" d\\\\e",
      u"app.exe \"\" \"a\"\"b\" \"a\"\"\"b \"\"\"\"",
      u"\"p q\"r s",
      u"app.exe\ta\t\t\"b\tc\"",
      u"app.exe \"unterminated quote",
      u"app.exe trailing\\",
      u"C:\\dir\\\\x.exe \"资源 目录\" /x=\"y\\\"z\"",
  };
  for (const auto& line : lines) {
    EXPECT_EQ(cef_internal::SplitCommandLine(line), Win32Split(line)) << std::string(line.begin(), line.end());
  }
}

TEST(Win32Parity, RebuiltCommandLineSplitsBackWithTheSystem) {
  CefRefPtr<CefCommandLine> cl = CefCommandLine::CreateCommandLine();
  cl->SetProgram("C:\\Program Files\\Kesta\\KESTA.exe");
  cl->AppendSwitchWithValue("cache", "C:\\Users\\me\\AppData\\缓存 dir\\");
  cl->AppendSwitchWithValue("quoted", "\"x\" \\\"y\\\"");
  cl->AppendArgument("");
  cl->AppendArgument("a b");
  std::vector<CefString> argv;
  cl->GetArgv(argv);
  std::vector<std::u16string> expected;
  for (const auto& arg : argv)
    expected.push_back(arg.ToString16());
  EXPECT_EQ(Win32Split(cl->GetCommandLineString().ToString16()), expected);
}

TEST(Win32Parity, GlobalCommandLineStartsFromTheProcess) {
  CefRefPtr<CefCommandLine> global = CefCommandLine::GetGlobalCommandLine();
  const std::string program = global->GetProgram().ToString();
  EXPECT_NE(program.find("cef_win_core_tests"), std::string::npos) << program;
}

TEST(Win32Parity, LogErrorWorksNextToWindowsHeaders) {
  // <windows.h> came first and defines ERROR as 0.
  static_assert(ERROR == 0);
  wchar_t temp[MAX_PATH];
  ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring path = std::wstring(temp) + L"cef_win_log_test.log";
  ::DeleteFileW(path.c_str());
  cef_internal::SetLogFile(CefString(path), 0);
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  LOG(ERROR) << "error record";
  PLOG(WARNING) << "with system error";
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));  // preserved
  // A program started meanwhile with inherited handles, as the client starts
  // its service, gets none to the log (as with Chromium's): once the log lets
  // go of the file, the file is free.
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION child = {};
  const BOOL started =
      ::CreateProcessW(self, nullptr, nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr, &startup, &child);
  cef_internal::ResetLogging();

  char buffer[4096] = {};
  DWORD read = 0;
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  const DWORD openError = ::GetLastError();
  if (file != INVALID_HANDLE_VALUE) {
    ::ReadFile(file, buffer, sizeof(buffer) - 1, &read, nullptr);
    ::CloseHandle(file);
  }
  const BOOL deleted = ::DeleteFileW(path.c_str());
  if (started) {
    ::TerminateProcess(child.hProcess, 0);
    ::WaitForSingleObject(child.hProcess, 5000);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);
  }
  ::DeleteFileW(path.c_str());
  ASSERT_TRUE(started);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << openError;
  EXPECT_TRUE(deleted);
  const std::string text(buffer, read);
  EXPECT_NE(text.find(":ERROR:core_win32_test.cc("), std::string::npos) << text;
  EXPECT_NE(text.find("] error record\n"), std::string::npos) << text;
  EXPECT_NE(text.find("with system error: "), std::string::npos) << text;
  EXPECT_NE(text.find("(0x2)"), std::string::npos) << text;
}

}  // namespace
