// The browser shell on the running stand-in: the application object, the
// Views delegates and the browser client with the real desktop layer behind
// them, against the real stand-in service. One runtime per process; the
// scenarios that end the client run as CTest entries of their own.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "desktop/desktop.h"
#include "desktop/desktop_state.h"
#include "include/base/cef_bind.h"
#include "include/cef_command_line.h"
#include "include/views/cef_browser_view.h"
#include "include/views/cef_window.h"
#include "include/wrapper/cef_closure_task.h"
#include "private_origin.h"
#include "service/service_harness_win.h"
#include "shell/simple_app.h"
#include "shell/simple_handler.h"
#include "support/lookalike_origins.h"
#include "support/temp_directory.h"
#include "test_files.h"
#include "testing/driver.h"
#include "testing/relaunch.h"
#include "testing/runtime.h"

namespace {

namespace fs = std::filesystem;
using kesta::testing::ServiceHarness;
using kesta::testing::WindowsPath;
using nlohmann::json;
using namespace kesta::desktop;

// The client as RunWinMain leaves it once the message loop would run: start-up
// values taken from a running service, CEF initialised with SimpleApp, the
// update window built.
class Client {
 public:
  explicit Client(const json& initialPatch) {
    std::random_device seed;
    service_ = std::make_unique<ServiceHarness>(WindowsPath(KESTA_SERVICE_EXE), WindowsPath(KESTA_SAMPLE_RESOURCES),
                                                fs::temp_directory_path() / ("kesta-shell-" + std::to_string(seed())));
    started_ = service_->Start();
    if (!started_) {
      failure_ = "the service did not start: " + service_->failure();
      return;
    }
    service_->Control("/__control/state", initialPatch);
    const auto info = service_->Api(kesta::testing::service_http::verb::get, "/api/info");
    dataDir = service_->data().generic_string();
    localOrigin = service_->origin();
    token = service_->token();
    initialState = info.body;
    appDirectory = service_->root().generic_string();
    const json state = info.Json()["state"];
    origin = state.value("siteOrigin", "").empty() ? localOrigin : state.value("siteOrigin", "");
    accessRootSPKI = state.value("accessRootSPKI", "");
    for (const json& source : state.value("migrationSources", json::array()))
      migrationSources.push_back(source.get<std::string>());

    cef_testing::ScopedRuntime::Options options;
    options.app = new SimpleApp();
    options.edit_settings = [](CefSettings& settings) {
      CefString(&settings.root_cache_path) = DesktopDataDir() + "\\browser";
      CefString(&settings.cache_path) = DesktopDataDir() + "\\browser\\Default";
    };
    runtime_ = std::make_unique<cef_testing::ScopedRuntime>(options);
    if (runtime_->initialized())
      DesktopApplicationMenuReady();
    else
      failure_ = "CefInitialize failed with exit code " + std::to_string(runtime_->exit_code());
  }

  ~Client() {
    // Whatever is still open goes before CEF shuts down.
    if (SimpleHandler* handler = SimpleHandler::GetInstance())
      handler->CloseAllBrowsers(true);
    cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() == 0; }, 10000);
    DesktopStop();
    runtime_.reset();
  }

  bool ready() const { return started_ && runtime_ && runtime_->initialized(); }
  // What kept the client from being ready.
  const std::string& failure() const { return failure_; }
  ServiceHarness& service() { return *service_; }

 private:
  std::unique_ptr<ServiceHarness> service_;
  std::unique_ptr<cef_testing::ScopedRuntime> runtime_;
  bool started_ = false;
  std::string failure_;
};

CefRefPtr<CefBrowser> gameBrowser() {
  for (const auto& browser : cef_testing::OpenBrowsers()) {
    if (DesktopIsGame(browser))
      return browser;
  }
  return nullptr;
}

// The last-created open browser that is not a game browser, once there is one.
CefRefPtr<CefBrowser> waitForWebBrowser(int timeout_ms = 5000) {
  CefRefPtr<CefBrowser> web;
  cef_testing::RunUntil(
      [&] {
        for (const auto& browser : cef_testing::OpenBrowsers())
          if (!DesktopIsGame(browser))
            web = browser;
        return web != nullptr;
      },
      timeout_ms);
  return web;
}

bool waitForGameBrowser(int timeout_ms = 30000) {
  return cef_testing::RunUntil([] { return gameBrowser() != nullptr; }, timeout_ms);
}

// Pages off the game's origin, over https and plain http: the look-alikes
// of the origin, and the origin's host on the other scheme.
std::vector<std::string> foreignUrls() {
  const std::string host = std::string(kesta::kPrivateOrigin).substr(std::strlen("https://"));
  std::vector<std::string> urls = {"https://elsewhere.example/page", "http://elsewhere.example/page",
                                   "http://" + host + "/page"};
  for (const std::string& lookalike : kesta::testing::LookalikeOrigins(kesta::kPrivateOrigin))
    urls.push_back(lookalike + "/page");
  return urls;
}

std::wstring titleOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

// --- one client for the whole suite ---

class ShellTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { client_ = new Client(json{{"siteOrigin", kesta::kPrivateOrigin}}); }
  static void TearDownTestSuite() {
    delete client_;
    client_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(client_->ready()) << client_->failure();
    ASSERT_TRUE(waitForGameBrowser());
    game_ = gameBrowser();
    // The start page has committed.
    ASSERT_TRUE(cef_testing::RunUntil([&] { return !game_->GetMainFrame()->GetURL().empty(); }, 10000));
  }
  // The suite shares the service: each test answers for its own requests.
  void TearDown() override { client_->service().CheckProtocol(); }

  static Client* client_;
  CefRefPtr<CefBrowser> game_;
};

Client* ShellTest::client_ = nullptr;

