#include "testing/runtime.h"

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <system_error>

#include "core/message_loop.h"
#include "testing/preferences.h"

namespace cef_testing {

namespace {

std::string MakeTempRoot() {
  static std::atomic<int> counter{0};
  std::error_code error;
  std::filesystem::path base = std::filesystem::temp_directory_path(error);
  std::filesystem::path dir =
      base / ("kesta-cef-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter));
  std::filesystem::remove_all(dir, error);
  std::filesystem::create_directories(dir, error);
  std::u16string wide = dir.u16string();
  for (char16_t& c : wide) {
    if (c == u'/') {
      c = u'\\';
    }
  }
  return CefString(wide).ToString();
}

void RemoveTempRoot(const std::string& root) {
  const std::filesystem::path path = std::filesystem::u8path(root);
  // A process that has just ended may hold a file in it a moment longer.
  for (int attempt = 0; attempt < 50; ++attempt) {
    std::error_code error;
    std::filesystem::remove_all(path, error);
    if (!std::filesystem::exists(path, error)) {
      return;
    }
    Sleep(100);
  }
}

}  // namespace

ScopedRuntime::ScopedRuntime() {
  Start(Options());
}

ScopedRuntime::ScopedRuntime(CefRefPtr<CefApp> app) {
  Options options;
  options.app = app;
  Start(options);
}

ScopedRuntime::ScopedRuntime(const Options& options) {
  Start(options);
}

void ScopedRuntime::Start(const Options& options) {
  owns_root_ = options.root.empty();
  root_ = owns_root_ ? MakeTempRoot() : options.root;
  CefSettings settings;
  CefString(&settings.root_cache_path) = root_;
  if (!options.in_memory) {
    CefString(&settings.cache_path) = cache_path();
  }
  CefString(&settings.log_file) = root_ + "\\cef.log";
  if (options.edit_settings) {
    options.edit_settings(settings);
  }
  CefMainArgs args(GetModuleHandleW(nullptr));
  initialized_ = CefInitialize(args, settings, options.app, nullptr);
  exit_code_ = CefGetExitCode();
}

ScopedRuntime::~ScopedRuntime() {
  Shutdown();
  if (owns_root_) {
    RemoveTempRoot(root_);
  }
  ResetPreferenceFaults();
}

std::string ScopedRuntime::cache_path() const {
  return root_ + "\\Default";
}

void ScopedRuntime::Shutdown() {
  if (initialized_ && !shut_down_) {
    shut_down_ = true;
    CefShutdown();
  }
}

bool RunUntil(const std::function<bool()>& done, int timeout_ms) {
  return cef_internal::RunUIUntil(done, timeout_ms);
}

void RunPending(int idle_ms) {
  cef_internal::RunUIUntilIdle(idle_ms);
}

}  // namespace cef_testing
