// Test driver: starting and stopping the runtime inside a test program.
#ifndef CEF_TESTING_RUNTIME_H_
#define CEF_TESTING_RUNTIME_H_
#pragma once

#include <functional>
#include <string>

#include "include/cef_app.h"

namespace cef_testing {

// Calls CefInitialize() with a fresh temporary root cache directory (cache
// path "<root>\Default", log file "<root>\cef.log") on construction and
// CefShutdown() on destruction, then deletes the directory (a root the
// caller gave is the caller's to delete). The calling
// thread becomes the UI thread. One per process at a time; a process can
// run the runtime only once (as with real CEF), so each test program gets
// one ScopedRuntime, typically in a test environment or fixture.
class ScopedRuntime {
 public:
  struct Options {
    CefRefPtr<CefApp> app;
    bool in_memory = false;  // leave cache_path empty
    // An existing directory (UTF-8) to use as the root instead of a new one:
    // for a runtime in a process that does not end in an orderly way.
    std::string root;
    // Last edits before CefInitialize().
    std::function<void(CefSettings&)> edit_settings;
  };

  ScopedRuntime();
  explicit ScopedRuntime(CefRefPtr<CefApp> app);
  explicit ScopedRuntime(const Options& options);
  ~ScopedRuntime();
  ScopedRuntime(const ScopedRuntime&) = delete;
  ScopedRuntime& operator=(const ScopedRuntime&) = delete;

  // CefInitialize()'s result and CefGetExitCode() after it.
  bool initialized() const { return initialized_; }
  int exit_code() const { return exit_code_; }

  // UTF-8 paths (backslash separators).
  const std::string& root_cache_path() const { return root_; }
  std::string cache_path() const;

  // Shuts down before destruction (to test what follows CefShutdown()).
  void Shutdown();

 private:
  void Start(const Options& options);

  bool initialized_ = false;
  bool shut_down_ = false;
  bool owns_root_ = true;
  int exit_code_ = -1;
  std::string root_;
};

// Runs UI-thread work until |done| returns true or |timeout_ms| passes.
// Returns |done|'s last result. UI thread.
bool RunUntil(const std::function<bool()>& done, int timeout_ms = 5000);

// Runs UI-thread work that is due now or becomes due within |idle_ms|.
void RunPending(int idle_ms = 50);

}  // namespace cef_testing

#endif  // CEF_TESTING_RUNTIME_H_