TEST_F(ShellTest, TheGameWindowOpensOnThePrivateOriginOnceAdmitted) {
  EXPECT_EQ(game_->GetMainFrame()->GetURL().ToString(), std::string(kesta::kPrivateOrigin) + "/__client/start");
  EXPECT_EQ(game_->GetHost()->GetRuntimeStyle(), CEF_RUNTIME_STYLE_CHROME);
  CefRefPtr<CefBrowserView> view = CefBrowserView::GetForBrowser(game_);
  ASSERT_TRUE(view);
  ASSERT_TRUE(view->GetWindow());
  EXPECT_EQ(view->GetWindow()->GetSize().width, 1280);
  EXPECT_EQ(view->GetWindow()->GetSize().height, 900);

  // Dressed after 200 ms: the system-menu item of the update window.
  HWND top = cef_testing::TopLevelWindow(game_);
  ASSERT_TRUE(cef_testing::RunUntil(
      [&] { return GetMenuState(GetSystemMenu(top, FALSE), 336, MF_BYCOMMAND) != static_cast<UINT>(-1); }, 5000));
  wchar_t item[64] = {};
  GetMenuStringW(GetSystemMenu(top, FALSE), 336, item, 64, MF_BYCOMMAND);
  EXPECT_EQ(std::wstring(item), L"资源与更新…");
  EXPECT_TRUE(titleOf(top) == L"Ostrel" || titleOf(top) == L"Harbor Run");
  // The title of a page that loads later replaces it.
  const std::string start = game_->GetMainFrame()->GetURL().ToString();
  const std::string script = std::string(kesta::kPrivateOrigin) + "/__client/bridge.js";
  cef_testing::NavigateMainFrame(game_, script);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return game_->GetMainFrame()->GetURL().ToString() == script; }, 5000));
  view->GetWindow()->SetTitle("Ostrel");
  cef_testing::NavigateMainFrame(game_, start);
  EXPECT_TRUE(cef_testing::RunUntil([&] { return titleOf(top) == L"Harbor Run"; }, 5000));

  // Hidden after admission; the menu item brings it back.
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  SendMessageW(top, WM_SYSCOMMAND, 336 | 0x7, 0);
  EXPECT_TRUE(IsWindowVisible(updateWindow));
  ShowWindow(updateWindow, SW_HIDE);

  // The gate admits again on a later reply: the game-window closure is
  // spent, so no second game window opens.
  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.admitted = false;
  }
  ASSERT_TRUE(cef_testing::RunUntil(
      [] {
        std::lock_guard lock(browserMutex);
        return resourceLaunch.admitted;
      },
      10000));
  cef_testing::RunPending(1200);
  // With the flag cleared by hand, the client asks for a launch while its
  // game window is open, which the service rightly reports; only that.
  for (const std::string& violation : client_->service().TakeViolations())
    EXPECT_EQ(violation, "a launch request after the launch was admitted (POST /api/launch)");
  int games = 0;
  for (const auto& browser : cef_testing::OpenBrowsers())
    games += DesktopIsGame(browser) ? 1 : 0;
  EXPECT_EQ(games, 1);
}

// Remembers whether a challenge was answered.
class AnsweredCallback : public CefAuthCallback {
 public:
  void Continue(const CefString& username, const CefString& password) override { answered = true; }
  void Cancel() override {}
  bool answered = false;

 private:
  IMPLEMENT_REFCOUNTING(AnsweredCallback);
};

// The client's credentials answer the loopback proxy's challenge, never a
// server's from the same address.
TEST_F(ShellTest, OnlyTheProxysOwnChallengeIsAnswered) {
  kesta::ProxyAuthEndpoint before;
  {
    std::lock_guard<kesta::PlainMutex> lock(networkPolicy.endpointMutex);
    before = networkPolicy.endpoint;
    networkPolicy.endpoint = {"127.0.0.1", 8899, true};
  }
  CefRefPtr<SimpleHandler> handler(SimpleHandler::GetInstance());
  for (const bool isProxy : {true, false}) {
    CefRefPtr<AnsweredCallback> callback(new AnsweredCallback());
    EXPECT_EQ(handler->GetAuthCredentials(game_, "http://127.0.0.1:8899/", isProxy, "127.0.0.1", 8899, "kesta", "basic",
                                          callback),
              isProxy);
    EXPECT_EQ(callback->answered, isProxy);
  }
  std::lock_guard<kesta::PlainMutex> lock(networkPolicy.endpointMutex);
  networkPolicy.endpoint = before;
}

TEST_F(ShellTest, GamePagesHaveNoContextMenuWebWindowsDo) {
  EXPECT_FALSE(cef_testing::RightClick(game_).shown);
  SimpleHandler::GetInstance()->OpenWindow("https://elsewhere.example/");
  CefRefPtr<CefBrowser> web = waitForWebBrowser();
  ASSERT_TRUE(web);
  EXPECT_TRUE(web->GetHost()->GetRequestContext()->IsSame(DesktopWebContext()));
  EXPECT_TRUE(cef_testing::RightClick(web).shown);
  web->GetHost()->CloseBrowser(true);
  cef_testing::RunUntil([&] { return cef_testing::OpenBrowserCount() == 1; }, 5000);
}

