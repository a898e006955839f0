// The process-wide command line behind CefCommandLine::GetGlobalCommandLine.
#ifndef CEF_SRC_CORE_COMMAND_LINE_GLOBAL_H_
#define CEF_SRC_CORE_COMMAND_LINE_GLOBAL_H_
#pragma once

#include "include/cef_command_line.h"

namespace cef_internal {

// Replaces the global command line with a read-only copy of `command_line`.
// Until this is called it holds the process's own command line (Windows:
// GetCommandLineW(); elsewhere it is empty).
void SetGlobalCommandLine(CefRefPtr<CefCommandLine> command_line);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_COMMAND_LINE_GLOBAL_H_
