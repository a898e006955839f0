// Where log records go and which are kept.
#ifndef CEF_SRC_CORE_LOG_SETTINGS_H_
#define CEF_SRC_CORE_LOG_SETTINGS_H_
#pragma once

#include "include/internal/cef_string.h"

namespace cef_internal {

// Sends records to `path` (appended to; created when missing) and keeps
// those at or above `severity`, given as a cef_log_severity_t value from
// CefSettings (0 = default, i.e. INFO; 99 = disable). An empty path, or one
// that cannot be opened, leaves records on standard error.
void SetLogFile(const CefString& path, int severity);

// Back to standard error and the default severity (tests, CefShutdown).
void ResetLogging();

// Verbosity for VLOG (the "v" switch).
void SetVlogLevel(int level);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_LOG_SETTINGS_H_