TEST_F(ShellTest, GamePopupsStayOnTheOriginOrOpenAsWebWindows) {
  int before = cef_testing::OpenBrowserCount();

  // Foreign targets, a host that only begins with the origin's text among
  // them, open as web windows.
  CefRefPtr<CefBrowser> web;
  for (const std::string& url : foreignUrls()) {
    auto foreign = cef_testing::OpenPopup(game_->GetMainFrame(), url);
    EXPECT_TRUE(foreign.cancelled) << url;
    ASSERT_TRUE(cef_testing::RunUntil([&] { return cef_testing::OpenBrowserCount() == before + 1; }, 5000)) << url;
    ++before;
    web = waitForWebBrowser();
    ASSERT_TRUE(web);
    EXPECT_FALSE(DesktopIsGame(web)) << url;
    EXPECT_TRUE(web->GetHost()->GetRequestContext()->IsSame(DesktopWebContext())) << url;
  }

  // A web window's popups are left alone.
  EXPECT_FALSE(cef_testing::OpenPopup(web->GetMainFrame(), "https://third.example/").cancelled);

  // Same origin while the gate is open: a popup of its own, judged as a game
  // browser.
  auto same = cef_testing::OpenPopup(game_->GetMainFrame(), std::string(kesta::kPrivateOrigin) + "/__client/start");
  EXPECT_FALSE(same.cancelled);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return same.browser && DesktopIsGame(same.browser); }, 5000));
  // It gets a normal top-level window of its own, in the game's style.
  CefRefPtr<CefBrowserView> popupView = CefBrowserView::GetForBrowser(same.browser);
  ASSERT_TRUE(popupView && popupView->GetWindow());
  HWND popupTop = cef_testing::TopLevelWindow(same.browser);
  EXPECT_NE(popupTop, cef_testing::TopLevelWindow(game_));
  EXPECT_TRUE(IsWindowVisible(popupTop));
  EXPECT_FALSE(IsZoomed(popupTop) || IsIconic(popupTop));
  EXPECT_EQ(popupView->GetWindow()->GetSize().width, 1280);
  EXPECT_EQ(popupView->GetWindow()->GetSize().height, 900);
  EXPECT_EQ(same.browser->GetHost()->GetRuntimeStyle(), CEF_RUNTIME_STYLE_CHROME);

  // Another scheme proceeds as a normal popup. (The popup is a game
  // browser of its own, whose first navigation away from the origin then
  // goes to a web window.)
  EXPECT_FALSE(cef_testing::OpenPopup(game_->GetMainFrame(), "about:blank").cancelled);
  cef_testing::RunPending(300);

  for (const auto& browser : cef_testing::OpenBrowsers())
    if (!browser->IsSame(game_))
      browser->GetHost()->CloseBrowser(true);
  cef_testing::RunUntil([&] { return cef_testing::OpenBrowserCount() == 1; }, 5000);
}

// A game browser keeps the origin it was admitted with when the site origin
// moves on (a re-entry not yet made).
TEST_F(ShellTest, AGameBrowserStaysOnTheOriginItWasAdmittedWith) {
  const std::string own = std::string(kesta::kPrivateOrigin) + "/__client/start?admitted";
  const std::string start = game_->GetMainFrame()->GetURL().ToString();
  const int before = cef_testing::OpenBrowserCount();
  cef_testing::PopupResult popup;
  {
    std::unique_lock lock(browserMutex);
    const std::string admitted = origin;
    origin = "https://moved.example";
    lock.unlock();
    // Both decisions are made inside the calls, before any reply could move
    // the origin back.
    popup = cef_testing::OpenPopup(game_->GetMainFrame(), own);
    cef_testing::NavigateMainFrame(game_, own);
    lock.lock();
    origin = admitted;
  }
  EXPECT_FALSE(popup.cancelled);
  EXPECT_TRUE(cef_testing::RunUntil([&] { return game_->GetMainFrame()->GetURL().ToString() == own; }, 5000));

  cef_testing::NavigateMainFrame(game_, start);
  cef_testing::RunUntil([&] { return game_->GetMainFrame()->GetURL().ToString() == start; }, 5000);
  for (const auto& browser : cef_testing::OpenBrowsers())
    if (!browser->IsSame(game_))
      browser->GetHost()->CloseBrowser(true);
  cef_testing::RunUntil([&] { return cef_testing::OpenBrowserCount() == before; }, 5000);
}

TEST_F(ShellTest, MainFrameNavigationElsewhereOpensAWebWindow) {
  // An iframe of the game page may go anywhere: no web window for it.
  CefRefPtr<CefFrame> frame = cef_testing::CreateSubFrame(game_, "ad", "https://elsewhere.example/frame");
  ASSERT_TRUE(frame);
  cef_testing::RunPending(200);
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 1);

  const std::string start = game_->GetMainFrame()->GetURL().ToString();
  int windows = 1;
  for (const std::string& url : foreignUrls()) {
    cef_testing::NavigateMainFrame(game_, url);
    EXPECT_EQ(game_->GetMainFrame()->GetURL().ToString(), start) << url;
    ++windows;
    ASSERT_TRUE(cef_testing::RunUntil([&] { return cef_testing::OpenBrowserCount() == windows; }, 5000)) << url;
  }

  for (const auto& browser : cef_testing::OpenBrowsers())
    if (!browser->IsSame(game_))
      browser->GetHost()->CloseBrowser(true);
  cef_testing::RunUntil([&] { return cef_testing::OpenBrowserCount() == 1; }, 5000);
}

TEST_F(ShellTest, ARelaunchShowsTheGameWindow) {
  // A later web window makes the first browser and the newest differ: the
  // game window, the first, is the one shown.
  SimpleHandler::GetInstance()->OpenWindow("https://elsewhere.example/later");
  CefRefPtr<CefBrowser> web = waitForWebBrowser();
  ASSERT_TRUE(web);
  HWND webTop = cef_testing::TopLevelWindow(web);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return IsWindowVisible(webTop) != FALSE; }, 5000));
  ShowWindow(webTop, SW_HIDE);
  HWND top = cef_testing::TopLevelWindow(game_);
  ShowWindow(top, SW_HIDE);
  ASSERT_TRUE(cef_testing::DeliverRelaunch(L"KESTA.exe", L"C:\\"));
  EXPECT_TRUE(cef_testing::RunUntil([&] { return IsWindowVisible(top) != FALSE; }, 5000));
  EXPECT_TRUE(cef_testing::LastRelaunchHandled());

  // From another thread the call goes to the UI thread first.
  ShowWindow(top, SW_HIDE);
  std::thread([] { SimpleHandler::GetInstance()->ShowMainWindow(); }).join();
  EXPECT_FALSE(IsWindowVisible(top));
  EXPECT_TRUE(cef_testing::RunUntil([&] { return IsWindowVisible(top) != FALSE; }, 5000));
  EXPECT_FALSE(IsWindowVisible(webTop));
  web->GetHost()->CloseBrowser(true);
  cef_testing::RunUntil([&] { return cef_testing::OpenBrowserCount() == 1; }, 5000);
}

