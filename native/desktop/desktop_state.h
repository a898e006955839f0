// The desktop layer's process-wide state. Every variable lives as long as
// the process; DesktopStop releases what they hold. Strings are UTF-8.
//
// Guards:
//  - start-up values (accessRootSPKI, migrationSources, dataDir, localOrigin,
//    token, initialState, restartArguments, restartExecutable, appDirectory)
//    are written only by DesktopPrepare, before CEF and any other thread of
//    the client exist, and are read without a lock afterwards;
//  - browserMutex guards origin (after start-up), generation, poolBindings,
//    gameBrowsers, gameWindowCreated and resourceLaunch, which the IO thread
//    reads. Held for copies and lookups only; never together with another
//    lock, never across a wait for another thread;
//  - localContextMutex guards localContext alone (see below);
//  - everything else is touched by the UI thread only, except `running`.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "include/internal/cef_ptr.h"
#include "policy/browser_network_policy.h"
#include "policy/plain_mutex.h"
#include "policy/resource_launch.h"

class CefDictionaryValue;
class CefRequestContext;

namespace kesta::desktop {

// Variables destroyed at exit, in declaration order (reversed at exit).
// All but the two policy objects are constructed at load in that order; the
// policy objects are constant-initialised (constinit in state.cc).
extern std::string accessRootSPKI;
extern std::vector<std::string> migrationSources;
// The data directory, '/' separators as built.
extern std::string dataDir;
// The site origin: the loopback origin or the service's "siteOrigin".
extern std::string origin;
// "http://127.0.0.1:" and the bootstrap port.
extern std::string localOrigin;
// The bearer token.
extern std::string token;
extern std::string generation;
// Raw body of the "/api/info" answer accepted at start-up.
extern std::string initialState;
// generation -> (virtual path or absolute URL -> path on the service)
extern std::map<std::string, std::map<std::string, std::string>> poolBindings;
extern std::string proxyError;
extern BrowserNetworkPolicy networkPolicy;
extern CefRefPtr<CefDictionaryValue> desiredProxyState;
extern ResourceLaunch resourceLaunch;
extern std::vector<std::string> restartArguments;
extern std::string restartExecutable;
// browser identifier -> (generation, site origin)
extern std::map<int, std::pair<std::string, std::string>> gameBrowsers;
extern CefRefPtr<CefRequestContext> gameContext;
extern CefRefPtr<CefRequestContext> webContext;
// Set on the UI thread, read on the IO thread by the local resource handler:
// go through setLocalContext / currentLocalContext, never directly.
extern CefRefPtr<CefRequestContext> localContext;
extern std::thread requestThread;
extern CefRefPtr<CefDictionaryValue> updateState;
extern std::thread updateThread;
extern std::string appDirectory;

// Constant-initialised variables.
extern double revision;
extern std::atomic<bool> running;
extern HICON appIcon;
extern HWND updateWindow;
extern HWND detailsWindow;
extern HWND acceptButton;
extern HWND deferButton;
extern bool restartHost;
extern double activation;
extern HFONT updateFont;
extern bool webContextReady;
extern PlainMutex browserMutex;
extern bool gameWindowCreated;
extern double after;
extern double promptedRevision;
extern double promptedRefreshRevision;

// localContext is released by DesktopStop on the UI thread while the IO
// thread may be starting a local resource request. Both sides go through
// this lock, held only for the copy or the swap: a reference is therefore
// taken either before the release begins or not at all, and the context's
// last reference is dropped outside the lock.
extern PlainMutex localContextMutex;
// UI thread: replaces the local context; the former one is released after
// the lock is let go.
void setLocalContext(CefRefPtr<CefRequestContext> context);
// Any thread: a new reference to the local context, null before it is
// created and after DesktopStop.
CefRefPtr<CefRequestContext> currentLocalContext();

// Test seam: how DesktopPrepare asks for the executable's path
// (GetModuleFileNameW by default).
using ModuleFileNameFunction = DWORD(WINAPI*)(HMODULE module, LPWSTR buffer, DWORD size);
extern ModuleFileNameFunction moduleFileName;

}  // namespace kesta::desktop
