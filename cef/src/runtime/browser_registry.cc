#include "runtime/browser_registry.h"

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>

#include "include/base/cef_logging.h"
#include "runtime/browser_host_impl.h"
#include "runtime/browser_window_win.h"
#include "runtime/runtime_state.h"
#include "runtime/views_window_impl.h"

namespace cef_internal {
namespace {

std::atomic<int> g_next_browser_id{1};
std::atomic<int> g_next_popup_id{1};
std::atomic<int> g_browser_objects{0};

// Guards g_browsers; never held while calling out.
std::mutex g_browsers_mutex;
std::map<int, CefRefPtr<BrowserHostImpl>>& Browsers() {
  static auto* browsers = new std::map<int, CefRefPtr<BrowserHostImpl>>();
  return *browsers;
}

bool g_hooks_registered = false;  // UI thread

// Closes whatever the application left open, without asking anyone: a
// shutdown must not wait for handlers that will never answer.
void TearDownLeftovers() {
  g_hooks_registered = false;
  int windows = LiveViewsWindowCount();
  auto browsers = LiveBrowsers();
  if (windows || !browsers.empty()) {
    LOG(ERROR) << "CefShutdown with " << browsers.size() << " browser(s) and " << windows
               << " Views window(s) still open";
  }
  DestroyAllViewsWindows();
  for (auto& browser : LiveBrowsers()) {
    HWND top = browser->frame_window() ? browser->frame_window() : browser->host_window();
    if (top && IsWindow(top))
      DestroyWindow(top);
    // A host window that is already gone leaves nothing to wait for.
    if (browser->IsValid())
      browser->OnHostWindowDestroyed();
  }
  DestroyParkingWindow();
}

}  // namespace

int NextBrowserId() {
  return g_next_browser_id++;
}
int NextPopupId() {
  return g_next_popup_id++;
}

void RegisterBrowser(BrowserHostImpl* browser) {
  std::lock_guard<std::mutex> lock(g_browsers_mutex);
  Browsers()[browser->GetIdentifier()] = browser;
}

void UnregisterBrowser(int id) {
  CefRefPtr<BrowserHostImpl> dropped;  // released outside the lock
  {
    std::lock_guard<std::mutex> lock(g_browsers_mutex);
    auto it = Browsers().find(id);
    if (it == Browsers().end())
      return;
    dropped = it->second;
    Browsers().erase(it);
  }
}

CefRefPtr<BrowserHostImpl> FindBrowser(int id) {
  std::lock_guard<std::mutex> lock(g_browsers_mutex);
  auto it = Browsers().find(id);
  return it == Browsers().end() ? nullptr : it->second;
}

std::vector<CefRefPtr<BrowserHostImpl>> LiveBrowsers() {
  std::lock_guard<std::mutex> lock(g_browsers_mutex);
  std::vector<CefRefPtr<BrowserHostImpl>> out;
  for (auto& [id, browser] : Browsers())
    out.push_back(browser);
  return out;
}

int LiveBrowserCount() {
  std::lock_guard<std::mutex> lock(g_browsers_mutex);
  return static_cast<int>(Browsers().size());
}

int BrowserObjectCount() {
  return g_browser_objects.load();
}
void CountBrowserObject(int delta) {
  g_browser_objects += delta;
}

void EnsureBrowserShutdownHooks() {
  if (g_hooks_registered)
    return;
  g_hooks_registered = true;
  AddShutdownHook("browsers", &TearDownLeftovers);
  AddLiveObjectCounter("browser", [] { return LiveBrowserCount(); });
  AddLiveObjectCounter("Views window", [] { return LiveViewsWindowCount(); });
}

}  // namespace cef_internal