TEST_F(ShellTest, ChromeStyleFailedLoadsGetNoPageOfTheClient) {
  SimpleHandler::GetInstance()->OpenWindow("http://127.0.0.1:1/refused");
  CefRefPtr<CefBrowser> web = waitForWebBrowser();
  ASSERT_TRUE(web);
  cef_testing::RunPending(500);
  EXPECT_EQ(web->GetMainFrame()->GetURL().ToString().rfind("data:", 0), std::string::npos);
  web->GetHost()->CloseBrowser(true);
  cef_testing::RunUntil([&] { return cef_testing::OpenBrowserCount() == 1; }, 5000);
}

TEST_F(ShellTest, HeartbeatsListEachWindowWithItsIdUrlAndGeneration) {
  SimpleHandler::GetInstance()->OpenWindow("https://elsewhere.example/listed");
  CefRefPtr<CefBrowser> web = waitForWebBrowser();
  ASSERT_TRUE(web);
  json windows;
  ASSERT_TRUE(cef_testing::RunUntil(
      [&] {
        windows = client_->service().Api(kesta::testing::service_http::verb::get, "/__control/journal")
                      .Json()["lastHeartbeat"]["windows"];
        return windows.is_array() && windows.size() == 2;
      },
      5000))
      << windows.dump();
  // In the order the browsers were created: the game window first.
  EXPECT_EQ(windows[0], (json{{"id", game_->GetIdentifier()},
                              {"url", game_->GetMainFrame()->GetURL().ToString()},
                              {"generation", DesktopBrowserGeneration(game_)}}));
  EXPECT_FALSE(windows[0]["generation"].get<std::string>().empty());
  EXPECT_EQ(windows[1], (json{{"id", web->GetIdentifier()},
                              {"url", web->GetMainFrame()->GetURL().ToString()},
                              {"generation", ""}}));

  // One of two closed: the client goes on beating with the game alone. (CEF
  // asks DoClose only of Alloy-style browsers: this also runs with
  // --alloy-style.)
  web->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return cef_testing::OpenBrowserCount() == 1; }, 5000));
  EXPECT_FALSE(SimpleHandler::GetInstance()->IsClosing());
  EXPECT_TRUE(cef_testing::RunUntil(
      [&] {
        windows = client_->service().Api(kesta::testing::service_http::verb::get, "/__control/journal")
                      .Json()["lastHeartbeat"]["windows"];
        return windows.is_array() && windows.size() == 1;
      },
      5000))
      << windows.dump();
}

TEST_F(ShellTest, AWindowClosesOnlyWhenItsPageAgrees) {
  // The page's beforeunload prompt is answered "stay".
  cef_testing::SetBeforeUnload(game_, true, "Leave the game?", false);
  HWND top = cef_testing::TopLevelWindow(game_);
  cef_testing::PressCloseBox(game_);
  cef_testing::RunPending(300);
  EXPECT_TRUE(IsWindow(top));
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 1);
  EXPECT_FALSE(SimpleHandler::GetInstance()->IsClosing());
  cef_testing::SetBeforeUnload(game_, false);

  // Answered "leave", the prompt lets the window go: the client leaves the
  // answer to the browser's own prompt.
  SimpleHandler::GetInstance()->OpenWindow("https://elsewhere.example/leaving");
  CefRefPtr<CefBrowser> web = waitForWebBrowser();
  ASSERT_TRUE(web);
  cef_testing::SetBeforeUnload(web, true, "Leave?", true);
  cef_testing::PressCloseBox(web);
  const bool closed = cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() == 1; }, 5000);
  EXPECT_TRUE(closed) << "a window whose page agreed to leave stayed open";
  if (!closed)
    web->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() == 1; }, 5000));
}

TEST_F(ShellTest, AWebWindowsOwnNavigationsStayInIt) {
  SimpleHandler::GetInstance()->OpenWindow("https://elsewhere.example/first");
  CefRefPtr<CefBrowser> web = waitForWebBrowser();
  ASSERT_TRUE(web);
  cef_testing::NavigateMainFrame(web, "https://third.example/next");
  cef_testing::RunPending(300);
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 2);
  web->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return cef_testing::OpenBrowserCount() == 1; }, 5000));

}

TEST_F(ShellTest, WithTheUpdateGateClosedSameOriginPopupsBringTheUpdateWindowInstead) {
  // The service holds the game back for an update.
  client_->service().Control("/__control/state", {{"updateGate", true}});
  ASSERT_TRUE(cef_testing::RunUntil([] { return !DesktopAllowGamePopup(); }, 5000));
  const int before = cef_testing::OpenBrowserCount();
  ShowWindow(updateWindow, SW_HIDE);

  auto popup = cef_testing::OpenPopup(game_->GetMainFrame(), std::string(kesta::kPrivateOrigin) + "/__client/start");
  EXPECT_TRUE(popup.cancelled);
  EXPECT_TRUE(IsWindowVisible(updateWindow));
  cef_testing::RunPending(300);
  EXPECT_FALSE(popup.browser);
  EXPECT_EQ(cef_testing::OpenBrowserCount(), before);

  client_->service().Control("/__control/state", {{"updateGate", false}});
  ASSERT_TRUE(cef_testing::RunUntil([] { return DesktopAllowGamePopup(); }, 5000));
  ShowWindow(updateWindow, SW_HIDE);
}

// --- the Chromium switches (no runtime; a process of their own) ---

// Start-up values as DesktopPrepare leaves them, put back afterwards.
class ShellSwitches : public ::testing::Test {
 protected:
  void SetUp() override {
    savedSpki_ = accessRootSPKI;
    savedDataDir_ = dataDir;
    savedEnforced_ = networkPolicy.startupNetworkEnforced;
  }
  void TearDown() override {
    accessRootSPKI = savedSpki_;
    dataDir = savedDataDir_;
    networkPolicy.startupNetworkEnforced = savedEnforced_;
  }

  static CefRefPtr<CefCommandLine> Processed(const std::string& processType, const std::wstring& line) {
    CefRefPtr<CefCommandLine> commandLine = CefCommandLine::CreateCommandLine();
    commandLine->InitFromString(line);
    CefRefPtr<SimpleApp> app(new SimpleApp);
    app->OnBeforeCommandLineProcessing(processType, commandLine);
    return commandLine;
  }

  static std::string Value(CefRefPtr<CefCommandLine> commandLine, const char* name) {
    return commandLine->GetSwitchValue(name).ToString();
  }

