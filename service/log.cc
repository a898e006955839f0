#include "log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace kesta::service {

void Log(std::string_view line) {
  static std::mutex mutex;  // guards stdout, shared by every thread
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &seconds);
#else
  gmtime_r(&seconds, &utc);
#endif
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
  std::lock_guard<std::mutex> lock(mutex);
  std::fprintf(stdout, "%s.%03dZ %.*s\n", stamp, static_cast<int>(millis), static_cast<int>(line.size()), line.data());
  std::fflush(stdout);
}

}  // namespace kesta::service
