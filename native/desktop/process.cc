// Child processes: the local service, an updated client, and the client
// itself after shutdown.
#include <windows.h>

#include <string>
#include <vector>

#include "desktop/desktop.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"

namespace kesta::desktop {
namespace {

// Owns one kernel handle; INVALID_HANDLE_VALUE and null both mean none.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = nullptr) : handle_(handle) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
  void Reset(HANDLE handle) {
    if (valid())
      CloseHandle(handle_);
    handle_ = handle;
  }
  void Close() { Reset(nullptr); }

 private:
  HANDLE handle_;
};

}  // namespace

bool spawn(const std::string& executable, const std::vector<std::string>& arguments, bool redirect) {
  std::wstring application = wide(executable);
  std::wstring commandLine = quote(application);
  for (const std::string& argument : arguments) {
    commandLine.push_back(L' ');
    commandLine += quote(wide(argument));
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  SECURITY_ATTRIBUTES inheritable = {};
  inheritable.nLength = sizeof(inheritable);
  inheritable.lpSecurityDescriptor = nullptr;
  inheritable.bInheritHandle = TRUE;

  ScopedHandle log;
  ScopedHandle input;
  DWORD flags = 0;
  if (redirect) {
    std::wstring logPath = wide(dataDir + "/service.log");
    // Append only: earlier service runs stay in the log.
    log.Reset(CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD logError = GetLastError();
    input.Reset(
        CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr));
    if (!log.valid() || !input.valid()) {
      DWORD error = log.valid() ? GetLastError() : logError;
      log.Close();
      input.Close();
      SetLastError(error);
      return false;
    }
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = log.get();
    startup.hStdError = log.get();
    flags = CREATE_NO_WINDOW;
  }

  // CreateProcessW may write into the command line.
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');
  BOOL created = CreateProcessW(application.c_str(), writable.data(), nullptr, nullptr, redirect ? TRUE : FALSE, flags,
                                nullptr, nullptr, &startup, &process);
  DWORD error = GetLastError();
  // The child holds its own inherited copies.
  log.Close();
  input.Close();
  if (!created) {
    SetLastError(error);
    return false;
  }
  // Nothing waits for the child: let go of it at once (destroyed in reverse,
  // so the thread handle goes first).
  ScopedHandle child(process.hProcess);
  ScopedHandle thread(process.hThread);
  return true;
}

}  // namespace kesta::desktop

void DesktopRestartAfterShutdown() {
  using namespace kesta::desktop;
  if (!restartHost)
    return;
  if (!spawn(restartExecutable, restartArguments, false))
    fail("无法重新启动客户端，请手动打开。");
}
