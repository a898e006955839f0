// File and text helpers shared by the desktop tests and their helper
// programs (Windows only).
#pragma once

#include <string>
#include <vector>

#include "support/message_boxes_win.h"  // Utf8, Wide
#include "support/process_group_win.h"

namespace kesta::testing {

// Whole file as bytes; empty when missing.
std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);
void AppendLine(const std::string& path, const std::string& line);
// Non-empty lines of a file.
std::vector<std::string> ReadLines(const std::string& path);

}  // namespace kesta::testing

namespace kesta::testing {

// Directory of the running program (backslashes).
std::string ProgramDirectory();
// Waits until `path` holds at least `count` lines; false on time-out.
bool WaitForLines(const std::string& path, size_t count, int timeoutMs = 10000);

}  // namespace kesta::testing

namespace kesta::testing {

struct ChildOutcome {
  bool finished = false;  // false: not started (see error), or killed after the time-out
  unsigned long exitCode = 0;
  std::string output;  // standard output and error, interleaved
  std::string error;   // the call that kept the child from running, and its error code
};

// Makes this process's own standard handles non-inheritable, so children
// started with inheritance (and their children) do not keep the test
// runner's output pipes open.
void KeepStandardHandlesPrivate();

// Runs `executable` with the command line `commandLine` (program name
// included) in `group`, standard input from NUL, output and error into a new
// file in `directory`; waits. What the child starts stays in the group.
ChildOutcome RunChild(ProcessGroup& group,
                      const std::string& directory,
                      const std::string& executable,
                      const std::wstring& commandLine,
                      int timeoutMs = 90000);

}  // namespace kesta::testing
