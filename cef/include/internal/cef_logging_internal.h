// The C entry points the logging macros forward to.
#ifndef CEF_INCLUDE_INTERNAL_CEF_LOGGING_INTERNAL_H_
#define CEF_INCLUDE_INTERNAL_CEF_LOGGING_INTERNAL_H_
#pragma once

#include <stddef.h>

#include "include/internal/cef_export.h"

#ifdef __cplusplus
extern "C" {
#endif

// Lowest severity that is recorded (LOG_VERBOSE is -1, LOG_INFO 0, ...).
CEF_EXPORT int cef_get_min_log_level(void);

// Verbosity level for the source file whose __FILE__ is `file_start` with
// length N (including the terminating null).
CEF_EXPORT int cef_get_vlog_level(const char* file_start, size_t N);

// Writes one record. A LOG_FATAL record ends the process.
CEF_EXPORT void cef_log(const char* file, int line, int severity, const char* message);

#ifdef __cplusplus
}
#endif

#endif  // CEF_INCLUDE_INTERNAL_CEF_LOGGING_INTERNAL_H_
