// The registry of game browsers: which browsers of the game context may
// exist, with the generation and site origin each was admitted with, and the
// dressing of their top-level windows.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <mutex>

#include "desktop/desktop.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "include/base/cef_callback.h"
#include "include/cef_browser.h"
#include "include/cef_request_context.h"
#include "include/wrapper/cef_closure_task.h"
#include "shell/simple_handler.h"

namespace kesta::desktop {

namespace {

constexpr int64_t kAttachDelayMs = 200;
constexpr UINT kUpdatesCommand = 336;
constexpr UINT_PTR kSubclassId = 1;

void showUpdateWindow() {
  if (updateWindow) {
    ShowWindow(updateWindow, SW_SHOWNORMAL);
    SetForegroundWindow(updateWindow);
  }
}

LRESULT CALLBACK GameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                DWORD_PTR data) {
  if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == kUpdatesCommand) {
    showUpdateWindow();
    return 0;
  }
  if (message == WM_NCDESTROY)
    RemoveWindowSubclass(window, GameWindowProc, id);
  return DefSubclassProc(window, message, wParam, lParam);
}

// Dresses a game browser's top-level window once it exists.
void attachWindow(CefRefPtr<CefBrowser> browser) {
  if (!running.load() || !browser->IsValid())
    return;
  HWND window = GetAncestor(browser->GetHost()->GetWindowHandle(), GA_ROOT);
  if (!window)
    return;
  if (appIcon) {
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon));
  }
  SetWindowTextW(window, L"Ostrel");
  HMENU menu = GetSystemMenu(window, FALSE);
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kUpdatesCommand, wide("资源与更新…").c_str());
  if (!SetWindowSubclass(window, GameWindowProc, kSubclassId, 0))
    std::fprintf(stderr, "Cannot attach update menu: %lu\n", GetLastError());
}

}  // namespace

}  // namespace kesta::desktop

using namespace kesta::desktop;

void DesktopBrowserCreated(CefRefPtr<CefBrowser> browser) {
  if (!gameContext || !browser->GetHost()->GetRequestContext()->IsSame(gameContext))
    return;

  std::unique_lock lock(browserMutex);
  const bool refused = !resourceLaunch.admitted ||
                       (gameWindowCreated && (resourceLaunch.updateGate || resourceLaunch.NeedsReentry()));
  if (refused) {
    lock.unlock();
    browser->GetHost()->CloseBrowser(true);
    showUpdateWindow();
    return;
  }
  gameWindowCreated = true;
  gameBrowsers.emplace(browser->GetIdentifier(), std::make_pair(generation, origin));
  lock.unlock();

  CefPostDelayedTask(TID_UI, base::BindOnce(&attachWindow, browser), kAttachDelayMs);
}

void DesktopBrowserClosed(CefRefPtr<CefBrowser> browser) {
  std::lock_guard lock(browserMutex);
  gameBrowsers.erase(browser->GetIdentifier());
}

namespace {

// The registered pair for a browser, or null when it is not a game browser.
template <typename Read>
auto lookup(CefRefPtr<CefBrowser> browser, Read read) -> decltype(read(gameBrowsers.begin()->second)) {
  using Result = decltype(read(gameBrowsers.begin()->second));
  if (!browser)
    return Result();
  std::lock_guard lock(browserMutex);
  auto entry = gameBrowsers.find(browser->GetIdentifier());
  return entry == gameBrowsers.end() ? Result() : read(entry->second);
}

}  // namespace

bool DesktopIsGame(CefRefPtr<CefBrowser> browser) {
  return lookup(browser, [](const auto&) { return true; });
}

std::string DesktopBrowserGeneration(CefRefPtr<CefBrowser> browser) {
  return lookup(browser, [](const auto& entry) { return entry.first; });
}

std::string DesktopBrowserOrigin(CefRefPtr<CefBrowser> browser) {
  return lookup(browser, [](const auto& entry) { return entry.second; });
}

bool DesktopAllowGamePopup() {
  std::lock_guard lock(browserMutex);
  return resourceLaunch.admitted && !resourceLaunch.updateGate && !resourceLaunch.NeedsReentry();
}

bool DesktopNeedsReentry() {
  std::lock_guard lock(browserMutex);
  return resourceLaunch.NeedsReentry();
}

void DesktopRequestReentry(bool restart) {
  if (!running.load())
    return;
  restartHost = restart;
  if (SimpleHandler* handler = SimpleHandler::GetInstance())
    handler->CloseAllBrowsers(true);
}