 private:
  std::string savedSpki_, savedDataDir_;
  bool savedEnforced_ = false;
};

TEST_F(ShellSwitches, EnforcedBrowserProcessWithAnSpkiList) {
  accessRootSPKI = "AAAA,BBBB";
  dataDir = "C:/Users/u/AppData/Local/Kesta";
  networkPolicy.startupNetworkEnforced = true;
  auto commandLine = Processed(
      "", L"KESTA.exe --enable-quic --origin-to-force-quic-on=game.example:443 --js-heap-mb=4096 --data-dir=x");

  EXPECT_TRUE(commandLine->HasSwitch("disable-chrome-login-prompt"));
  EXPECT_EQ(Value(commandLine, "ignore-certificate-errors-spki-list"), "AAAA,BBBB");
  EXPECT_EQ(Value(commandLine, "user-data-dir"), "C:\\Users\\u\\AppData\\Local\\Kesta/browser");
  // QUIC would leave the browser beside the proxy.
  EXPECT_FALSE(commandLine->HasSwitch("enable-quic"));
  EXPECT_FALSE(commandLine->HasSwitch("origin-to-force-quic-on"));
  EXPECT_TRUE(commandLine->HasSwitch("disable-quic"));
  EXPECT_EQ(Value(commandLine, "profile-directory"), "Default");
  EXPECT_EQ(Value(commandLine, "autoplay-policy"), "no-user-gesture-required");
  EXPECT_EQ(Value(commandLine, "js-flags"), "--max-old-space-size=4096");
  EXPECT_EQ(Value(commandLine, "data-dir"), "x");
}

TEST_F(ShellSwitches, UnenforcedBrowserProcessWithoutAnSpkiList) {
  accessRootSPKI.clear();
  dataDir = "C:/data";
  networkPolicy.startupNetworkEnforced = false;
  auto commandLine = Processed("", L"KESTA.exe --enable-quic --origin-to-force-quic-on=game.example:443");

  EXPECT_TRUE(commandLine->HasSwitch("disable-chrome-login-prompt"));
  EXPECT_FALSE(commandLine->HasSwitch("ignore-certificate-errors-spki-list"));
  EXPECT_FALSE(commandLine->HasSwitch("user-data-dir"));
  EXPECT_TRUE(commandLine->HasSwitch("enable-quic"));
  EXPECT_EQ(Value(commandLine, "origin-to-force-quic-on"), "game.example:443");
  EXPECT_FALSE(commandLine->HasSwitch("disable-quic"));
  EXPECT_EQ(Value(commandLine, "profile-directory"), "Default");
  EXPECT_EQ(Value(commandLine, "autoplay-policy"), "no-user-gesture-required");
  EXPECT_FALSE(commandLine->HasSwitch("js-flags"));

  // The heap size goes on as given.
  EXPECT_EQ(Value(Processed("", L"KESTA.exe --js-heap-mb=lots"), "js-flags"), "--max-old-space-size=lots");
}

TEST_F(ShellSwitches, SubProcessesGetOnlyAutoplayAndTheHeapSize) {
  accessRootSPKI = "AAAA";
  dataDir = "C:/data";
  networkPolicy.startupNetworkEnforced = true;
  for (const char* type : {"renderer", "gpu-process", "utility"}) {
    SCOPED_TRACE(type);
    auto commandLine = Processed(type, L"KESTA.exe --type=x --enable-quic --js-heap-mb=512");
    EXPECT_EQ(Value(commandLine, "autoplay-policy"), "no-user-gesture-required");
    EXPECT_EQ(Value(commandLine, "js-flags"), "--max-old-space-size=512");
    EXPECT_TRUE(commandLine->HasSwitch("enable-quic"));
    for (const char* browserOnly : {"disable-chrome-login-prompt", "ignore-certificate-errors-spki-list",
                                    "user-data-dir", "disable-quic", "profile-directory"})
      EXPECT_FALSE(commandLine->HasSwitch(browserOnly)) << browserOnly;
  }
}

// --- the game window's switches (each with its own process command line) ---

// Starts a client and waits for its game browser to commit its first page.
CefRefPtr<CefBrowser> startGame(Client& client) {
  EXPECT_TRUE(client.ready()) << client.failure();
  if (!client.ready() || !waitForGameBrowser())
    return nullptr;
  CefRefPtr<CefBrowser> game = gameBrowser();
  cef_testing::RunUntil([&] { return !game->GetMainFrame()->GetURL().empty(); }, 10000);
  return game;
}

// Run with --url=https://app.kesta-client.invalid/__client/start?via=switch
// --initial-show-state=maximized.
TEST(ShellStart, AUrlSwitchIsTheStartUrlAndMaximizedOpensMaximized) {
  Client client(json{{"siteOrigin", kesta::kPrivateOrigin}});
  CefRefPtr<CefBrowser> game = startGame(client);
  ASSERT_TRUE(game);
  const std::string given = CefCommandLine::GetGlobalCommandLine()->GetSwitchValue("url").ToString();
  ASSERT_FALSE(given.empty());
  EXPECT_EQ(game->GetMainFrame()->GetURL().ToString(), given);
  HWND top = cef_testing::TopLevelWindow(game);
  EXPECT_TRUE(IsWindowVisible(top));
  EXPECT_TRUE(IsZoomed(top));
}

// Run with --initial-show-state=minimized.
TEST(ShellStart, OnTheLoopbackOriginTheStartIsItsRootAndMinimizedOpensMinimized) {
  Client client(json::object());
  CefRefPtr<CefBrowser> game = startGame(client);
  ASSERT_TRUE(game);
  ASSERT_EQ(DesktopOrigin(), localOrigin);
  EXPECT_EQ(game->GetMainFrame()->GetURL().ToString(), localOrigin + "/");
  HWND top = cef_testing::TopLevelWindow(game);
  EXPECT_TRUE(IsWindowVisible(top));
  EXPECT_TRUE(IsIconic(top));
}

