#include "test_files.h"

#include "support/message_boxes_win.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace kesta::testing {

std::string ReadText(const std::string& path) {
  std::ifstream stream(std::filesystem::path(Wide(path)), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream stream(std::filesystem::path(Wide(path)), std::ios::binary | std::ios::trunc);
  stream << text;
}

void AppendLine(const std::string& path, const std::string& line) {
  // Several processes may append: one write per line, in append mode.
  HANDLE file = CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return;
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream stream(ReadText(path));
  std::string line;
  while (std::getline(stream, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (!line.empty())
      lines.push_back(line);
  }
  return lines;
}

}  // namespace kesta::testing

namespace kesta::testing {

std::string ProgramDirectory() {
  wchar_t path[32768] = {};
  GetModuleFileNameW(nullptr, path, 32768);
  std::wstring text(path);
  return Utf8(text.substr(0, text.find_last_of(L"\\/")));
}

bool WaitForLines(const std::string& path, size_t count, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 20) {
    if (ReadLines(path).size() >= count)
      return true;
    Sleep(20);
  }
  return false;
}

}  // namespace kesta::testing

namespace kesta::testing {

void KeepStandardHandlesPrivate() {
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    HANDLE handle = GetStdHandle(which);
    if (handle && handle != INVALID_HANDLE_VALUE)
      SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
  }
}

ChildOutcome RunChild(ProcessGroup& group,
                      const std::string& directory,
                      const std::string& executable,
                      const std::wstring& commandLine,
                      int timeoutMs) {
  KeepStandardHandlesPrivate();
  ChildOutcome outcome;
  // What the child starts inherits this file too and may hold it after the
  // child has ended: a file of its own for every run.
  static int counter = 0;
  const std::string outputPath = directory + "\\child-output-" + std::to_string(++counter) + ".txt";
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE output = CreateFileW(Wide(outputPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE input =
      CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process = {};
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  std::wstring application = Wide(executable);
  // A program copied in or run just before may still be held by the system
  // for a moment: retry briefly before calling the start a failure.
  BOOL created = FALSE;
  for (int attempt = 0; attempt < 50 && !created; ++attempt) {
    created = CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                             CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
    if (!created) {
      outcome.error = CallFailure("CreateProcessW") + " (50 tries)";
      Sleep(100);
    }
  }
  CloseHandle(output);
  CloseHandle(input);
  if (!created)
    return outcome;
  outcome.error.clear();
  const bool joined = group.Join(process);
  CloseHandle(process.hThread);
  if (!joined) {
    outcome.error = group.error();
    CloseHandle(process.hProcess);
    return outcome;
  }
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    outcome.finished = true;
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
  } else {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 5000);
  }
  CloseHandle(process.hProcess);
  outcome.output = ReadText(outputPath);
  return outcome;
}

}  // namespace kesta::testing
