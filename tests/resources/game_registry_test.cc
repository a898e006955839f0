// The game-browser registry on real browsers: admission before and after the
// launch, the recorded pairs, and the dressing of the game window.
#include "game_runtime.h"

namespace kesta::desktop {
namespace {

using namespace game_test;

TEST_F(GameTest, BeforeAdmissionAGameBrowserIsClosedAndTheUpdateWindowShown) {
  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.admitted = false;
  }
  HWND updates = hiddenUpdateWindow();
  CefRefPtr<CefBrowser> refused = OpenGame();
  ASSERT_TRUE(refused);
  EXPECT_TRUE(RunUntil([&] { return client_->WasClosed(refused->GetIdentifier()); }));
  EXPECT_TRUE(IsWindowVisible(updates));
  EXPECT_FALSE(WindowCreated());

  // A web window is not the registry's business, admitted or not.
  CefRefPtr<CefBrowser> web = Open(webContext, kWebPage);
  ASSERT_TRUE(web);
  EXPECT_FALSE(client_->WasClosed(web->GetIdentifier()));
  EXPECT_FALSE(Registered(web));
}

TEST_F(GameTest, OnlyTheFirstGameWindowIsAdmittedWithTheGateClosed) {
  // Closed gate and a pending re-entry: the first window needs admission only.
  SetGate(true, true);
  CefRefPtr<CefBrowser> first = OpenGame();
  ASSERT_TRUE(first);
  EXPECT_TRUE(Registered(first));
  EXPECT_TRUE(WindowCreated());

  CefRefPtr<CefBrowser> second = OpenGame();
  ASSERT_TRUE(second);
  EXPECT_TRUE(RunUntil([&] { return client_->WasClosed(second->GetIdentifier()); }));
  EXPECT_FALSE(Registered(second));

  // A popup of the game window is a later game browser too.
  cef_testing::PopupResult popup = cef_testing::OpenPopup(first->GetMainFrame(), site_ + "/");
  ASSERT_TRUE(popup.browser);
  EXPECT_TRUE(RunUntil([&] { return client_->WasClosed(popup.browser->GetIdentifier()); }));

  SetGate(false, true);
  CefRefPtr<CefBrowser> stillPending = OpenGame();
  EXPECT_TRUE(RunUntil([&] { return client_->WasClosed(stillPending->GetIdentifier()); }));

  EXPECT_FALSE(DesktopAllowGamePopup());
  EXPECT_TRUE(DesktopNeedsReentry());
  SetGate(false, false);
  EXPECT_TRUE(DesktopAllowGamePopup());
  EXPECT_FALSE(DesktopNeedsReentry());
  CefRefPtr<CefBrowser> third = OpenGame();
  EXPECT_TRUE(Registered(third));
  EXPECT_FALSE(client_->WasClosed(third->GetIdentifier()));
}

TEST_F(GameTest, AfterTheLastGameWindowClosedANewOneIsStillALaterOne) {
  CefRefPtr<CefBrowser> first = OpenGame();
  ASSERT_TRUE(Registered(first));
  first->GetHost()->CloseBrowser(true);
  ASSERT_TRUE(RunUntil([&] { return client_->WasClosed(first->GetIdentifier()); }));
  EXPECT_FALSE(Registered(first));
  EXPECT_TRUE(WindowCreated());

  SetGate(true, false);
  CefRefPtr<CefBrowser> again = OpenGame();
  EXPECT_TRUE(RunUntil([&] { return client_->WasClosed(again->GetIdentifier()); }));
  EXPECT_TRUE(WindowCreated());
}

TEST_F(GameTest, TheRecordedPairOutlivesChangesOfTheGlobals) {
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  {
    std::lock_guard lock(browserMutex);
    generation = "later";
    origin = "https://later.kesta.test";
  }
  EXPECT_EQ(DesktopBrowserGeneration(game), generation_);
  EXPECT_EQ(DesktopBrowserOrigin(game), kSite);
  // The page's requests to its origin still carry the generation it was
  // admitted with.
  const std::string api = site_ + "/api/game/status?marker=recorded";
  Get(game->GetMainFrame(), api);
  const HookCall call = client_->Last(api);
  EXPECT_EQ(call.result, RV_CONTINUE);
  EXPECT_EQ(valuesOf(call.headers, "x-kesta-generation"), std::vector<std::string>{generation_});
  {
    std::lock_guard lock(browserMutex);
    generation = generation_;
  }

  CefRefPtr<CefBrowser> web = Open(webContext, kWebPage);
  for (CefRefPtr<CefBrowser> other : {CefRefPtr<CefBrowser>(), web}) {
    EXPECT_FALSE(DesktopIsGame(other));
    EXPECT_EQ(DesktopBrowserGeneration(other), "");
    EXPECT_EQ(DesktopBrowserOrigin(other), "");
  }
}

TEST_F(GameTest, ReentryRequests) {
  // Stopped: nothing, not even the restart flag.
  restartHost = false;
  running = false;
  DesktopRequestReentry(true);
  running = true;
  EXPECT_FALSE(restartHost);
  // Without a browser client only the flag is set.
  DesktopRequestReentry(true);
  EXPECT_TRUE(restartHost);
  DesktopRequestReentry(false);
  EXPECT_FALSE(restartHost);
}

TEST_F(GameTest, TheGameWindowIsDressedAfterAdmission) {
  appIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  HWND updates = hiddenUpdateWindow();
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  HWND window = cef_testing::TopLevelWindow(game);
  ASSERT_TRUE(window);
  ASSERT_TRUE(RunUntil([&] { return windowText(window) == L"Ostrel"; }, 3000)) << windowText(window).size();

  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0)), appIcon);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0)), appIcon);

  HMENU menu = GetSystemMenu(window, FALSE);
  const int count = GetMenuItemCount(menu);
  ASSERT_GE(count, 2);
  wchar_t text[64] = {};
  GetMenuStringW(menu, 336, text, 64, MF_BYCOMMAND);
  // "资源与更新…" as UTF-16 code units, independent of the client's conversion.
  EXPECT_EQ(std::wstring(text), L"\u8D44\u6E90\u4E0E\u66F4\u65B0\u2026");
  EXPECT_EQ(GetMenuItemID(menu, count - 1), 336u);
  MENUITEMINFOW separator = {};
  separator.cbSize = sizeof separator;
  separator.fMask = MIIM_FTYPE;
  ASSERT_TRUE(GetMenuItemInfoW(menu, count - 2, TRUE, &separator));
  EXPECT_TRUE(separator.fType & MFT_SEPARATOR);

  // The command with its four low bits set still opens the update window,
  // and is consumed: the window is neither moved nor closed.
  EXPECT_EQ(SendMessageW(window, WM_SYSCOMMAND, 336 | 0xF, 0), 0);
  EXPECT_TRUE(IsWindowVisible(updates));
  ShowWindow(updates, SW_HIDE);
  EXPECT_EQ(SendMessageW(window, WM_SYSCOMMAND, 336 | 0x3, 0), 0);
  EXPECT_TRUE(IsWindowVisible(updates));

  // Without an update window the command is consumed all the same.
  updateWindow = nullptr;
  EXPECT_EQ(SendMessageW(window, WM_SYSCOMMAND, 336, 0), 0);
  EXPECT_TRUE(IsWindow(window));
  updateWindow = updates;
  EXPECT_FALSE(IsIconic(window));
}

TEST_F(GameTest, NoDressingOnceTheDesktopLayerHasStopped) {
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  HWND window = cef_testing::TopLevelWindow(game);
  running = false;
  runFor(400);
  running = true;
  EXPECT_NE(windowText(window), L"Ostrel");

  // A window closed before the dressing is left alone.
  CefRefPtr<CefBrowser> brief = OpenGame();
  brief->GetHost()->CloseBrowser(true);
  runFor(400);
  EXPECT_TRUE(client_->WasClosed(brief->GetIdentifier()));
}

}  // namespace
}  // namespace kesta::desktop