// Run with --url= --initial-show-state=Maximized: an empty URL is none, and
// the show state's value is exact.
TEST(ShellStart, AnEmptyUrlIsTheStartPageAndACapitalisedShowStateOpensNormal) {
  Client client(json{{"siteOrigin", kesta::kPrivateOrigin}});
  CefRefPtr<CefBrowser> game = startGame(client);
  ASSERT_TRUE(game);
  ASSERT_TRUE(CefCommandLine::GetGlobalCommandLine()->HasSwitch("url"));
  EXPECT_EQ(game->GetMainFrame()->GetURL().ToString(), std::string(kesta::kPrivateOrigin) + "/__client/start");
  HWND top = cef_testing::TopLevelWindow(game);
  EXPECT_TRUE(IsWindowVisible(top));
  EXPECT_FALSE(IsZoomed(top));
  EXPECT_FALSE(IsIconic(top));
}

// Run with --use-native --initial-show-state=maximized.
TEST(ShellStart, UseNativeMakesANativeOverlappedWindowAtTheDefaultPlace) {
  Client client(json{{"siteOrigin", kesta::kPrivateOrigin}});
  CefRefPtr<CefBrowser> game = startGame(client);
  ASSERT_TRUE(game);
  EXPECT_FALSE(CefBrowserView::GetForBrowser(game));
  EXPECT_EQ(game->GetMainFrame()->GetURL().ToString(), std::string(kesta::kPrivateOrigin) + "/__client/start");
  HWND top = cef_testing::TopLevelWindow(game);
  ASSERT_TRUE(top);
  const LONG style = GetWindowLongW(top, GWL_STYLE);
  const LONG wanted = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE;
  EXPECT_EQ(style & wanted, wanted) << std::hex << style;
  EXPECT_EQ(GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
  EXPECT_EQ(GetParent(top), nullptr);
  // No show state for a native window, and the system's default place.
  EXPECT_FALSE(IsZoomed(top));
  RECT bounds{};
  GetWindowRect(top, &bounds);
  EXPECT_GT(bounds.right - bounds.left, 0);
  EXPECT_NE(bounds.left, static_cast<LONG>(CW_USEDEFAULT));
  const std::wstring title = titleOf(top);
  EXPECT_TRUE(title == L"cefsimple" || title == L"Ostrel" || title == L"Harbor Run") << title.size();
}

// Run with --use-native --alloy-style: the client titles the browser's own
// window itself, and has no way to bring a native window forward.
TEST(ShellStart, AnAlloyNativeGameWindowTakesThePageTitleAndARelaunchLeavesItAlone) {
  Client client(json{{"siteOrigin", kesta::kPrivateOrigin}});
  CefRefPtr<CefBrowser> game = startGame(client);
  ASSERT_TRUE(game);
  ASSERT_EQ(game->GetHost()->GetRuntimeStyle(), CEF_RUNTIME_STYLE_ALLOY);
  EXPECT_FALSE(CefBrowserView::GetForBrowser(game));
  HWND host = game->GetHost()->GetWindowHandle();
  ASSERT_TRUE(host);
  EXPECT_TRUE(cef_testing::RunUntil([&] { return titleOf(host) == L"Harbor Run"; }, 5000)) << titleOf(host).size();

  HWND top = cef_testing::TopLevelWindow(game);
  ShowWindow(top, SW_HIDE);
  const int relaunches = cef_testing::RelaunchCount();
  ASSERT_TRUE(cef_testing::DeliverRelaunch(L"KESTA.exe", L"C:\\"));
  ASSERT_TRUE(cef_testing::RunUntil([&] { return cef_testing::RelaunchCount() == relaunches + 1; }, 5000));
  cef_testing::RunPending(200);
  EXPECT_FALSE(IsWindowVisible(top));
  EXPECT_TRUE(cef_testing::LastRelaunchHandled());
}

// A client with an access root and a migration source; the game is on the
// service's loopback origin (the private origin's start page would itself
// be a migration page, loaded from the network).
TEST(ShellMigration, AGamePageNavigatesOnlyToMigrationPagesOfKnownSources) {
  Client client(json{{"accessRootSPKI", "c2hlbGwtdGVzdHM="}, {"migrationSources", {"https://old.example"}}});
  CefRefPtr<CefBrowser> game = startGame(client);
  ASSERT_TRUE(game);
  ASSERT_EQ(cef_testing::OpenBrowserCount(), 1);
  // A migration page of a known source loads in the game browser itself;
  // another page of that source does not.
  cef_testing::NavigateMainFrame(game, "https://old.example/__client/migration/saves");
  cef_testing::RunPending(300);
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 1);
  EXPECT_TRUE(DesktopIsGame(game));
  cef_testing::NavigateMainFrame(game, "https://old.example/news");
  ASSERT_TRUE(cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() == 2; }, 5000));
  // Look-alikes of the source and of the private origin are foreign sites:
  // their pages open beside the game.
  std::vector<std::string> lookalikePages;
  for (const std::string& lookalike : kesta::testing::LookalikeOrigins("https://old.example"))
    lookalikePages.push_back(lookalike + "/__client/migration/saves");
  for (const std::string& lookalike : kesta::testing::LookalikeOrigins(kesta::kPrivateOrigin))
    lookalikePages.push_back(lookalike + "/__client/start");
  int windows = 2;
  for (const std::string& url : lookalikePages) {
    cef_testing::NavigateMainFrame(game, url);
    ++windows;
    ASSERT_TRUE(cef_testing::RunUntil([&] { return cef_testing::OpenBrowserCount() == windows; }, 5000)) << url;
  }
  EXPECT_TRUE(DesktopIsGame(game));

  for (const auto& browser : cef_testing::OpenBrowsers())
    if (!browser->IsSame(game))
      browser->GetHost()->CloseBrowser(true);
  cef_testing::RunUntil([&] { return cef_testing::OpenBrowserCount() == 1; }, 5000);
}

constexpr wchar_t kStyleRootVariable[] = L"KESTA_STYLE_ROOT";

