// Browsers in Views windows: preferred size and show state, the delegate
// callbacks around the browser's life span, popups and leaks.
#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include "browser_test_support.h"
#include "include/views/cef_browser_view.h"
#include "include/views/cef_window.h"

namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new BrowserRuntimeEnvironment());

// A window holding one browser view, as the client's window delegate does.
class TestWindowDelegate : public CefWindowDelegate {
 public:
  TestWindowDelegate(CefRefPtr<CefBrowserView> view,
                     cef_runtime_style_t style,
                     cef_show_state_t state,
                     RecordingClient* log)
      : view_(view), style_(style), state_(state), log_(log) {}

  CefSize GetPreferredSize(CefRefPtr<CefView> view) override { return CefSize(1280, 900); }
  void OnWindowCreated(CefRefPtr<CefWindow> window) override {
    log_->Record("WindowCreated");
    window->AddChildView(view_);
    window->Show();
  }
  void OnWindowClosing(CefRefPtr<CefWindow> window) override { log_->Record("WindowClosing"); }
  void OnWindowDestroyed(CefRefPtr<CefWindow> window) override {
    log_->Record("WindowDestroyed");
    view_ = nullptr;
  }
  cef_show_state_t GetInitialShowState(CefRefPtr<CefWindow> window) override { return state_; }
  bool CanClose(CefRefPtr<CefWindow> window) override {
    bool answer = true;
    if (view_ && view_->GetBrowser())
      answer = view_->GetBrowser()->GetHost()->TryCloseBrowser();
    log_->Record(std::string("CanClose ") + (answer ? "1" : "0"));
    return answer;
  }
  cef_runtime_style_t GetWindowRuntimeStyle() override { return style_; }

 private:
  CefRefPtr<CefBrowserView> view_;
  const cef_runtime_style_t style_;
  const cef_show_state_t state_;
  RecordingClient* log_;
  IMPLEMENT_REFCOUNTING(TestWindowDelegate);
};

class TestViewDelegate : public CefBrowserViewDelegate {
 public:
  TestViewDelegate(cef_runtime_style_t style, RecordingClient* log) : style_(style), log_(log) {}

  void OnBrowserCreated(CefRefPtr<CefBrowserView> view, CefRefPtr<CefBrowser> browser) override {
    log_->Record("BrowserCreated " + std::to_string(browser->GetIdentifier()));
  }
  void OnBrowserDestroyed(CefRefPtr<CefBrowserView> view, CefRefPtr<CefBrowser> browser) override {
    log_->Record("BrowserDestroyed " + std::to_string(browser->GetIdentifier()));
  }
  bool OnPopupBrowserViewCreated(CefRefPtr<CefBrowserView> view,
                                 CefRefPtr<CefBrowserView> popup,
                                 bool is_devtools) override {
    log_->Record("PopupViewCreated");
    if (!place_popups)
      return false;
    CefWindow::CreateTopLevelWindow(new TestWindowDelegate(popup, style_, CEF_SHOW_STATE_NORMAL, log_));
    return true;
  }
  cef_runtime_style_t GetBrowserRuntimeStyle() override { return style_; }

  bool place_popups = true;

 private:
  const cef_runtime_style_t style_;
  RecordingClient* log_;
  IMPLEMENT_REFCOUNTING(TestViewDelegate);
};

class ViewsBrowserTest : public BrowserTest {
 protected:
  // A Views window with one browser view; waits for the first load.
  CefRefPtr<CefBrowserView> Open(const std::string& url,
                                 cef_show_state_t state = CEF_SHOW_STATE_NORMAL,
                                 cef_runtime_style_t style = CEF_RUNTIME_STYLE_ALLOY) {
    view_delegate_ = new TestViewDelegate(style, client_.get());
    CefRefPtr<CefBrowserView> view = CefBrowserView::CreateBrowserView(client_.get(), url, CefBrowserSettings(),
                                                                       nullptr, nullptr, view_delegate_.get());
    EXPECT_TRUE(view);
    size_t loaded = client_->Matching("Loaded").size();
    CefWindow::CreateTopLevelWindow(new TestWindowDelegate(view, style, state, client_.get()));
    WaitForPrefix("Loaded", loaded + 1);
    return view;
  }

  void TearDown() override {
    view_delegate_ = nullptr;
    BrowserTest::TearDown();
  }

  CefRefPtr<TestViewDelegate> view_delegate_;
};

