// Logging and assertion macros: LOG, VLOG, PLOG, DLOG, CHECK, DCHECK,
// NOTREACHED and NOTIMPLEMENTED. Records go through cef_log(), which writes
// them to the runtime's log file (standard error until one is set).
//
//   LOG(INFO) << "Loaded " << count << " entries";
//   LOG_IF(WARNING, retries > 3) << "Still retrying";
//   CHECK(ptr) << "never null here";
//   DCHECK_EQ(a, b);
//
// Severities below the minimum level (cef_get_min_log_level()) are not
// recorded and their stream expressions are not evaluated. A FATAL record
// ends the process. DCHECKs are active without NDEBUG (or with
// DCHECK_ALWAYS_ON); when inactive their conditions still compile but are
// not evaluated.
#ifndef CEF_INCLUDE_BASE_CEF_LOGGING_H_
#define CEF_INCLUDE_BASE_CEF_LOGGING_H_
#pragma once

#if defined(DCHECK)
// Chromium's own logging header came first; only supply what it lacks.
#ifndef DCHECK_IS_ON
#if defined(NDEBUG) && !defined(DCHECK_ALWAYS_ON)
#define DCHECK_IS_ON() 0
#else
#define DCHECK_IS_ON() 1
#endif
#endif

#else  // !defined(DCHECK)

#include <cstddef>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

#include "include/base/cef_build.h"
#include "include/internal/cef_logging_internal.h"

#if defined(NDEBUG) && !defined(DCHECK_ALWAYS_ON)
#define DCHECK_IS_ON() 0
#else
#define DCHECK_IS_ON() 1
#endif

namespace cef {
namespace logging {

typedef int LogSeverity;
const LogSeverity LOG_VERBOSE = -1;
const LogSeverity LOG_INFO = 0;
const LogSeverity LOG_WARNING = 1;
const LogSeverity LOG_ERROR = 2;
const LogSeverity LOG_FATAL = 3;
const LogSeverity LOG_NUM_SEVERITIES = 4;

#if defined(NDEBUG)
const LogSeverity LOG_DFATAL = LOG_ERROR;
#else
const LogSeverity LOG_DFATAL = LOG_FATAL;
#endif

#if DCHECK_IS_ON()
const LogSeverity LOG_DCHECK = LOG_FATAL;
#else
const LogSeverity LOG_DCHECK = LOG_INFO;
#endif

// <windows.h> defines ERROR as 0, which LOG(ERROR) expands before pasting;
// define it the same way here so both orders of inclusion work.
#if defined(OS_WIN)
#ifndef ERROR
#define ERROR 0
#endif
const LogSeverity LOG_0 = LOG_ERROR;
#endif

inline int GetMinLogLevel() {
  return cef_get_min_log_level();
}

inline int GetVlogLevelHelper(const char* file, size_t N) {
  return cef_get_vlog_level(file, N);
}

template <size_t N>
int GetVlogLevel(const char (&file)[N]) {
  return GetVlogLevelHelper(file, N);
}

// Severity name as written into records ("INFO", "ERROR", "VERBOSE1" ...).
const char* GetLogSeverityName(LogSeverity severity);

// Collects one record and hands it to cef_log() when destroyed.
class LogMessage {
 public:
  LogMessage(const char* file, int line, LogSeverity severity);
  // A failed CHECK_xx: records "Check failed: <*result>" at FATAL and takes
  // ownership of `result`.
  LogMessage(const char* file, int line, std::string* result);
  // A failed DCHECK_xx at `severity`; takes ownership of `result`.
  LogMessage(const char* file, int line, LogSeverity severity, std::string* result);
  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;
  ~LogMessage();

  std::ostream& stream() { return stream_; }

 private:
  const LogSeverity severity_;
  std::ostringstream stream_;
  const char* const file_;
  const int line_;
#if defined(OS_WIN)
  // Streaming may call APIs that overwrite the error PLOG is about.
  unsigned long last_error_;
#endif
};

// Turns the stream expression into void so LAZY_STREAM's branches agree.
class LogMessageVoidify {
 public:
  LogMessageVoidify() = default;
  void operator&(std::ostream&) {}
};

#if defined(OS_WIN)
typedef unsigned long SystemErrorCode;
#else
typedef int SystemErrorCode;
#endif
SystemErrorCode GetLastSystemErrorCode();
std::string SystemErrorCodeToString(SystemErrorCode error_code);

// PLOG: appends ": <system error text> (<code>)" to the record.
class ErrnoLogMessage {
 public:
  ErrnoLogMessage(const char* file, int line, LogSeverity severity, SystemErrorCode err);
  ErrnoLogMessage(const ErrnoLogMessage&) = delete;
  ErrnoLogMessage& operator=(const ErrnoLogMessage&) = delete;
  ~ErrnoLogMessage();