// An alloy-style client's handler given a browser of the chrome style, on a
// runtime in the folder the environment names.
void openAChromeStyleBrowser() {
  wchar_t root[MAX_PATH] = {};
  GetEnvironmentVariableW(kStyleRootVariable, root, MAX_PATH);
  cef_testing::ScopedRuntime::Options options;
  options.root = CefString(root).ToString();
  cef_testing::ScopedRuntime runtime(options);
  if (!runtime.initialized())
    return;
  CefRefPtr<SimpleHandler> handler(new SimpleHandler(true));
  CefWindowInfo windowInfo;
  windowInfo.runtime_style = CEF_RUNTIME_STYLE_CHROME;
  CefBrowserHost::CreateBrowser(windowInfo, handler.get(), "about:blank", CefBrowserSettings(), nullptr, nullptr);
  cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() > 0; }, 5000);
  cef_testing::RunPending(200);
}

// The failed style check ends the process, so it runs in a child (this
// program again, running only this test) on a runtime in a folder this
// process owns and removes. No desktop layer: the check comes before
// anything else. The child is started and watched here rather than by
// GoogleTest's death tests, which end this process without a word when a
// start or a wait of theirs fails.
TEST(ShellStyle, AnAlloyClientRefusesABrowserOfTheChromeStyle) {
  if (GetEnvironmentVariableW(kStyleRootVariable, nullptr, 0)) {
    openAChromeStyleBrowser();
    ADD_FAILURE() << "the client took a browser of the other style";
    return;
  }
  // Destroyed in reverse: the child and all it started end before the
  // folder goes.
  const kesta::testing::TempDirectory folder("style");
  kesta::testing::ProcessGroup group;
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring line =
      L"\"" + std::wstring(self) + L"\" --gtest_filter=ShellStyle.AnAlloyClientRefusesABrowserOfTheChromeStyle";
  SetEnvironmentVariableW(kStyleRootVariable, folder.path().c_str());
  const kesta::testing::ChildOutcome child =
      kesta::testing::RunChild(group, folder.Utf8(), kesta::testing::Utf8(self), line, 60000);
  SetEnvironmentVariableW(kStyleRootVariable, nullptr);
  ASSERT_TRUE(child.finished) << child.error << child.output;
  // A failed check writes its record, then abort()s.
  EXPECT_EQ(child.exitCode, 3u) << child.output;
  EXPECT_NE(child.output.find("Check failed: (is_alloy_style_ ?"), std::string::npos) << child.output;
}

// --- scenarios that end the client (own processes) ---

// Run with --alloy-style among the program's arguments.
TEST(ShellAlloy, FailedLoadsShowTheEscapedErrorPage) {
  Client client(json{{"siteOrigin", kesta::kPrivateOrigin}});
  ASSERT_TRUE(client.ready()) << client.failure();
  ASSERT_TRUE(CefCommandLine::GetGlobalCommandLine()->HasSwitch("alloy-style"));
  ASSERT_TRUE(waitForGameBrowser());
  SimpleHandler::GetInstance()->OpenWindow("http://127.0.0.1:1/<b>");
  CefRefPtr<CefBrowser> web;
  ASSERT_TRUE(cef_testing::RunUntil(
      [&] {
        for (const auto& browser : cef_testing::OpenBrowsers())
          if (!DesktopIsGame(browser) && browser->GetMainFrame()->GetURL().ToString().rfind("data:", 0) == 0)
            web = browser;
        return web != nullptr;
      },
      10000));
  EXPECT_EQ(web->GetHost()->GetRuntimeStyle(), CEF_RUNTIME_STYLE_ALLOY);

  // A navigation the client cancels ends as an aborted load: no error page
  // replaces the game.
  CefRefPtr<CefBrowser> game = gameBrowser();
  const std::string start = game->GetMainFrame()->GetURL().ToString();
  cef_testing::NavigateMainFrame(game, "https://elsewhere.example/away");
  ASSERT_TRUE(cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() == 3; }, 5000));
  cef_testing::RunPending(300);
  EXPECT_EQ(game->GetMainFrame()->GetURL().ToString(), start);
}

TEST(ShellEnd, ClosingTheOnlyWindowWhileTheLaunchWaitsEndsTheClient) {
  Client client(json{{"launchReady", false},
                     {"commands", json::array({{{"type", "open"}, {"url", "https://elsewhere.example/"}}})}});
  ASSERT_TRUE(client.ready()) << client.failure();
  ASSERT_TRUE(cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() == 1; }, 20000));
  EXPECT_TRUE(DesktopWaitingForLaunch());
  cef_testing::PressCloseBox(cef_testing::OpenBrowsers().front());
  ASSERT_TRUE(cef_testing::RunUntil([] { return !running.load(); }, 10000));
  EXPECT_TRUE(SimpleHandler::GetInstance() == nullptr || SimpleHandler::GetInstance()->IsClosing());
}

// Runs the message loop as RunWinMain does; false when it had to be ended
// from outside after 20 s.
bool runTheLoopToItsEnd() {
  auto stuck = std::make_shared<bool>(false);
  auto giveUp = [](std::shared_ptr<bool> flag) {
    *flag = true;
    CefQuitMessageLoop();
  };
  CefPostDelayedTask(TID_UI, base::BindOnce(giveUp, stuck), 20000);
  CefRunMessageLoop();
  return !*stuck;
}

// A window asked for in the same UI task as the close comes into being while
// the open ones are going: it is closed too, and the message loop that
// RunWinMain runs ends with no window left.
TEST(ShellEnd, AWindowCreatedDuringTheCloseIsClosedAndTheLoopEnds) {
  Client client(json{{"siteOrigin", kesta::kPrivateOrigin}});
  ASSERT_TRUE(startGame(client));
  CefRefPtr<SimpleHandler> handler(SimpleHandler::GetInstance());
  ASSERT_TRUE(handler);
  handler->OpenWindow("https://elsewhere.example/");
  handler->CloseAllBrowsers(true);

  EXPECT_TRUE(runTheLoopToItsEnd()) << "the message loop did not end";
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 0);
  EXPECT_TRUE(handler->IsClosing());
  EXPECT_FALSE(running.load());
}

