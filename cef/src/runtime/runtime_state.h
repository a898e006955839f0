// Process-wide state of the browser-process runtime, shared by the
// subsystems of cef/src: whether CefInitialize() has succeeded, whether
// CefShutdown() is running, and the tear-down hooks CefShutdown() runs.
#ifndef CEF_SRC_RUNTIME_RUNTIME_STATE_H_
#define CEF_SRC_RUNTIME_RUNTIME_STATE_H_
#pragma once

#include <functional>
#include <string>

#include "include/cef_app.h"

namespace cef_internal {

enum class RuntimePhase {
  kNotStarted,    // before CefInitialize()
  kInitializing,  // inside CefInitialize()
  kRunning,       // CefInitialize() succeeded; CefShutdown() not yet called
  kShuttingDown,  // inside CefShutdown()
  kShutDown,      // CefShutdown() has returned; no restart in this process
  kFailed,        // CefInitialize() returned false
};

// Any thread.
RuntimePhase GetRuntimePhase();

// True from the end of a successful CefInitialize() until CefShutdown()
// begins. Any thread.
bool IsRuntimeRunning();

// True while CefShutdown() runs and afterwards. Any thread.
bool IsRuntimeShuttingDown();

// The application given to CefInitialize(), or null. Any thread.
CefRefPtr<CefApp> GetApplication();

// The application's browser-process handler, or null. Any thread.
CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler();

// A copy of the settings CefInitialize() accepted (defaults when it has not
// run or the runtime has shut down). Any thread.
CefSettings GetSettings();

// Root cache path in effect (absolute; CefSettings.root_cache_path, or
// cache_path when that was empty). UTF-8.
std::string GetRootCachePath();

// A step of CefShutdown(). Hooks run on the UI thread in the reverse order
// of registration, while the IO thread still runs, so a hook may post work
// there and wait for it. Registration is dropped after CefShutdown().
void AddShutdownHook(const std::string& name, std::function<void()> hook);

// Counts objects that must be gone before CefShutdown() (open browsers,
// pending URL requests). CefShutdown() logs an error for each leftover
// count and tears down regardless, so that shutting down never hangs.
void AddLiveObjectCounter(const std::string& what, std::function<int()> counter);

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_RUNTIME_STATE_H_
