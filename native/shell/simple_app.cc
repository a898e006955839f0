#include "shell/simple_app.h"

#include <windows.h>

#include <string>

#include "desktop/desktop.h"
#include "include/base/cef_callback.h"
#include "include/cef_browser.h"
#include "include/cef_command_line.h"
#include "include/views/cef_browser_view.h"
#include "include/views/cef_window.h"
#include "include/wrapper/cef_helpers.h"
#include "private_origin.h"
#include "shell/simple_handler.h"

namespace {

cef_runtime_style_t RuntimeStyle(bool alloy) {
  return alloy ? CEF_RUNTIME_STYLE_ALLOY : CEF_RUNTIME_STYLE_CHROME;
}

// The browser view's behaviour: its runtime style, and a window of its own
// for every popup (popup views get this same delegate).
class SimpleBrowserViewDelegate : public CefBrowserViewDelegate {
 public:
  explicit SimpleBrowserViewDelegate(cef_runtime_style_t runtime_style) : runtime_style_(runtime_style) {}

  bool OnPopupBrowserViewCreated(CefRefPtr<CefBrowserView> browser_view,
                                 CefRefPtr<CefBrowserView> popup_browser_view,
                                 bool is_devtools) override;

  cef_runtime_style_t GetBrowserRuntimeStyle() override { return runtime_style_; }

 private:
  const cef_runtime_style_t runtime_style_;

  IMPLEMENT_REFCOUNTING(SimpleBrowserViewDelegate);
};

// A top-level window that holds one browser view.
class SimpleWindowDelegate : public CefWindowDelegate {
 public:
  SimpleWindowDelegate(CefRefPtr<CefBrowserView> browser_view,
                       cef_runtime_style_t runtime_style,
                       cef_show_state_t initial_show_state)
      : browser_view_(browser_view), runtime_style_(runtime_style), initial_show_state_(initial_show_state) {}

  CefSize GetPreferredSize(CefRefPtr<CefView> view) override { return CefSize(1280, 900); }

  void OnWindowCreated(CefRefPtr<CefWindow> window) override {
    window->AddChildView(browser_view_);
    if (initial_show_state_ != CEF_SHOW_STATE_HIDDEN)
      window->Show();
  }

  void OnWindowDestroyed(CefRefPtr<CefWindow> window) override { browser_view_ = nullptr; }

  cef_show_state_t GetInitialShowState(CefRefPtr<CefWindow> window) override { return initial_show_state_; }

  bool CanClose(CefRefPtr<CefWindow> window) override {
    if (!browser_view_)
      return true;
    CefRefPtr<CefBrowser> browser = browser_view_->GetBrowser();
    if (!browser)
      return true;
    // The window closes only when its browser agrees.
    return browser->GetHost()->TryCloseBrowser();
  }

  cef_runtime_style_t GetWindowRuntimeStyle() override { return runtime_style_; }

 private:
  CefRefPtr<CefBrowserView> browser_view_;
  const cef_runtime_style_t runtime_style_;
  const cef_show_state_t initial_show_state_;

  IMPLEMENT_REFCOUNTING(SimpleWindowDelegate);
};

bool SimpleBrowserViewDelegate::OnPopupBrowserViewCreated(CefRefPtr<CefBrowserView> browser_view,
                                                          CefRefPtr<CefBrowserView> popup_browser_view,
                                                          bool is_devtools) {
  CefWindow::CreateTopLevelWindow(
      new SimpleWindowDelegate(popup_browser_view, runtime_style_, CEF_SHOW_STATE_NORMAL));
  return true;
}

cef_show_state_t ShowStateFromSwitch(CefRefPtr<CefCommandLine> command_line) {
  const std::string value = command_line->GetSwitchValue("initial-show-state").ToString();
  if (value == "minimized")
    return CEF_SHOW_STATE_MINIMIZED;
  if (value == "maximized")
    return CEF_SHOW_STATE_MAXIMIZED;
  return CEF_SHOW_STATE_NORMAL;
}

}  // namespace

SimpleApp::SimpleApp() = default;

void SimpleApp::OnBeforeCommandLineProcessing(const CefString& process_type,
                                              CefRefPtr<CefCommandLine> command_line) {
  if (process_type.empty()) {
    command_line->AppendSwitch("disable-chrome-login-prompt");
    const std::string spki = DesktopAccessSPKI();
    if (!spki.empty()) {
      command_line->AppendSwitchWithValue("ignore-certificate-errors-spki-list", spki);
      command_line->AppendSwitchWithValue("user-data-dir", DesktopDataDir() + "/browser");
    }
    if (DesktopStartupNetworkEnforced()) {
      // QUIC would leave the browser beside the proxy.
      command_line->RemoveSwitch("enable-quic");
      command_line->RemoveSwitch("origin-to-force-quic-on");
      command_line->AppendSwitch("disable-quic");
    }
    command_line->AppendSwitchWithValue("profile-directory", "Default");
  }
  command_line->AppendSwitchWithValue("autoplay-policy", "no-user-gesture-required");
  if (command_line->HasSwitch("js-heap-mb")) {
    command_line->AppendSwitchWithValue(
        "js-flags", "--max-old-space-size=" + command_line->GetSwitchValue("js-heap-mb").ToString());
  }
}

void SimpleApp::OnContextInitialized() {
  CEF_REQUIRE_UI_THREAD();
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::GetGlobalCommandLine();
  const bool is_alloy_style = command_line->HasSwitch("alloy-style");

  DesktopContextInitialized();

  CefRefPtr<SimpleHandler> handler(new SimpleHandler(is_alloy_style));
  handler->StartDesktop(base::BindOnce(&SimpleApp::CreateGameWindow, this, handler));
}

CefRefPtr<CefClient> SimpleApp::GetDefaultClient() {
  return SimpleHandler::GetInstance();
}

bool SimpleApp::OnAlreadyRunningAppRelaunch(CefRefPtr<CefCommandLine> command_line,
                                            const CefString& current_directory) {
  SimpleHandler* handler = SimpleHandler::GetInstance();
  if (handler && !handler->IsClosing())
    handler->ShowMainWindow();
  return true;
}

void SimpleApp::CreateGameWindow(scoped_refptr<SimpleHandler> handler) {
  CEF_REQUIRE_UI_THREAD();
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::GetGlobalCommandLine();
  const cef_runtime_style_t runtime_style = RuntimeStyle(command_line->HasSwitch("alloy-style"));
  CefBrowserSettings browser_settings;

  std::string url = command_line->GetSwitchValue("url").ToString();
  if (url.empty()) {
    const std::string origin = DesktopOrigin();
    url = origin + (origin == kesta::kPrivateOrigin ? "/__client/start" : "/");
  }

  if (command_line->HasSwitch("use-native")) {
    CefWindowInfo window_info;
    window_info.SetAsPopup(nullptr, "cefsimple");
    window_info.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE;
    window_info.runtime_style = runtime_style;
    CefBrowserHost::CreateBrowser(window_info, handler, url, browser_settings, nullptr, DesktopGameContext());
    return;
  }

  CefRefPtr<CefBrowserView> browser_view =
      CefBrowserView::CreateBrowserView(handler, url, browser_settings, nullptr, DesktopGameContext(),
                                        new SimpleBrowserViewDelegate(runtime_style));
  CefWindow::CreateTopLevelWindow(
      new SimpleWindowDelegate(browser_view, runtime_style, ShowStateFromSwitch(command_line)));
}
