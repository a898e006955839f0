// The global (local-state) preference manager.
#ifndef CEF_SRC_RUNTIME_GLOBAL_PREFERENCES_H_
#define CEF_SRC_RUNTIME_GLOBAL_PREFERENCES_H_
#pragma once

namespace cef_internal {

// UI thread, inside CefInitialize(): makes the manager and lets the
// application register its global preferences.
void InitializeGlobalPreferences();

// UI thread, inside CefShutdown().
void ShutdownGlobalPreferences();

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_GLOBAL_PREFERENCES_H_