  std::ostream& stream() { return log_message_.stream(); }

 private:
  SystemErrorCode err_;
  LogMessage log_message_;
};
#if defined(OS_WIN)
typedef ErrnoLogMessage Win32ErrorLogMessage;
#endif

// Result of a CHECK_xx / DCHECK_xx comparison: null message when it held.
class CheckOpResult {
 public:
  CheckOpResult(std::string* message = nullptr) : message_(message) {}
  explicit operator bool() const { return message_ == nullptr; }
  std::string* message() { return message_; }

 private:
  std::string* message_;
};

// Writes a compared value; enums as numbers, unprintable types as a marker.
template <typename T>
void MakeCheckOpValueString(std::ostream* os, const T& v) {
  if constexpr (std::is_same_v<T, std::nullptr_t>) {
    (*os) << "nullptr";
  } else if constexpr (std::is_enum_v<T>) {
    (*os) << static_cast<std::underlying_type_t<T> >(v);
  } else if constexpr (requires { (*os) << v; }) {
    (*os) << v;
  } else {
    (*os) << "<unprintable value>";
  }
}

template <class t1, class t2>
std::string* MakeCheckOpString(const t1& v1, const t2& v2, const char* names) {
  std::ostringstream ss;
  ss << names << " (";
  MakeCheckOpValueString(&ss, v1);
  ss << " vs. ";
  MakeCheckOpValueString(&ss, v2);
  ss << ")";
  return new std::string(ss.str());
}

#define CEF_DEFINE_CHECK_OP_IMPL(name, op)                                               \
  template <class t1, class t2>                                                          \
  inline std::string* Check##name##Impl(const t1& v1, const t2& v2, const char* names) { \
    if (v1 op v2)                                                                        \
      return nullptr;                                                                    \
    return MakeCheckOpString(v1, v2, names);                                             \
  }                                                                                      \
  inline std::string* Check##name##Impl(int v1, int v2, const char* names) {             \
    if (v1 op v2)                                                                        \
      return nullptr;                                                                    \
    return MakeCheckOpString(v1, v2, names);                                             \
  }
CEF_DEFINE_CHECK_OP_IMPL(EQ, ==)
CEF_DEFINE_CHECK_OP_IMPL(NE, !=)
CEF_DEFINE_CHECK_OP_IMPL(LE, <=)
CEF_DEFINE_CHECK_OP_IMPL(LT, <)
CEF_DEFINE_CHECK_OP_IMPL(GE, >=)
CEF_DEFINE_CHECK_OP_IMPL(GT, >)
#undef CEF_DEFINE_CHECK_OP_IMPL

}  // namespace logging
}  // namespace cef

// Wide and UTF-16 text is written as UTF-8.
std::ostream& operator<<(std::ostream& out, std::wstring_view wstr);
std::ostream& operator<<(std::ostream& out, const wchar_t* wstr);
inline std::ostream& operator<<(std::ostream& out, const std::wstring& wstr) {
  return out << std::wstring_view(wstr);
}
std::ostream& operator<<(std::ostream& out, std::u16string_view str16);
std::ostream& operator<<(std::ostream& out, const char16_t* str16);
inline std::ostream& operator<<(std::ostream& out, const std::u16string& str16) {
  return out << std::u16string_view(str16);
}

