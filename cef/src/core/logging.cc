// Log records: formatting, the log file, severity filtering.
#include "include/base/cef_logging.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>

#include "core/log_settings.h"
#include "include/internal/cef_string_types.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/syscall.h>
#include <unistd.h>
#include <cerrno>
#endif

namespace {

// cef_log_severity_t values as CefSettings carries them.
constexpr int kSettingsDefault = 0;
constexpr int kSettingsVerbose = 1;
constexpr int kSettingsInfo = 2;
constexpr int kSettingsWarning = 3;
constexpr int kSettingsError = 4;
constexpr int kSettingsFatal = 5;
constexpr int kSettingsDisable = 99;

std::atomic<int> g_min_log_level{cef::logging::LOG_INFO};
std::atomic<int> g_vlog_level{0};
// Records are written but never kept: only FATAL ones, to standard error.
std::atomic<bool> g_logging_disabled{false};

// Guards g_log_file; held while a record is written so lines never mix.
std::mutex& LogMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
FILE* g_log_file = nullptr;  // null: standard error

const char* BaseName(const char* file) {
  const char* base = file;
  for (const char* p = file; *p; ++p) {
    if (*p == '/' || *p == '\\')
      base = p + 1;
  }
  return base;
}

unsigned long CurrentProcessId() {
#if defined(_WIN32)
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

unsigned long CurrentThreadId() {
#if defined(_WIN32)
  return GetCurrentThreadId();
#else
  return static_cast<unsigned long>(syscall(SYS_gettid));
#endif
}

// "[pid:tid:MMDD/HHMMSS.uuuuuu:SEVERITY:file.cc(12)] message\n"
std::string FormatRecord(const char* file, int line, int severity, const char* message) {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const long micros = static_cast<long>(duration_cast<microseconds>(now.time_since_epoch()).count() % 1000000);
  std::tm local = {};
#if defined(_WIN32)
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char prefix[128];
  std::snprintf(prefix, sizeof(prefix), "[%lu:%lu:%02d%02d/%02d%02d%02d.%06ld:", CurrentProcessId(), CurrentThreadId(),
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, micros);
  std::string record(prefix);
  if (severity < 0)
    record += "VERBOSE" + std::to_string(-severity);
  else
    record += cef::logging::GetLogSeverityName(severity);
  record += ':';
  record += BaseName(file ? file : "");
  record += '(' + std::to_string(line) + ")] ";
  record += message ? message : "";
  if (record.empty() || record.back() != '\n')
    record += '\n';
  return record;
}

void WriteRecord(const std::string& record, bool force_stderr) {
  std::lock_guard<std::mutex> lock(LogMutex());
  FILE* out = (g_log_file && !force_stderr) ? g_log_file : stderr;
  std::fwrite(record.data(), 1, record.size(), out);
  std::fflush(out);
}

int MinLevelFromSettings(int severity) {
  switch (severity) {
    case kSettingsVerbose:
      return cef::logging::LOG_VERBOSE;
    case kSettingsWarning:
      return cef::logging::LOG_WARNING;
    case kSettingsError:
      return cef::logging::LOG_ERROR;
    case kSettingsFatal:
    case kSettingsDisable:
      return cef::logging::LOG_FATAL;
    case kSettingsDefault:
    case kSettingsInfo:
    default:
      return cef::logging::LOG_INFO;
  }
}

FILE* OpenForAppend(const CefString& path) {
#if defined(_WIN32)
  return _wfopen(path.ToWString().c_str(), L"abN");
#else
  return std::fopen(path.ToString().c_str(), "ab");
#endif
}

}  // namespace

int cef_get_min_log_level(void) {
  return g_min_log_level.load(std::memory_order_relaxed);
}

int cef_get_vlog_level(const char* file_start, size_t N) {
  return g_vlog_level.load(std::memory_order_relaxed);
}

void cef_log(const char* file, int line, int severity, const char* message) {
  const bool fatal = severity >= cef::logging::LOG_FATAL;
  if (!fatal) {
    if (g_logging_disabled.load(std::memory_order_relaxed))
      return;
    if (severity < cef_get_min_log_level())
      return;
  }
  const std::string record = FormatRecord(file, line, severity, message);
  WriteRecord(record, false);
  if (fatal) {
    // The reason must reach a human even when the log file is elsewhere.
    {
      std::lock_guard<std::mutex> lock(LogMutex());
      if (g_log_file) {
        std::fwrite(record.data(), 1, record.size(), stderr);
        std::fflush(stderr);
      }
    }
    std::abort();
  }
}

namespace cef_internal {

void SetLogFile(const CefString& path, int severity) {
  // A verbosity asked for with --v keeps its VLOG records.
  const int vlog = g_vlog_level.load();
  const int level = MinLevelFromSettings(severity);
  g_min_log_level.store(vlog > 0 ? std::min(level, -vlog) : level);
  g_logging_disabled.store(severity == kSettingsDisable);
  FILE* file = path.empty() ? nullptr : OpenForAppend(path);
  FILE* old = nullptr;
  {
    std::lock_guard<std::mutex> lock(LogMutex());
    old = g_log_file;
    g_log_file = file;
  }
  if (old)
    std::fclose(old);
  if (!path.empty() && !file) {
    LOG(ERROR) << "Unable to open log file " << path.ToString() << "; logging to standard error";
  }
}

void ResetLogging() {
  FILE* old = nullptr;
  {
    std::lock_guard<std::mutex> lock(LogMutex());
    old = g_log_file;
    g_log_file = nullptr;
  }
  if (old)
    std::fclose(old);
  g_min_log_level.store(cef::logging::LOG_INFO);
  g_logging_disabled.store(false);
  g_vlog_level.store(0);
}

void SetVlogLevel(int level) {
  g_vlog_level.store(level);
  if (level > 0 && g_min_log_level.load() > -level)
    g_min_log_level.store(-level);
}

}  // namespace cef_internal

namespace cef {
namespace logging {

const char* GetLogSeverityName(LogSeverity severity) {
  static const char* const kNames[] = {"INFO", "WARNING", "ERROR", "FATAL"};
  if (severity >= 0 && severity < LOG_NUM_SEVERITIES)
    return kNames[severity];
  if (severity >= LOG_NUM_SEVERITIES)
    return "UNKNOWN";
  static const char* const kVerbose[] = {"VERBOSE1", "VERBOSE2", "VERBOSE3", "VERBOSE4", "VERBOSE5"};
  const int level = -severity;
  return level <= 5 ? kVerbose[level - 1] : "VERBOSE";
}

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : severity_(severity), file_(file), line_(line) {
#if defined(_WIN32)
  last_error_ = ::GetLastError();
#endif
}

LogMessage::LogMessage(const char* file, int line, std::string* result) : LogMessage(file, line, LOG_FATAL, result) {}

LogMessage::LogMessage(const char* file, int line, LogSeverity severity, std::string* result)
    : LogMessage(file, line, severity) {
  stream_ << "Check failed: " << *result;
  delete result;
}

LogMessage::~LogMessage() {
  const std::string message = stream_.str();
  cef_log(file_, line_, severity_, message.c_str());
#if defined(_WIN32)
  ::SetLastError(last_error_);
#endif
}

SystemErrorCode GetLastSystemErrorCode() {
#if defined(_WIN32)
  return ::GetLastError();
#else
  return errno;
#endif
}

std::string SystemErrorCodeToString(SystemErrorCode error_code) {
#if defined(_WIN32)
  wchar_t buffer[256];
  const DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error_code,
                                        0, buffer, sizeof(buffer) / sizeof(buffer[0]), nullptr);
  std::string text;
  if (length) {
    std::wstring wide(buffer, length);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' '))
      wide.pop_back();
    cef_string_utf8_t utf8 = {};
    cef_string_wide_to_utf8(wide.data(), wide.size(), &utf8);
    text.assign(utf8.str ? utf8.str : "", utf8.length);
    cef_string_utf8_clear(&utf8);
  } else {
    text = "Error";
  }
  return text + " (0x" + [&] {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "%lX", static_cast<unsigned long>(error_code));
    return std::string(hex);
  }() + ")";
