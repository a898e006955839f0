// Definitions of the desktop state, DesktopStop and the shell's accessors.
#include "desktop/desktop_state.h"

#include "desktop/desktop.h"
#include "include/cef_request_context.h"
#include "include/cef_values.h"

namespace kesta::desktop {

// Declaration order is construction order; exit destroys them in reverse.
std::string accessRootSPKI;
std::vector<std::string> migrationSources;
std::string dataDir;
std::string origin;
std::string localOrigin;
std::string token;
std::string generation;
std::string initialState;
std::map<std::string, std::map<std::string, std::string>> poolBindings;
std::string proxyError;
constinit BrowserNetworkPolicy networkPolicy;
CefRefPtr<CefDictionaryValue> desiredProxyState;
constinit ResourceLaunch resourceLaunch;
std::vector<std::string> restartArguments;
std::string restartExecutable;
std::map<int, std::pair<std::string, std::string>> gameBrowsers;
CefRefPtr<CefRequestContext> gameContext;
CefRefPtr<CefRequestContext> webContext;
CefRefPtr<CefRequestContext> localContext;
std::thread requestThread;
CefRefPtr<CefDictionaryValue> updateState;
std::thread updateThread;
std::string appDirectory;

constinit double revision = -1.0;
constinit std::atomic<bool> running{true};
constinit HICON appIcon = nullptr;
constinit HWND updateWindow = nullptr;
constinit HWND detailsWindow = nullptr;
constinit HWND acceptButton = nullptr;
constinit HWND deferButton = nullptr;
constinit bool restartHost = false;
constinit double activation = 0.0;
constinit HFONT updateFont = nullptr;
constinit bool webContextReady = false;
constinit PlainMutex browserMutex;
constinit bool gameWindowCreated = false;
constinit double after = 0.0;
constinit double promptedRevision = 0.0;
constinit double promptedRefreshRevision = 0.0;

constinit PlainMutex localContextMutex;
constinit ModuleFileNameFunction moduleFileName = &GetModuleFileNameW;

void setLocalContext(CefRefPtr<CefRequestContext> context) {
  {
    std::lock_guard lock(localContextMutex);
    localContext.swap(context);
  }
  // `context` now holds the former context; it is released here, unlocked.
}

CefRefPtr<CefRequestContext> currentLocalContext() {
  std::lock_guard lock(localContextMutex);
  return localContext;
}

namespace {

// Sets `variable` to null first, then drops the reference it held, so no one
// reading the variable meanwhile sees an object being destroyed.
template <typename T>
void dropReference(CefRefPtr<T>& variable) {
  CefRefPtr<T> former;
  former.swap(variable);
}

}  // namespace

}  // namespace kesta::desktop

using namespace kesta::desktop;

void DesktopStop() {
  // Workers test `running` before posting to the UI thread; after this they
  // post nothing, and tasks already posted return at once.
  running.exchange(false);
  if (requestThread.joinable())
    requestThread.join();
  if (updateThread.joinable())
    updateThread.join();
  if (updateWindow) {
    DestroyWindow(updateWindow);  // takes its controls with it
    updateWindow = nullptr;
  }
  if (updateFont) {
    DeleteObject(updateFont);
    updateFont = nullptr;
  }
  if (appIcon) {
    DestroyIcon(appIcon);
    appIcon = nullptr;
  }
  dropReference(updateState);
  dropReference(desiredProxyState);
  webContextReady = false;
  dropReference(gameContext);
  dropReference(webContext);
  setLocalContext(nullptr);
}

bool DesktopStartupNetworkEnforced() {
  return networkPolicy.startupNetworkEnforced;
}

std::string DesktopOrigin() {
  std::lock_guard lock(browserMutex);  // guards origin
  return origin;
}

CefRefPtr<CefRequestContext> DesktopGameContext() {
  return gameContext;
}

CefRefPtr<CefRequestContext> DesktopWebContext() {
  return webContext;
}