TEST_F(ViewsBrowserTest, WindowTakesThePreferredSizeAndInitialShowState) {
  struct Case {
    cef_show_state_t state;
    bool maximized;
    bool minimized;
  } cases[] = {{CEF_SHOW_STATE_NORMAL, false, false},
               {CEF_SHOW_STATE_MAXIMIZED, true, false},
               {CEF_SHOW_STATE_MINIMIZED, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    CefRefPtr<CefBrowserView> view = Open("data:text/html,x", c.state);
    CefRefPtr<CefWindow> window = view->GetWindow();
    ASSERT_TRUE(window);
    HWND hwnd = window->GetWindowHandle();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(window->IsMaximized(), c.maximized);
    EXPECT_EQ(window->IsMinimized(), c.minimized);
    EXPECT_EQ(IsZoomed(hwnd) != FALSE, c.maximized);
    EXPECT_EQ(IsIconic(hwnd) != FALSE, c.minimized);
    if (c.state == CEF_SHOW_STATE_NORMAL) {
      RECT rc;
      GetClientRect(hwnd, &rc);
      EXPECT_EQ(rc.right - rc.left, 1280);
      EXPECT_EQ(rc.bottom - rc.top, 900);
      // The browser fills the window.
      RECT host;
      GetClientRect(FindWindowExW(hwnd, nullptr, L"CefBrowserWindow", nullptr), &host);
      EXPECT_EQ(host.right, 1280);
      EXPECT_EQ(host.bottom, 900);
    }
    window->Close();
    cef_testing::RunUntil([] { return cef_testing::OpenViewsWindowCount() == 0; });
  }
}

TEST_F(ViewsBrowserTest, BrowserViewLifeSpanFromWindowCreationToDestruction) {
  const std::string url = "data:text/html,<title>Game</title>";
  CefRefPtr<CefBrowserView> view = Open(url);
  CefRefPtr<CefBrowser> browser = view->GetBrowser();
  ASSERT_TRUE(browser);
  const std::string id = Id(browser);
  EXPECT_EQ(client_->events,
            (std::vector<std::string>{"WindowCreated", "AfterCreated " + id, "BrowserCreated " + id, "Loading",
                                      "BeforeBrowse main " + url + " redirect=0", "LoadStart main " + url,
                                      "TitleChange Game", "LoadEnd main 200", "Loaded"}));

  CefRefPtr<CefWindow> window = view->GetWindow();
  ASSERT_TRUE(window);
  EXPECT_TRUE(CefBrowserView::GetForBrowser(browser)->IsSame(view));
  EXPECT_TRUE(browser->GetHost()->HasView());
  EXPECT_EQ(browser->GetHost()->GetRuntimeStyle(), CEF_RUNTIME_STYLE_ALLOY);
  EXPECT_EQ(view->GetRuntimeStyle(), CEF_RUNTIME_STYLE_ALLOY);
  HWND top = window->GetWindowHandle();
  // A Views-hosted browser's handle is its top-level window; the browser's
  // own window is a child of it.
  EXPECT_EQ(browser->GetHost()->GetWindowHandle(), top);
  EXPECT_TRUE(FindWindowExW(top, nullptr, L"CefBrowserWindow", nullptr));
  window->SetTitle("Ostrel");
  EXPECT_EQ(WindowText(top), L"Ostrel");
  EXPECT_EQ(window->GetTitle().ToString(), "Ostrel");
  window = nullptr;

  // The close box: the window asks the browser, the browser closes through
  // DoClose and asks the window again.
  client_->events.clear();
  cef_testing::PressCloseBox(browser);
  ASSERT_TRUE(WaitFor("WindowDestroyed"));
  EXPECT_EQ(client_->events,
            (std::vector<std::string>{"CanClose 0", "DoClose " + id, "CanClose 1", "WindowClosing",
                                      "BrowserDestroyed " + id, "BeforeClose " + id, "WindowDestroyed"}));
  EXPECT_FALSE(IsWindow(top));
  EXPECT_FALSE(view->GetBrowser());
  EXPECT_FALSE(CefBrowserView::GetForBrowser(browser));
}

TEST_F(ViewsBrowserTest, GameWindowDressingWorksOnTheViewsWindow) {
  CefRefPtr<CefBrowserView> view = Open("data:text/html,x");
  CefRefPtr<CefBrowser> browser = view->GetBrowser();
  ASSERT_TRUE(browser);
  HWND top = GetAncestor(browser->GetHost()->GetWindowHandle(), GA_ROOT);
  HICON icon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  SendMessageW(top, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(top, WM_GETICON, ICON_SMALL, 0)), icon);
  HMENU menu = GetSystemMenu(top, FALSE);
  ASSERT_TRUE(menu);
  EXPECT_TRUE(AppendMenuW(menu, MF_SEPARATOR, 0, nullptr));
  EXPECT_TRUE(AppendMenuW(menu, MF_STRING, 0x150, L"item"));

  static int commands = 0;
  static int nc_destroys = 0;
  commands = nc_destroys = 0;
  SUBCLASSPROC proc = [](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR) -> LRESULT {
    if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == 0x150) {
      ++commands;
      return 0;
    }
    if (msg == WM_NCDESTROY) {
      ++nc_destroys;
      RemoveWindowSubclass(hwnd, reinterpret_cast<SUBCLASSPROC>(GetPropW(hwnd, L"test.proc")), id);
    }
    return DefSubclassProc(hwnd, msg, wp, lp);
  };
  SetPropW(top, L"test.proc", reinterpret_cast<HANDLE>(proc));
  ASSERT_TRUE(SetWindowSubclass(top, proc, 1, 0));
  SendMessageW(top, WM_SYSCOMMAND, 0x15F, 0);
  EXPECT_EQ(commands, 1);
  // Other system commands still reach the window: SC_CLOSE closes it.
  cef_testing::PressCloseBox(top);
  ASSERT_TRUE(WaitFor("WindowDestroyed"));
  EXPECT_EQ(nc_destroys, 1);
}