#else
  return std::string(std::strerror(error_code)) + " (" + std::to_string(error_code) + ")";
#endif
}

ErrnoLogMessage::ErrnoLogMessage(const char* file, int line, LogSeverity severity, SystemErrorCode err)
    : err_(err), log_message_(file, line, severity) {}

ErrnoLogMessage::~ErrnoLogMessage() {
  stream() << ": " << SystemErrorCodeToString(err_);
}

}  // namespace logging
}  // namespace cef

std::ostream& operator<<(std::ostream& out, std::wstring_view wstr) {
  cef_string_utf8_t utf8 = {};
  cef_string_wide_to_utf8(wstr.data(), wstr.size(), &utf8);
  out.write(utf8.str ? utf8.str : "", static_cast<std::streamsize>(utf8.length));
  cef_string_utf8_clear(&utf8);
  return out;
}

std::ostream& operator<<(std::ostream& out, const wchar_t* wstr) {
  return out << (wstr ? std::wstring_view(wstr) : std::wstring_view());
}

std::ostream& operator<<(std::ostream& out, std::u16string_view str16) {
  cef_string_utf8_t utf8 = {};
  cef_string_utf16_to_utf8(str16.data(), str16.size(), &utf8);
  out.write(utf8.str ? utf8.str : "", static_cast<std::streamsize>(utf8.length));
  cef_string_utf8_clear(&utf8);
  return out;
}

std::ostream& operator<<(std::ostream& out, const char16_t* str16) {
  return out << (str16 ? std::u16string_view(str16) : std::u16string_view());
}