// Alloy windows hear of their close before they go: the last one's DoClose
// marks the client as closing, and a window born before that window is gone
// is closed as it arrives, so the loop still ends with the last window.
TEST(ShellEnd, FromTheLastWindowsDoCloseTheClientIsClosing) {
  Client client(json{{"siteOrigin", kesta::kPrivateOrigin}});
  CefRefPtr<CefBrowser> game = startGame(client);
  ASSERT_TRUE(game);
  CefRefPtr<SimpleHandler> handler(SimpleHandler::GetInstance());
  handler->OpenWindow("https://elsewhere.example/");
  CefRefPtr<CefBrowser> web = waitForWebBrowser();
  ASSERT_TRUE(web);
  // One of two windows closing is no end.
  EXPECT_FALSE(handler->DoClose(web));
  EXPECT_FALSE(handler->IsClosing());
  web->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() == 1; }, 5000));
  EXPECT_FALSE(handler->IsClosing());

  EXPECT_FALSE(handler->DoClose(game));
  EXPECT_TRUE(handler->IsClosing());
  handler->OpenWindow("https://elsewhere.example/late");
  game->GetHost()->CloseBrowser(true);
  EXPECT_TRUE(runTheLoopToItsEnd()) << "the message loop did not end";
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 0);
  EXPECT_FALSE(running.load());
}

TEST(ShellEnd, AQuitReplyWithNoBrowserEndsTheClient) {
  Client client(json{{"launchReady", false}});
  ASSERT_TRUE(client.ready()) << client.failure();
  cef_testing::RunPending(1500);
  ASSERT_EQ(cef_testing::OpenBrowserCount(), 0);
  // A newer client is installed: the next reply hands over.
  client.service().Control("/__control/state", {{"clientPath", "C:\\new"}, {"client", "0.7.0"}});
  ASSERT_TRUE(cef_testing::RunUntil([] { return !running.load(); }, 10000));
  EXPECT_FALSE(restartHost);
  // The game window's closure, never run, lets go of the handler it holds.
  EXPECT_TRUE(cef_testing::RunUntil([] { return SimpleHandler::GetInstance() == nullptr; }, 5000))
      << "the handler outlives the client";
}

// A newer client takes over even from a page that would rather stay.
TEST(ShellEnd, AQuitReplyClosesEvenAPageThatWouldRatherStay) {
  Client client(json{{"siteOrigin", kesta::kPrivateOrigin}});
  CefRefPtr<CefBrowser> game = startGame(client);
  ASSERT_TRUE(game);
  cef_testing::SetBeforeUnload(game, true, "Leave site?", false);
  client.service().Control("/__control/state", {{"clientPath", "C:\\new"}, {"client", "0.7.0"}});
  ASSERT_TRUE(cef_testing::RunUntil([] { return !running.load(); }, 10000));
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 0);
  EXPECT_FALSE(restartHost);
}

TEST(ShellEnd, ARelaunchWithNoBrowserShowsTheUpdateWindowOnlyWhileTheLaunchWaits) {
  Client client(json{{"launchReady", false}});
  ASSERT_TRUE(client.ready()) << client.failure();
  cef_testing::RunPending(1500);
  ASSERT_EQ(cef_testing::OpenBrowserCount(), 0);
  ASSERT_TRUE(DesktopWaitingForLaunch());

  // Shown by the relaunch itself, not by a later heartbeat reply.
  ShowWindow(updateWindow, SW_HIDE);
  int relaunches = cef_testing::RelaunchCount();
  ASSERT_TRUE(cef_testing::DeliverRelaunch(L"KESTA.exe", L"C:\\"));
  ASSERT_TRUE(cef_testing::RunUntil([&] { return cef_testing::RelaunchCount() == relaunches + 1; }, 5000));
  EXPECT_TRUE(IsWindowVisible(updateWindow));
  EXPECT_TRUE(cef_testing::LastRelaunchHandled());

  // Admitted, but the game window is not there (yet): nothing to show.
  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.admitted = true;
  }
  ShowWindow(updateWindow, SW_HIDE);
  relaunches = cef_testing::RelaunchCount();
  ASSERT_TRUE(cef_testing::DeliverRelaunch(L"KESTA.exe", L"C:\\"));
  ASSERT_TRUE(cef_testing::RunUntil([&] { return cef_testing::RelaunchCount() == relaunches + 1; }, 5000));
  cef_testing::RunPending(200);
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  EXPECT_TRUE(cef_testing::LastRelaunchHandled());
  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.admitted = false;
  }

  // Closing: a relaunch shows nothing and is still taken as handled, and a
  // reply that arrives now changes nothing.
  CefRefPtr<SimpleHandler> handler(SimpleHandler::GetInstance());
  ASSERT_TRUE(handler);
  handler->CloseAllBrowsers(true);
  ASSERT_TRUE(cef_testing::RunUntil([] { return !running.load(); }, 10000));
  EXPECT_TRUE(handler->IsClosing());
  ASSERT_TRUE(cef_testing::DeliverRelaunch(L"KESTA.exe", L"C:\\"));
  ASSERT_TRUE(cef_testing::RunUntil([&] { return cef_testing::RelaunchCount() == relaunches + 2; }, 5000));
  EXPECT_TRUE(cef_testing::LastRelaunchHandled());
  EXPECT_FALSE(IsWindowVisible(updateWindow));

  const double afterBefore = after;
  const int beats = client.service().Api(kesta::testing::service_http::verb::get, "/__control/journal")
                        .Json().value("heartbeats", 0);
  handler->DesktopApply(json{{"state", {{"siteOrigin", localOrigin}, {"generation", "g1"}}},
                             {"launch", {{"ready", true}, {"state", {{"siteOrigin", localOrigin}}}}},
                             {"commands", json::array({{{"id", 99}, {"type", "open"}, {"url", "https://late.example/"}}})}}
                            .dump());
  // Nor does a poll that was already due send a beat.
  handler->DesktopPoll();
  cef_testing::RunPending(1500);
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 0);
  EXPECT_EQ(after, afterBefore);
  EXPECT_TRUE(DesktopWaitingForLaunch());
  EXPECT_EQ(client.service().Api(kesta::testing::service_http::verb::get, "/__control/journal")
                .Json().value("heartbeats", 0),
            beats);
}

}  // namespace