#define COMPACT_GOOGLE_LOG_EX_INFO(ClassName, ...) \
  ::cef::logging::ClassName(__FILE__, __LINE__, ::cef::logging::LOG_INFO, ##__VA_ARGS__)
#define COMPACT_GOOGLE_LOG_EX_WARNING(ClassName, ...) \
  ::cef::logging::ClassName(__FILE__, __LINE__, ::cef::logging::LOG_WARNING, ##__VA_ARGS__)
#define COMPACT_GOOGLE_LOG_EX_ERROR(ClassName, ...) \
  ::cef::logging::ClassName(__FILE__, __LINE__, ::cef::logging::LOG_ERROR, ##__VA_ARGS__)
#define COMPACT_GOOGLE_LOG_EX_FATAL(ClassName, ...) \
  ::cef::logging::ClassName(__FILE__, __LINE__, ::cef::logging::LOG_FATAL, ##__VA_ARGS__)
#define COMPACT_GOOGLE_LOG_EX_DFATAL(ClassName, ...) \
  ::cef::logging::ClassName(__FILE__, __LINE__, ::cef::logging::LOG_DFATAL, ##__VA_ARGS__)
#define COMPACT_GOOGLE_LOG_EX_DCHECK(ClassName, ...) \
  ::cef::logging::ClassName(__FILE__, __LINE__, ::cef::logging::LOG_DCHECK, ##__VA_ARGS__)

#define COMPACT_GOOGLE_LOG_INFO COMPACT_GOOGLE_LOG_EX_INFO(LogMessage)
#define COMPACT_GOOGLE_LOG_WARNING COMPACT_GOOGLE_LOG_EX_WARNING(LogMessage)
#define COMPACT_GOOGLE_LOG_ERROR COMPACT_GOOGLE_LOG_EX_ERROR(LogMessage)
#define COMPACT_GOOGLE_LOG_FATAL COMPACT_GOOGLE_LOG_EX_FATAL(LogMessage)
#define COMPACT_GOOGLE_LOG_DFATAL COMPACT_GOOGLE_LOG_EX_DFATAL(LogMessage)
#define COMPACT_GOOGLE_LOG_DCHECK COMPACT_GOOGLE_LOG_EX_DCHECK(LogMessage)

#if defined(OS_WIN)
#define COMPACT_GOOGLE_LOG_EX_0(ClassName, ...) COMPACT_GOOGLE_LOG_EX_ERROR(ClassName, ##__VA_ARGS__)
#define COMPACT_GOOGLE_LOG_0 COMPACT_GOOGLE_LOG_ERROR
#endif

#define LOG_IS_ON(severity) ((::cef::logging::LOG_##severity) >= ::cef::logging::GetMinLogLevel())

#define VLOG_IS_ON(verboselevel) ((verboselevel) <= ::cef::logging::GetVlogLevel(__FILE__))

// Evaluates `stream` only when `condition` holds.
#define LAZY_STREAM(stream, condition) !(condition) ? (void)0 : ::cef::logging::LogMessageVoidify() & (stream)

#define LOG_STREAM(severity) COMPACT_GOOGLE_LOG_##severity.stream()

#define LOG(severity) LAZY_STREAM(LOG_STREAM(severity), LOG_IS_ON(severity))
#define LOG_IF(severity, condition) LAZY_STREAM(LOG_STREAM(severity), LOG_IS_ON(severity) && (condition))

#define VLOG_STREAM(verbose_level) ::cef::logging::LogMessage(__FILE__, __LINE__, -(verbose_level)).stream()
#define VLOG(verbose_level) LAZY_STREAM(VLOG_STREAM(verbose_level), VLOG_IS_ON(verbose_level))
#define VLOG_IF(verbose_level, condition) \
  LAZY_STREAM(VLOG_STREAM(verbose_level), VLOG_IS_ON(verbose_level) && (condition))

#define LOG_ASSERT(condition) LOG_IF(FATAL, !(condition)) << "Assert failed: " #condition ". "

#define PLOG_STREAM(severity) \
  COMPACT_GOOGLE_LOG_EX_##severity(ErrnoLogMessage, ::cef::logging::GetLastSystemErrorCode()).stream()
#define PLOG(severity) LAZY_STREAM(PLOG_STREAM(severity), LOG_IS_ON(severity))
#define PLOG_IF(severity, condition) LAZY_STREAM(PLOG_STREAM(severity), LOG_IS_ON(severity) && (condition))

// CHECK is evaluated in every build.
#define CHECK(condition) LAZY_STREAM(LOG_STREAM(FATAL), !(condition)) << "Check failed: " #condition ". "

#define PCHECK(condition) LAZY_STREAM(PLOG_STREAM(FATAL), !(condition)) << "Check failed: " #condition ". "

// The switch keeps `if (x) CHECK_EQ(a, b); else ...` from binding the else.
#define CHECK_OP(name, op, val1, val2)                                                  \
  switch (0)                                                                            \
  case 0:                                                                               \
  default:                                                                              \
    if (::cef::logging::CheckOpResult true_if_passed =                                  \
            ::cef::logging::Check##name##Impl((val1), (val2), #val1 " " #op " " #val2)) \
      ;                                                                                 \
    else                                                                                \
      ::cef::logging::LogMessage(__FILE__, __LINE__, true_if_passed.message()).stream()

#define CHECK_EQ(val1, val2) CHECK_OP(EQ, ==, val1, val2)
#define CHECK_NE(val1, val2) CHECK_OP(NE, !=, val1, val2)
#define CHECK_LE(val1, val2) CHECK_OP(LE, <=, val1, val2)
#define CHECK_LT(val1, val2) CHECK_OP(LT, <, val1, val2)
#define CHECK_GE(val1, val2) CHECK_OP(GE, >=, val1, val2)
#define CHECK_GT(val1, val2) CHECK_OP(GT, >, val1, val2)

#if defined(NDEBUG)
#define ENABLE_DLOG 0
#else
#define ENABLE_DLOG 1
#endif
#define DLOG_IS_ON(severity) (ENABLE_DLOG && LOG_IS_ON(severity))

#define DLOG(severity) LAZY_STREAM(LOG_STREAM(severity), DLOG_IS_ON(severity))
#define DLOG_IF(severity, condition) LAZY_STREAM(LOG_STREAM(severity), DLOG_IS_ON(severity) && (condition))
#define DLOG_ASSERT(condition) DLOG_IF(FATAL, !(condition)) << "Assert failed: " #condition ". "
#define DPLOG(severity) LAZY_STREAM(PLOG_STREAM(severity), DLOG_IS_ON(severity))
#define DPLOG_IF(severity, condition) LAZY_STREAM(PLOG_STREAM(severity), DLOG_IS_ON(severity) && (condition))
#define DVLOG(verboselevel) LAZY_STREAM(VLOG_STREAM(verboselevel), ENABLE_DLOG&& VLOG_IS_ON(verboselevel))
#define DVLOG_IF(verboselevel, condition) \
  LAZY_STREAM(VLOG_STREAM(verboselevel), ENABLE_DLOG&& VLOG_IS_ON(verboselevel) && (condition))

#define DCHECK(condition) \
  LAZY_STREAM(LOG_STREAM(DCHECK), DCHECK_IS_ON() && !(condition)) << "Check failed: " #condition ". "

#define DPCHECK(condition) \
  LAZY_STREAM(PLOG_STREAM(DCHECK), DCHECK_IS_ON() && !(condition)) << "Check failed: " #condition ". "

// When DCHECKs are off the comparison compiles but is never evaluated.
#define DCHECK_OP(name, op, val1, val2)                                                                            \
  switch (0)                                                                                                       \
  case 0:                                                                                                          \
  default:                                                                                                         \
    if (::cef::logging::CheckOpResult true_if_passed =                                                             \
            DCHECK_IS_ON() ? ::cef::logging::Check##name##Impl((val1), (val2), #val1 " " #op " " #val2) : nullptr) \
      ;                                                                                                            \
    else                                                                                                           \
      ::cef::logging::LogMessage(__FILE__, __LINE__, ::cef::logging::LOG_DCHECK, true_if_passed.message()).stream()

#define DCHECK_EQ(val1, val2) DCHECK_OP(EQ, ==, val1, val2)
#define DCHECK_NE(val1, val2) DCHECK_OP(NE, !=, val1, val2)
#define DCHECK_LE(val1, val2) DCHECK_OP(LE, <=, val1, val2)
#define DCHECK_LT(val1, val2) DCHECK_OP(LT, <, val1, val2)
#define DCHECK_GE(val1, val2) DCHECK_OP(GE, >=, val1, val2)
#define DCHECK_GT(val1, val2) DCHECK_OP(GT, >, val1, val2)

#define NOTREACHED() DCHECK(false)

// NOTIMPLEMENTED() logs at ERROR, naming the function where the compiler
// can say which one it is.
#if defined(COMPILER_GCC)
#define NOTIMPLEMENTED_MSG "Not implemented reached in " << __PRETTY_FUNCTION__
#else
#define NOTIMPLEMENTED_MSG "NOT IMPLEMENTED"
#endif
#define NOTIMPLEMENTED() LOG(ERROR) << NOTIMPLEMENTED_MSG

#endif  // !defined(DCHECK)

#endif  // CEF_INCLUDE_BASE_CEF_LOGGING_H_
