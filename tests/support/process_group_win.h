// The processes a test starts and every process they start in turn, held
// as one job. Ending the group ends them all and waits until they are gone,
// so none outlives the test or keeps its files open. Header-only, like the
// service harness that uses it.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace kesta::testing {

// "<call> failed with error <GetLastError()>", for a test's message.
inline std::string CallFailure(const char* call) {
  const DWORD code = GetLastError();
  return std::string(call) + " failed with error " + std::to_string(code);
}

// CreateProcessW, tried again when it fails. With address randomisation on
// (wine-run turns it off where it can), about one Wine start in 7,000 fails
// at once with ERROR_INTERNAL_ERROR: the new process could not map its shared
// user data and ended before its start-up was done. The next try succeeds.
// Three tries, 200 ms apart; on failure `error` names the call and the last
// code.
inline bool StartProcess(const wchar_t* application,
                         const std::wstring& commandLine,
                         bool inheritHandles,
                         DWORD flags,
                         STARTUPINFOW& startup,
                         PROCESS_INFORMATION& created,
                         std::string* error = nullptr,
                         const wchar_t* directory = nullptr) {
  for (int attempt = 1;; ++attempt) {
    // CreateProcessW may write into the command line.
    std::wstring line = commandLine;
    if (CreateProcessW(application, line.data(), nullptr, nullptr, inheritHandles, flags, nullptr, directory, &startup,
                       &created))
      return true;
    if (attempt == 3) {
      if (error)
        *error = CallFailure("CreateProcessW") + " (3 tries)";
      return false;
    }
    Sleep(200);
  }
}

class ProcessGroup {
 public:
  ProcessGroup() {
    // The first process that needs a window starts the desktop's own
    // process (Wine's explorer.exe), which is shared by every program on
    // the prefix. Started by a member it would join the job and die with
    // it, and every program then starting could make no window. Asked for
    // here, it is started outside the job and kept while this process runs.
    GetDesktopWindow();
    job_ = CreateJobObjectW(nullptr, nullptr);
    port_ = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    // Should this process end first, its group goes with it.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    // Wine answers no queries about a job's members (none are listed, none
    // counted) but does post their comings and goings to the job's port.
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{job_, port_};
    SetInformationJobObject(job_, JobObjectAssociateCompletionPortInformation, &association, sizeof association);
  }
  ~ProcessGroup() {
    End();
    CloseHandle(port_);
    CloseHandle(job_);
  }
  ProcessGroup(const ProcessGroup&) = delete;
  ProcessGroup& operator=(const ProcessGroup&) = delete;

  // A process made with CREATE_SUSPENDED joins before it runs, so all it
  // starts joins too; then it runs. The caller keeps both handles. False,
  // with the process ended and error() saying which call failed, when it
  // could not join or run.
  bool Join(const PROCESS_INFORMATION& created) {
    error_.clear();
    if (!AssignProcessToJobObject(job_, created.hProcess)) {
      error_ = CallFailure("AssignProcessToJobObject");
      TerminateProcess(created.hProcess, 1);
      ResumeThread(created.hThread);
      return false;
    }
    ++joined_;
    if (ResumeThread(created.hThread) == static_cast<DWORD>(-1)) {
      error_ = CallFailure("ResumeThread");
      TerminateProcess(created.hProcess, 1);
      return false;
    }
    return true;
  }

  // Why the last Join failed: "<call> failed with error <code>".
  const std::string& error() const { return error_; }

  // Ends every process of the group and waits (at most 10 s) until none is
  // left. The group can take new processes afterwards.
  void End() {
    if (joined_ == 0)
      return;
    joined_ = 0;
    TerminateJobObject(job_, 1);
    // The port's last word says whether any is left: each start is posted,
    // and so is the moment the last one ended.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool empty = false;
    for (;;) {
      DWORD wait = 0;
      if (!empty) {
        const auto left = deadline - std::chrono::steady_clock::now();
        wait = static_cast<DWORD>(
            std::max<long long>(0, std::chrono::duration_cast<std::chrono::milliseconds>(left).count()));
      }
      DWORD message = 0;
      ULONG_PTR key = 0;
      LPOVERLAPPED detail = nullptr;
      if (!GetQueuedCompletionStatus(port_, &message, &key, &detail, wait))
        return;
      if (message == JOB_OBJECT_MSG_NEW_PROCESS)
        empty = false;
      else if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO)
        empty = true;
    }
  }

 private:
  HANDLE job_ = nullptr;
  HANDLE port_ = nullptr;
  int joined_ = 0;
  std::string error_;
};

}  // namespace kesta::testing