TEST_F(ViewsBrowserTest, WindowStaysWhileTheBrowserDeclinesToClose) {
  CefRefPtr<CefBrowserView> view = Open("data:text/html,x");
  CefRefPtr<CefBrowser> browser = view->GetBrowser();
  ASSERT_TRUE(browser);
  cef_testing::SetBeforeUnload(browser, true, "Stay?", false);
  HWND top = view->GetWindow()->GetWindowHandle();
  cef_testing::PressCloseBox(top);
  cef_testing::WaitForUIIdle();
  EXPECT_TRUE(IsWindow(top));
  EXPECT_TRUE(browser->IsValid());

  cef_testing::SetBeforeUnload(browser, false);
  cef_testing::PressCloseBox(top);
  ASSERT_TRUE(WaitFor("WindowDestroyed"));
  EXPECT_FALSE(browser->IsValid());
}

TEST_F(ViewsBrowserTest, PopupGetsAWindowOfItsOwnWithTheOpenersStyle) {
  CefRefPtr<CefBrowserView> view = Open("data:text/html,opener");
  CefRefPtr<CefBrowser> opener = view->GetBrowser();
  ASSERT_TRUE(opener);
  client_->events.clear();
  cef_testing::PopupResult popup =
      cef_testing::OpenPopup(opener->GetMainFrame(), "data:text/html,<title>Popup</title>");
  ASSERT_TRUE(popup.browser);
  const std::string id = Id(popup.browser);
  ASSERT_TRUE(WaitFor("TitleChange Popup"));
  std::vector<std::string> start(client_->events.begin(), client_->events.begin() + 5);
  EXPECT_EQ(start, (std::vector<std::string>{
                       "BeforePopup " + std::to_string(popup.popup_id) + " data:text/html,<title>Popup</title>",
                       "AfterCreated " + id, "BrowserCreated " + id, "PopupViewCreated", "WindowCreated"}));
  EXPECT_TRUE(popup.browser->IsPopup());
  EXPECT_EQ(popup.browser->GetHost()->GetRuntimeStyle(), CEF_RUNTIME_STYLE_ALLOY);
  CefRefPtr<CefBrowserView> popup_view = CefBrowserView::GetForBrowser(popup.browser);
  ASSERT_TRUE(popup_view);
  ASSERT_TRUE(popup_view->GetWindow());
  EXPECT_FALSE(popup_view->GetWindow()->IsSame(view->GetWindow()));
  EXPECT_EQ(cef_testing::OpenViewsWindowCount(), 2);
  popup_view = nullptr;

  cef_testing::PressCloseBox(popup.browser);
  ASSERT_TRUE(WaitFor("BeforeClose " + id));
  EXPECT_TRUE(opener->IsValid());
  EXPECT_EQ(cef_testing::OpenViewsWindowCount(), 1);
}

