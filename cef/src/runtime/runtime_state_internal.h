// Writers of the runtime state, for the process entry points only.
#ifndef CEF_SRC_RUNTIME_RUNTIME_STATE_INTERNAL_H_
#define CEF_SRC_RUNTIME_RUNTIME_STATE_INTERNAL_H_
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/runtime_state.h"

namespace cef_internal {

void SetRuntimePhase(RuntimePhase phase);

void SetRuntimeObjects(CefRefPtr<CefApp> app,
                       CefRefPtr<CefBrowserProcessHandler> handler,
                       const CefSettings& settings,
                       const std::string& root_cache_path);
void ClearRuntimeObjects();

std::vector<std::pair<std::string, std::function<void()>>> TakeShutdownHooks();
std::vector<std::pair<std::string, int>> CountLiveObjects();

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_RUNTIME_STATE_INTERNAL_H_
