// The live browsers of the process, by identifier, and the hooks that let
// CefShutdown() find and tear down what the application left open.
#ifndef CEF_SRC_RUNTIME_BROWSER_REGISTRY_H_
#define CEF_SRC_RUNTIME_BROWSER_REGISTRY_H_
#pragma once

#include <vector>

#include "include/internal/cef_ptr.h"

namespace cef_internal {

class BrowserHostImpl;

// Any thread.
int NextBrowserId();
int NextPopupId();
void RegisterBrowser(BrowserHostImpl* browser);
void UnregisterBrowser(int id);
CefRefPtr<BrowserHostImpl> FindBrowser(int id);
std::vector<CefRefPtr<BrowserHostImpl>> LiveBrowsers();
int LiveBrowserCount();

// BrowserHostImpl objects not yet deleted, registered or not (a client
// holding a reference after OnBeforeClose keeps one alive).
int BrowserObjectCount();
void CountBrowserObject(int delta);

// UI thread. Registers, once per runtime run, the shutdown step that closes
// leftover browsers and Views windows and the live-object counters.
void EnsureBrowserShutdownHooks();

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_BROWSER_REGISTRY_H_