TEST_F(ViewsBrowserTest, UnplacedPopupGetsADefaultWindow) {
  CefRefPtr<CefBrowserView> view = Open("data:text/html,opener", CEF_SHOW_STATE_NORMAL, CEF_RUNTIME_STYLE_CHROME);
  view_delegate_->place_popups = false;
  cef_testing::PopupResult popup =
      cef_testing::OpenPopup(view->GetBrowser()->GetMainFrame(), "data:text/html,<title>P</title>");
  ASSERT_TRUE(popup.browser);
  ASSERT_TRUE(WaitFor("TitleChange P"));
  EXPECT_EQ(popup.browser->GetHost()->GetRuntimeStyle(), CEF_RUNTIME_STYLE_CHROME);
  EXPECT_EQ(cef_testing::OpenViewsWindowCount(), 2);
  HWND top = cef_testing::TopLevelWindow(popup.browser);
  EXPECT_TRUE(IsWindowVisible(top));
  // Chrome style: the close goes on without DoClose.
  cef_testing::PressCloseBox(top);
  ASSERT_TRUE(WaitFor("BeforeClose " + Id(popup.browser)));
  EXPECT_TRUE(client_->Matching("DoClose").empty());
}

TEST_F(ViewsBrowserTest, CloseBrowserOfAViewsBrowserClosesItsWindow) {
  CefRefPtr<CefBrowserView> view = Open("data:text/html,x");
  CefRefPtr<CefBrowser> browser = view->GetBrowser();
  ASSERT_TRUE(browser);
  browser->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(WaitFor("WindowDestroyed"));
  EXPECT_EQ(cef_testing::OpenViewsWindowCount(), 0);
  EXPECT_EQ(client_->Matching("DoClose").size(), 1u);
}

// A panel in the window holds the browser view; the browser is made only
// when the panel joins the window.
class PanelWindowDelegate : public CefWindowDelegate {
 public:
  explicit PanelWindowDelegate(CefRefPtr<CefPanel> panel) : panel_(panel) {}
  void OnWindowCreated(CefRefPtr<CefWindow> window) override { window->Show(); }
  void OnWindowDestroyed(CefRefPtr<CefWindow> window) override { panel_ = nullptr; }
  CefSize GetPreferredSize(CefRefPtr<CefView> view) override { return CefSize(640, 480); }
  CefRefPtr<CefPanel> panel_;
  IMPLEMENT_REFCOUNTING(PanelWindowDelegate);
};

TEST_F(ViewsBrowserTest, BrowserIsMadeWhenItsViewReachesAWindow) {
  CefRefPtr<CefBrowserView> view = CefBrowserView::CreateBrowserView(
      client_.get(), "data:text/html,<title>Nested</title>", CefBrowserSettings(), nullptr, nullptr, nullptr);
  CefRefPtr<CefPanel> panel = CefPanel::CreatePanel(nullptr);
  panel->AddChildView(view);
  EXPECT_TRUE(view->IsAttached());
  EXPECT_FALSE(view->GetWindow());
  EXPECT_FALSE(view->GetBrowser());

  CefRefPtr<PanelWindowDelegate> delegate = new PanelWindowDelegate(panel);
  CefRefPtr<CefWindow> window = CefWindow::CreateTopLevelWindow(delegate.get());
  ASSERT_TRUE(window);
  cef_testing::WaitForUIIdle();
  EXPECT_FALSE(view->GetBrowser());
  EXPECT_EQ(client_->browsers.size(), 0u);

  window->AddChildView(panel);
  ASSERT_TRUE(WaitFor("TitleChange Nested"));
  ASSERT_TRUE(view->GetBrowser());
  EXPECT_TRUE(view->GetWindow()->IsSame(window));
  EXPECT_EQ(view->GetBrowser()->GetHost()->GetRuntimeStyle(), CEF_RUNTIME_STYLE_CHROME);
  EXPECT_EQ(view->GetBounds().width, 640);
  EXPECT_EQ(view->GetBounds().height, 480);

  // A window without a view that asks CanClose closes at once.
  window->Close();
  ASSERT_TRUE(WaitForPrefix("BeforeClose"));
  EXPECT_TRUE(window->IsClosed());
  window = nullptr;
  view = nullptr;
  panel = nullptr;
}

}  // namespace
