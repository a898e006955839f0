// Enumerations of process start-up, logging, preferences and runtime style.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_PROCESS_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_PROCESS_H_
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Process exit codes. CefGetExitCode() reports one of these after
// CefInitialize() has returned.
typedef enum {
  CEF_RESULT_CODE_NORMAL_EXIT = 0,
  CEF_RESULT_CODE_KILLED = 1,
  CEF_RESULT_CODE_HUNG = 2,
  CEF_RESULT_CODE_KILLED_BAD_MESSAGE = 3,
  CEF_RESULT_CODE_GPU_DEAD_ON_ARRIVAL = 4,
  CEF_RESULT_CODE_CHROME_FIRST = 5,
  CEF_RESULT_CODE_BAD_PROCESS_TYPE = 6,
  CEF_RESULT_CODE_MISSING_DATA = 7,
  CEF_RESULT_CODE_UNSUPPORTED_PARAM = 13,
  CEF_RESULT_CODE_PROFILE_IN_USE = 21,
  CEF_RESULT_CODE_PACK_EXTENSION_ERROR = 22,
  CEF_RESULT_CODE_NORMAL_EXIT_PROCESS_NOTIFIED = 24,
  CEF_RESULT_CODE_INVALID_SANDBOX_STATE = 31,
  CEF_RESULT_CODE_SANDBOX_FATAL_FIRST = 7006,
} cef_resultcode_t;

// Minimum severity written to the log file (CefSettings.log_severity).
typedef enum {
  LOGSEVERITY_DEFAULT = 0,
  LOGSEVERITY_VERBOSE = 1,
  LOGSEVERITY_DEBUG = LOGSEVERITY_VERBOSE,
  LOGSEVERITY_INFO = 2,
  LOGSEVERITY_WARNING = 3,
  LOGSEVERITY_ERROR = 4,
  LOGSEVERITY_FATAL = 5,
  LOGSEVERITY_DISABLE = 99,
} cef_log_severity_t;

// Prefix items of each log line (flags).
typedef enum {
  LOG_ITEMS_DEFAULT = 0,
  LOG_ITEMS_NONE = 1,
  LOG_ITEMS_FLAG_PROCESS_ID = 1 << 1,
  LOG_ITEMS_FLAG_THREAD_ID = 1 << 2,
  LOG_ITEMS_FLAG_TIME_STAMP = 1 << 3,
  LOG_ITEMS_FLAG_TICK_COUNT = 1 << 4,
} cef_log_items_t;

typedef enum {
  CEF_PREFERENCES_TYPE_GLOBAL = 0,
  CEF_PREFERENCES_TYPE_REQUEST_CONTEXT,
  CEF_PREFERENCES_TYPE_NUM_VALUES,
} cef_preferences_type_t;

typedef enum {
  CEF_RUNTIME_STYLE_DEFAULT = 0,
  CEF_RUNTIME_STYLE_CHROME,
  CEF_RUNTIME_STYLE_ALLOY,
} cef_runtime_style_t;

typedef enum {
  CEF_SHOW_STATE_NORMAL = 0,
  CEF_SHOW_STATE_MINIMIZED,
  CEF_SHOW_STATE_MAXIMIZED,
  CEF_SHOW_STATE_FULLSCREEN,
  CEF_SHOW_STATE_HIDDEN,
  CEF_SHOW_STATE_NUM_VALUES,
} cef_show_state_t;

// Tri-state used by browser settings and window delegates.
typedef enum {
  STATE_DEFAULT = 0,
  STATE_ENABLED,
  STATE_DISABLED,
} cef_state_t;

// Device scale factors of resources.
typedef enum {
  SCALE_FACTOR_NONE = 0,
  SCALE_FACTOR_100P,
  SCALE_FACTOR_125P,
  SCALE_FACTOR_133P,
  SCALE_FACTOR_140P,
  SCALE_FACTOR_150P,
  SCALE_FACTOR_180P,
  SCALE_FACTOR_200P,
  SCALE_FACTOR_250P,
  SCALE_FACTOR_300P,
} cef_scale_factor_t;

#ifdef __cplusplus
}
#endif

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_PROCESS_H_
