// Folders a test owns under the system's temporary folder: made new and
// empty, and removed with everything in them when their owner goes, also
// when the test fails. Header-only, so helper programs and benchmarks that
// do not link the test support can use it too.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kesta::testing {

// Removes `root` with everything in it. On Windows a process that has just
// ended may hold its files for a moment longer, and one that is still
// running holds them until it ends: end the processes first (ProcessGroup),
// then this tries again for a few seconds. False, with the reason on
// standard error, when something is left.
inline bool RemoveTree(const std::filesystem::path& root) {
  std::error_code error;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    std::filesystem::remove_all(root, error);
    if (!std::filesystem::exists(root))
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const std::u8string path = root.u8string();
  std::fprintf(stderr, "cannot remove %s: %s\n", reinterpret_cast<const char*>(path.c_str()), error.message().c_str());
  return false;
}

class TempDirectory {
 public:
  // <temp>/kesta-<label>-<process id>-<n>
  explicit TempDirectory(const std::string& label) {
    static std::atomic<int> counter{0};
#if defined(_WIN32)
    const unsigned long process = GetCurrentProcessId();
#else
    const long process = static_cast<long>(getpid());
#endif
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::error_code error;
    // One left by an earlier process of the same id is not ours to reuse.
    do {
      path_ = base / ("kesta-" + label + "-" + std::to_string(process) + "-" + std::to_string(++counter));
    } while (!std::filesystem::create_directory(path_, error) && !error);
  }
  ~TempDirectory() {
    RemoveTree(path_);
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;

  const std::filesystem::path& path() const {
    return path_;
  }
  // UTF-8, with the system's separators.
  std::string Utf8() const {
    const std::u8string text = path_.u8string();
    return std::string(text.begin(), text.end());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace kesta::testing
