#include "runtime/runtime_state.h"

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "runtime/runtime_state_internal.h"

namespace cef_internal {

namespace {

std::atomic<RuntimePhase> g_phase{RuntimePhase::kNotStarted};

// Guards everything below.
std::mutex g_mutex;
CefRefPtr<CefApp> g_app;
CefRefPtr<CefBrowserProcessHandler> g_handler;
CefSettings* g_settings = nullptr;
std::string g_root_cache_path;
std::vector<std::pair<std::string, std::function<void()>>> g_hooks;
std::vector<std::pair<std::string, std::function<int()>>> g_counters;

}  // namespace

RuntimePhase GetRuntimePhase() {
  return g_phase.load();
}

bool IsRuntimeRunning() {
  return g_phase.load() == RuntimePhase::kRunning;
}

bool IsRuntimeShuttingDown() {
  RuntimePhase phase = g_phase.load();
  return phase == RuntimePhase::kShuttingDown || phase == RuntimePhase::kShutDown;
}

CefRefPtr<CefApp> GetApplication() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_app;
}

CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_handler;
}

CefSettings GetSettings() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_settings ? CefSettings(*g_settings) : CefSettings();
}

std::string GetRootCachePath() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_root_cache_path;
}

void AddShutdownHook(const std::string& name, std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_hooks.emplace_back(name, std::move(hook));
}

void AddLiveObjectCounter(const std::string& what, std::function<int()> counter) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_counters.emplace_back(what, std::move(counter));
}

void SetRuntimePhase(RuntimePhase phase) {
  g_phase.store(phase);
}

void SetRuntimeObjects(CefRefPtr<CefApp> app,
                       CefRefPtr<CefBrowserProcessHandler> handler,
                       const CefSettings& settings,
                       const std::string& root_cache_path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_app = app;
  g_handler = handler;
  delete g_settings;
  g_settings = new CefSettings(settings);
  g_root_cache_path = root_cache_path;
}

void ClearRuntimeObjects() {
  CefRefPtr<CefApp> app;
  CefRefPtr<CefBrowserProcessHandler> handler;
  CefSettings* settings = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    app.swap(g_app);
    handler.swap(g_handler);
    std::swap(settings, g_settings);
    g_hooks.clear();
    g_counters.clear();
  }
  // The application's objects are released outside the lock: their
  // destructors may call back into the runtime.
  delete settings;
}

std::vector<std::pair<std::string, std::function<void()>>> TakeShutdownHooks() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<std::pair<std::string, std::function<void()>>> hooks;
  hooks.swap(g_hooks);
  return hooks;
}

std::vector<std::pair<std::string, int>> CountLiveObjects() {
  std::vector<std::pair<std::string, std::function<int()>>> counters;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    counters = g_counters;
  }
  std::vector<std::pair<std::string, int>> out;
  for (const auto& [what, counter] : counters) {
    out.emplace_back(what, counter());
  }
  return out;
}

}  // namespace cef_internal
