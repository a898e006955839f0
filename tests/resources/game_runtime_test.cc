// Game browsers, the request access rules and the local HTTPS handler in the
// running runtime: real browsers in real windows, loads through the runtime's
// network road, and kesta-service.exe serving a copy of the sample game.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "desktop/desktop.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "desktop/local_handler.h"
#include "include/base/cef_callback.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "include/cef_request.h"
#include "include/cef_request_context.h"
#include "include/cef_response.h"
#include "include/wrapper/cef_closure_task.h"
#include "loopback_server.h"
#include "service/service_harness_win.h"
#include "testing/driver.h"
#include "testing/runtime.h"

namespace kesta::desktop {
namespace {

namespace fs = std::filesystem;
using cef_testing::LoadResource;
using cef_testing::ResourceResult;
using cef_testing::RunUntil;
using kesta::testing::LoopbackServer;
using kesta::testing::ReceivedRequest;
using kesta::testing::ServiceHarness;
using nlohmann::json;

constexpr char kSite[] = "https://play.kesta.test";
constexpr char kAssets[] = "https://assets.kesta.test";
constexpr char kForeignFrame[] = "https://ads.foreign.test/frame.html";
constexpr char kWebPage[] = "https://web.foreign.test/page.html";
// Served by the engine pool under the generation's "files".
constexpr char kEmptyFile[] = "engine/empty.txt";
constexpr char kBigFile[] = "engine/big.bin";

std::string lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Every value of a header, whatever the case of its name.
std::vector<std::string> valuesOf(const std::multimap<std::string, std::string>& headers, const std::string& name) {
  std::vector<std::string> out;
  for (const auto& [key, value] : headers) {
    if (lower(key) == lower(name))
      out.push_back(value);
  }
  return out;
}

std::string bigFileContent() {
  std::string bytes(200 * 1024, '\0');
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

// What the client's OnBeforeResourceLoad answered and what the request
// carried on afterwards.
struct HookCall {
  std::string url;
  cef_return_value_t result;
  std::multimap<std::string, std::string> headers;
};

// A browser client wired to the desktop layer as the shell wires it: the
// registry on creation and close, the access rules before every load.
class GameClient : public CefClient,
                   public CefLifeSpanHandler,
                   public CefLoadHandler,
                   public CefRequestHandler,
                   public CefResourceRequestHandler {
 public:
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  CefRefPtr<CefRequestHandler> GetRequestHandler() override { return this; }

  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override {
    created.push_back(browser);
    DesktopBrowserCreated(browser);
  }
  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override {
    DesktopBrowserClosed(browser);
    closed.push_back(browser->GetIdentifier());
  }
  void OnLoadingStateChange(CefRefPtr<CefBrowser> browser, bool isLoading, bool, bool) override {
    if (!isLoading)
      loaded.push_back(browser->GetIdentifier());
  }

  CefRefPtr<CefResourceRequestHandler> GetResourceRequestHandler(CefRefPtr<CefBrowser>,
                                                                 CefRefPtr<CefFrame>,
                                                                 CefRefPtr<CefRequest>,
                                                                 bool,
                                                                 bool,
                                                                 const CefString&,
                                                                 bool&) override {
    return this;
  }

  // IO thread.
  ReturnValue OnBeforeResourceLoad(CefRefPtr<CefBrowser> browser,
                                   CefRefPtr<CefFrame> frame,
                                   CefRefPtr<CefRequest> request,
                                   CefRefPtr<CefCallback>) override {
    const cef_return_value_t result = DesktopResource(browser, frame, request);
    HookCall call{request->GetURL().ToString(), result, {}};
    CefRequest::HeaderMap map;
    request->GetHeaderMap(map);
    for (const auto& [name, value] : map)
      call.headers.emplace(name.ToString(), value.ToString());
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
    return result;
  }

  // The last hook call for `url`.
  HookCall Last(const std::string& url) {
    std::lock_guard lock(mutex_);
    for (auto it = calls_.rbegin(); it != calls_.rend(); ++it) {
      if (it->url == url)
        return *it;
    }
    ADD_FAILURE() << "no load of " << url;
    return {url, RV_CONTINUE, {}};
  }

  bool WasLoaded(int id) const { return std::count(loaded.begin(), loaded.end(), id) != 0; }
  bool WasClosed(int id) const { return std::count(closed.begin(), closed.end(), id) != 0; }

  // UI thread.
  std::vector<CefRefPtr<CefBrowser>> created;
  std::vector<int> closed;
  std::vector<int> loaded;

 private:
  std::mutex mutex_;  // guards calls_ (IO thread writes, UI thread reads)
  std::vector<HookCall> calls_;
  IMPLEMENT_REFCOUNTING(GameClient);
};

// The service, the runtime and the desktop layer's contexts, once for the
// program, as start-up leaves them (globals set directly, no DesktopPrepare).
class GameEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::random_device seed;
    service = std::make_unique<ServiceHarness>(kesta::testing::WindowsPath(KESTA_SERVICE_EXE),
                                               kesta::testing::WindowsPath(KESTA_SAMPLE_RESOURCES),
                                               fs::temp_directory_path() / ("kesta-game-" + std::to_string(seed())));
    addEngineFiles();
    ASSERT_TRUE(service->Start()) << kesta::testing::ReadTextFile(service->root() / "service.log");

    runtime = std::make_unique<cef_testing::ScopedRuntime>();
    ASSERT_TRUE(runtime->initialized());

    localOrigin = service->origin();
    token = service->token();
    const std::u8string data = service->data().generic_u8string();
    dataDir.assign(data.begin(), data.end());
    origin = kSite;
    initialState = service->Api(kesta::testing::service_http::verb::get, kInfoPath).body;
    running = true;
    DesktopContextInitialized();
    ASSERT_TRUE(RunUntil([] { return webContextReady && networkPolicy.contextsApplied.load(); }, 10000))
        << initialState << "\n" << proxyError;
    // The initial state reached every step of the set-up.
    ASSERT_EQ(generation, "bundled");
    ASSERT_EQ(activation, 1);
    ASSERT_EQ(proxyError, "");
    {
      std::lock_guard lock(browserMutex);
      ASSERT_EQ(poolBindings.count("bundled"), 1u);
    }

    foreignFrames = std::make_unique<cef_testing::PageServer>(gameContext, "https", "ads.foreign.test");
    foreignFrames->Serve(kForeignFrame, "<title>ad</title>");
    webPages = std::make_unique<cef_testing::PageServer>(webContext, "https", "web.foreign.test");
    webPages->Serve(kWebPage, "<title>web</title>");
  }

  void TearDown() override {
    for (auto& browser : cef_testing::OpenBrowsers())
      browser->GetHost()->CloseBrowser(true);
    RunUntil([] { return cef_testing::OpenBrowserCount() == 0; });
    foreignFrames.reset();
    webPages.reset();
    DesktopStop();
    runtime.reset();
    service.reset();
  }

  // Test files in the bundle's engine pool, listed in its manifest, which
  // both the service and the client read.
  void addEngineFiles() {
    const fs::path engine = service->bundle() / "pools" / "engine";
    std::ofstream(engine / "empty.txt", std::ios::binary).flush();
    std::ofstream(engine / "big.bin", std::ios::binary) << bigFileContent();
    std::ofstream(engine / "ab.js", std::ios::binary) << "ab";
    json manifest = json::parse(kesta::testing::ReadTextFile(engine / "pool-manifest.json"));
    manifest["files"][kEmptyFile] = "empty.txt";
    manifest["files"][kBigFile] = "big.bin";
    // An escaped separator in a file key: the client keeps the escape when it
    // compares, the service decodes it.
    manifest["files"]["a%2Fb.js"] = "ab.js";
    std::ofstream(engine / "pool-manifest.json", std::ios::trunc) << manifest.dump(2);
  }

  std::unique_ptr<ServiceHarness> service;
  std::unique_ptr<cef_testing::ScopedRuntime> runtime;
  std::unique_ptr<cef_testing::PageServer> foreignFrames;
  std::unique_ptr<cef_testing::PageServer> webPages;
};

GameEnvironment* const environment =
    static_cast<GameEnvironment*>(::testing::AddGlobalTestEnvironment(new GameEnvironment()));

class GameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = new GameClient();
    std::lock_guard lock(browserMutex);
    site_ = origin = kSite;
    generation_ = generation;
    // Admitted for the current generation and origin, gate open, no game
    // window yet.
    gameWindowCreated = false;
    resourceLaunch.admitted = true;
    resourceLaunch.updateGate = false;
    resourceLaunch.admittedGeneration = resourceLaunch.observedGeneration = generation;
    resourceLaunch.admittedOrigin = resourceLaunch.observedOrigin = origin;
  }

  void TearDown() override {
    for (auto& browser : cef_testing::OpenBrowsers())
      browser->GetHost()->CloseBrowser(true);
    EXPECT_TRUE(RunUntil([] { return cef_testing::OpenBrowserCount() == 0; }));
    client_ = nullptr;
    cef_testing::WaitForUIIdle();
    std::lock_guard lock(browserMutex);
    EXPECT_TRUE(gameBrowsers.empty());
    origin = kSite;
  }

  // A browser of `context` opened on `url`; waits until its first load has
  // finished or the browser has been closed again.
  CefRefPtr<CefBrowser> Open(CefRefPtr<CefRequestContext> context, const std::string& url) {
    CefWindowInfo info;
    info.SetAsPopup(nullptr, "Game test");
    const size_t before = client_->created.size();
    EXPECT_TRUE(CefBrowserHost::CreateBrowser(info, client_.get(), url, CefBrowserSettings(), nullptr, context));
    if (!RunUntil([&] { return client_->created.size() > before; }))
      return nullptr;
    CefRefPtr<CefBrowser> browser = client_->created.back();
    const int id = browser->GetIdentifier();
    RunUntil([&] { return client_->WasLoaded(id) || client_->WasClosed(id); });
    return browser;
  }

  CefRefPtr<CefBrowser> OpenGame(const std::string& path = "/") { return Open(gameContext, site_ + path); }

  bool Registered(CefRefPtr<CefBrowser> browser) {
    std::lock_guard lock(browserMutex);
    return gameBrowsers.count(browser->GetIdentifier()) != 0;
  }

  bool WindowCreated() {
    std::lock_guard lock(browserMutex);
    return gameWindowCreated;
  }

  void SetGate(bool updateGate, bool reentry) {
    std::lock_guard lock(browserMutex);
    resourceLaunch.updateGate = updateGate;
    resourceLaunch.observedGeneration = reentry ? "moved-on" : resourceLaunch.admittedGeneration;
  }

  // Service journal entries whose target is exactly `target`.
  std::vector<json> Journal(const std::string& target) {
    const json journal =
        environment->service->Api(kesta::testing::service_http::verb::get, "/__control/journal").Json();
    std::vector<json> out;
    for (const json& entry : journal["requests"]) {
      if (entry["target"] == target)
        out.push_back(entry);
    }
    return out;
  }

  ResourceResult Get(CefRefPtr<CefFrame> frame,
                     const std::string& url,
                     const std::multimap<std::string, std::string>& headers = {}) {
    return LoadResource(frame, "GET", url, headers);
  }

  CefRefPtr<GameClient> client_;
  std::string site_;
  std::string generation_;
};

// Runs the UI loop for `ms` milliseconds, whatever is due.
void runFor(int ms) {
  RunUntil([] { return false; }, ms);
}

std::wstring windowText(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

HWND hiddenUpdateWindow() {
  if (!updateWindow)
    updateWindow = CreateWindowExW(0, L"STATIC", L"updates", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                   nullptr, nullptr);
  ShowWindow(updateWindow, SW_HIDE);
  return updateWindow;
}

// --- the registry ---

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
  EXPECT_EQ(std::wstring(text), wide("资源与更新…"));
  EXPECT_EQ(GetMenuItemID(menu, count - 1), 336u);
  MENUITEMINFOW separator{sizeof separator, MIIM_FTYPE};
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

// --- access rules through the runtime ---

TEST_F(GameTest, AGamePagesRequestsToItsOrigin) {
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  CefRefPtr<CefFrame> main = game->GetMainFrame();
  const std::string bearer = "Bearer " + token;

  // A file: the page's forged generation is replaced, its own authorization
  // of another value kept; the handler fetches it with the browser's
  // generation and the token.
  const std::string file = site_ + "/engine/game.js?marker=file";
  ResourceResult loaded = Get(main, file, {{"x-kesta-GENERATION", "forged"}, {"Authorization", "Bearer page"}});
  EXPECT_EQ(loaded.status, 200);
  EXPECT_EQ(loaded.body, kesta::testing::ReadTextFile(environment->service->bundle() / "pools/engine/game.js"));
  HookCall hook = client_->Last(file);
  EXPECT_EQ(hook.result, RV_CONTINUE);
  EXPECT_EQ(valuesOf(hook.headers, "x-kesta-generation"), std::vector<std::string>{generation_});
  EXPECT_EQ(valuesOf(hook.headers, "authorization"), std::vector<std::string>{"Bearer page"});
  const auto served = Journal("/engine/game.js?marker=file");
  ASSERT_EQ(served.size(), 1u);
  EXPECT_EQ(served[0]["generation"], generation_);
  EXPECT_EQ(served[0]["authorized"], true);

  // The service's API from the page's own frame gets the token (and then
  // leaves through the network, which has no TLS here).
  for (const std::string path : {"/api/game/status", "/api/updates", "/api/host?x=1"}) {
    Get(main, site_ + path);
    hook = client_->Last(site_ + path);
    EXPECT_EQ(hook.result, RV_CONTINUE) << path;
    EXPECT_EQ(valuesOf(hook.headers, "authorization"), std::vector<std::string>{bearer}) << path;
    EXPECT_EQ(valuesOf(hook.headers, "x-kesta-generation"), std::vector<std::string>{generation_}) << path;
  }
  // Never the update and launch endpoints.
  for (const std::string path : {"/api/launch", "/api/launch?go=1", "/api/launchpad", "/api/launch/x",
                                 "/api/updates/", "/api/updates/accept"}) {
    const ResourceResult refused = Get(main, site_ + path);
    EXPECT_EQ(client_->Last(site_ + path).result, RV_CANCEL) << path;
    EXPECT_EQ(refused.error, ERR_ABORTED) << path;
  }
}

TEST_F(GameTest, UntilThePolicyIsInForceAGamePageReachesOnlyItsOrigin) {
  LoopbackServer foreign([](const ReceivedRequest&) { return LoopbackServer::Response(200, "ok"); });
  const std::string elsewhere = "http://127.0.0.1:" + std::to_string(foreign.port()) + "/x";
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));

  networkPolicy.contextsApplied = false;
  const ResourceResult early = Get(game->GetMainFrame(), elsewhere, {{"Authorization", "Bearer " + token}});
  const ResourceResult own = Get(game->GetMainFrame(), site_ + "/engine/game.js");
  networkPolicy.contextsApplied = true;
  EXPECT_EQ(early.error, ERR_ABORTED);
  EXPECT_TRUE(foreign.Requests().empty());
  EXPECT_EQ(own.status, 200);

  const ResourceResult later = Get(game->GetMainFrame(), elsewhere, {{"Authorization", "Bearer " + token}});
  EXPECT_EQ(later.status, 200);
  ASSERT_EQ(foreign.Requests().size(), 1u);
  EXPECT_FALSE(foreign.Requests()[0].Header("Authorization"));
}

TEST_F(GameTest, AForeignFrameInAGamePageMayNotCallTheService) {
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  CefRefPtr<CefFrame> ad = cef_testing::CreateSubFrame(game, "ad", kForeignFrame);
  ASSERT_TRUE(RunUntil([&] { return ad->GetURL().ToString() == kForeignFrame; }));
  EXPECT_EQ(client_->Last(kForeignFrame).result, RV_CONTINUE);

  const std::string api = site_ + "/api/game/status";
  Get(ad, api);
  EXPECT_EQ(client_->Last(api).result, RV_CANCEL);
  // Files of the origin are open to it, with the generation header.
  const ResourceResult file = Get(ad, site_ + "/engine/style.css");
  EXPECT_EQ(file.status, 200);
  EXPECT_EQ(valuesOf(client_->Last(site_ + "/engine/style.css").headers, "x-kesta-generation"),
            std::vector<std::string>{generation_});

  // The same request without a frame is refused as well.
  CefRefPtr<CefRequest> request = CefRequest::Create();
  request->SetURL(api);
  EXPECT_EQ(DesktopResource(game, nullptr, request), RV_CANCEL);
}

TEST_F(GameTest, AWebWindowReachesNeitherTheSiteOriginNorTheService) {
  CefRefPtr<CefBrowser> web = Open(webContext, kWebPage);
  ASSERT_TRUE(web);
  CefRefPtr<CefFrame> main = web->GetMainFrame();

  for (const std::string url : {site_ + "/", site_ + "/engine/game.js", localOrigin + "/api/info"}) {
    EXPECT_EQ(Get(main, url).error, ERR_ABORTED) << url;
    EXPECT_EQ(client_->Last(url).result, RV_CANCEL) << url;
  }
  // Also when the site origin is the service itself.
  {
    std::lock_guard lock(browserMutex);
    origin = localOrigin;
  }
  const std::string file = localOrigin + "/engine/game.js?marker=web";
  EXPECT_EQ(Get(main, file).error, ERR_ABORTED);
  EXPECT_TRUE(Journal("/engine/game.js?marker=web").empty());

  // A navigation of the web window to the site origin goes nowhere.
  {
    std::lock_guard lock(browserMutex);
    origin = kSite;
  }
  cef_testing::NavigateMainFrame(web, site_ + "/");
  RunUntil([&] { return client_->Last(site_ + "/").result == RV_CANCEL; });
  EXPECT_EQ(client_->Last(site_ + "/").result, RV_CANCEL);
}

TEST_F(GameTest, AGameServedStraightFromTheLoopbackOrigin) {
  {
    std::lock_guard lock(browserMutex);
    site_ = origin = localOrigin;
    resourceLaunch.admittedOrigin = resourceLaunch.observedOrigin = origin;
  }
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  EXPECT_EQ(DesktopBrowserOrigin(game), localOrigin);
  CefRefPtr<CefFrame> main = game->GetMainFrame();

  ResourceResult file = Get(main, localOrigin + "/engine/game.js?marker=loop");
  EXPECT_EQ(file.status, 200);
  auto seen = Journal("/engine/game.js?marker=loop");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0]["generation"], generation_);
  EXPECT_EQ(seen[0]["authorized"], false);

  ResourceResult status = Get(main, localOrigin + "/api/game/status?marker=loop");
  EXPECT_EQ(status.status, 200);
  EXPECT_EQ(json::parse(status.body, nullptr, false)["generation"], generation_);
  seen = Journal("/api/game/status?marker=loop");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0]["authorized"], true);

  for (const std::string path : {"/api/launch?marker=loop", "/api/updates/defer?marker=loop"}) {
    EXPECT_EQ(Get(main, localOrigin + path).error, ERR_ABORTED) << path;
    EXPECT_TRUE(Journal(path).empty()) << path;
  }
}

TEST_F(GameTest, NoRequestLeavesForAForeignOriginWithTheClientsCredentials) {
  LoopbackServer foreign([](const ReceivedRequest&) { return LoopbackServer::Response(200, "ok"); });
  const std::string foreignPort = std::to_string(foreign.port());
  const std::string servicePort = std::to_string(environment->service->port());

  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  CefRefPtr<CefFrame> ad = cef_testing::CreateSubFrame(game, "ad", kForeignFrame);
  ASSERT_TRUE(RunUntil([&] { return ad->GetURL().ToString() == kForeignFrame; }));
  CefRefPtr<CefBrowser> web = Open(webContext, kWebPage);
  const std::vector<CefRefPtr<CefFrame>> frames = {game->GetMainFrame(), ad, web->GetMainFrame()};

  // Foreign origins on loopback: another server, and the service itself
  // under other names for the loopback host.
  const std::vector<std::string> foreignOrigins = {"http://127.0.0.1:" + foreignPort, "http://localhost:" + foreignPort,
                                                   "http://LOCALHOST:" + foreignPort};
  const std::vector<std::string> serviceAliases = {"http://localhost:" + servicePort,
                                                   "http://LocalHost:" + servicePort};
  const std::vector<std::string> names = {"Authorization",      "authorization",      "AUTHORIZATION",
                                          "AuThOrIzAtIoN",      "X-KESTA-Generation", "x-kesta-generation",
                                          "X-Kesta-Generation", "X-KESTA-GENERATION", "Proxy-Authorization",
                                          "proxy-authorization"};
  const std::vector<std::string> values = {"Bearer " + token, "Bearer " + token, generation_, "Basic a2VzdGE6eA=="};

  std::mt19937 random(7);
  int sentForeign = 0;
  int sentService = 0;
  for (int i = 0; i < 240; ++i) {
    const bool toService = i % 4 == 3;
    const auto& origins = toService ? serviceAliases : foreignOrigins;
    const std::string base = origins[random() % origins.size()];
    const std::string path = (i % 3 == 0 ? "/api/info" : "/engine/game.js") + std::string("?sweep=") + std::to_string(i);
    std::multimap<std::string, std::string> headers;
    for (int n = static_cast<int>(random() % 4); n >= 0; --n)
      headers.emplace(names[random() % names.size()], values[random() % values.size()]);
    const ResourceResult result = Get(frames[i % frames.size()], base + path, headers);
    ASSERT_TRUE(result.completed) << base + path;
    ASSERT_EQ(result.error, ERR_NONE) << base + path;
    ++(toService ? sentService : sentForeign);
  }

  const std::vector<ReceivedRequest> received = foreign.Requests();
  EXPECT_EQ(static_cast<int>(received.size()), sentForeign);
  for (const ReceivedRequest& request : received) {
    for (const auto& [name, value] : request.headers) {
      EXPECT_EQ(value.find(token), std::string::npos) << request.target << " " << name;
      EXPECT_NE(lower(name), "x-kesta-generation") << request.target;
      EXPECT_NE(lower(name), "proxy-authorization") << request.target;
    }
  }
  const json journal = environment->service->Api(kesta::testing::service_http::verb::get, "/__control/journal").Json();
  int seenService = 0;
  for (const json& entry : journal["requests"]) {
    if (entry["target"].get<std::string>().find("?sweep=") == std::string::npos)
      continue;
    ++seenService;
    EXPECT_EQ(entry["authorized"], false) << entry.dump();
    EXPECT_EQ(entry["generation"], "") << entry.dump();
  }
  EXPECT_EQ(seenService, sentService);
}

// --- the local HTTPS handler ---

TEST_F(GameTest, TheHandlerServesTheOriginsFilesFromTheService) {
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  CefRefPtr<CefFrame> main = game->GetMainFrame();
  const fs::path engine = environment->service->bundle() / "pools" / "engine";

  // The start page and the client scripts.
  ResourceResult page = Get(main, site_ + "/");
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.mime_type, "text/html");
  EXPECT_EQ(page.body, kesta::testing::ReadTextFile(engine / "index.html"));
  ResourceResult bridge = Get(main, site_ + "/__client/bridge.js");
  EXPECT_EQ(bridge.status, 200);
  EXPECT_EQ(bridge.body, kesta::testing::ReadTextFile(environment->service->bundle() / "client/bridge.js"));

  // Other escapes are decoded for the comparison; the service gets the path
  // as requested, with its query.
  ResourceResult escaped = Get(main, site_ + "/engine/g%61me.js?v=2");
  EXPECT_EQ(escaped.status, 200);
  EXPECT_EQ(escaped.body, kesta::testing::ReadTextFile(engine / "game.js"));
  EXPECT_EQ(Journal("/engine/g%61me.js?v=2").size(), 1u);

  // An escaped '/' stays escaped: "engine%2Fgame.js" is not "engine/game.js"
  // and goes to the network, "a%2Fb.js" is bound under that very spelling.
  const ResourceResult unbound = Get(main, site_ + "/engine%2Fgame.js");
  EXPECT_EQ(unbound.error, ERR_CONNECTION_FAILED);
  EXPECT_TRUE(Journal("/engine%2Fgame.js").empty());
  // The service decodes it to "a/b.js", which it does not have: its 404
  // reaches the page as it came.
  const ResourceResult missing = Get(main, site_ + "/a%2Fb.js");
  const kesta::testing::HttpAnswer direct = environment->service->File("/a%2Fb.js");
  EXPECT_EQ(direct.status, 404);
  EXPECT_EQ(missing.error, ERR_NONE);
  EXPECT_EQ(missing.status, 404);
  EXPECT_EQ(missing.body, direct.body);
  EXPECT_EQ(valuesOf(missing.headers, "content-type"), std::vector<std::string>{direct.Header("content-type")});

  // A bound absolute URL of another origin comes from its pool path,
  // without the query.
  const std::string font = std::string(kAssets) + "/engine/font.txt";
  ResourceResult bound = Get(main, font + "?cache=1");
  EXPECT_EQ(bound.status, 200);
  EXPECT_EQ(bound.body, kesta::testing::ReadTextFile(engine / "font.txt"));
  const auto seen = Journal("/__pool/engine/font.txt");
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back()["generation"], generation_);

  // An empty file is an empty, complete answer.
  ResourceResult empty = Get(main, site_ + "/" + kEmptyFile);
  EXPECT_TRUE(empty.completed);
  EXPECT_EQ(empty.status, 200);
  EXPECT_EQ(empty.body, "");
}

TEST_F(GameTest, ARangeRequestIsAnsweredWithPartialContent) {
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  const std::string content = bigFileContent();

  ResourceResult part = Get(game->GetMainFrame(), site_ + "/" + kBigFile + "?part=1", {{"Range", "bytes=1000-1999"}});
  EXPECT_EQ(part.status, 206);
  EXPECT_EQ(part.body, content.substr(1000, 1000));
  EXPECT_EQ(valuesOf(part.headers, "content-range"),
            std::vector<std::string>{"bytes 1000-1999/" + std::to_string(content.size())});
  const auto seen = Journal(std::string("/") + kBigFile + "?part=1");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0]["range"], "bytes=1000-1999");

  ResourceResult whole = Get(game->GetMainFrame(), site_ + "/" + kBigFile);
  EXPECT_EQ(whole.status, 200);
  EXPECT_EQ(whole.body.size(), content.size());
  EXPECT_TRUE(whole.body == content);
}

TEST_F(GameTest, TheFactoryTakesOnlyTheGamesResources) {
  const std::string other = "https://cdn.other.test";
  {
    std::lock_guard lock(browserMutex);
    poolBindings["factory"] = {{"@engine:/a%2Fb.js", ""},
                               {"@engine:/x/y.js", ""},
                               {"@engine:/sp ace.js", ""},
                               {site_ + "/abs.png", "/__pool/art/abs.png"},
                               {other + "/m.json", "/__pool/maps/m.json"},
                               {other + "/empty", ""},
                               {other + "/__client/migration/page", "/__pool/engine/page"}};
    generation = "factory";
  }
  LocalFactory factory;
  // The service path and generation of the handler made, "-" for none.
  auto take = [&](CefRefPtr<CefBrowser> browser, const std::string& url) -> std::string {
    CefRefPtr<CefRequest> request = CefRequest::Create();
    request->SetURL(url);
    CefRefPtr<CefResourceHandler> handler = factory.Create(browser, nullptr, "https", request);
    if (!handler)
      return "-";
    auto* response = static_cast<LocalResponse*>(handler.get());
    return response->servicePath() + " " + response->requestGeneration();
  };

  EXPECT_EQ(take(nullptr, site_ + "/"), "/ factory");
  EXPECT_EQ(take(nullptr, site_ + "/?q=1"), "/?q=1 factory");
  EXPECT_EQ(take(nullptr, site_ + "/__client/bridge.js?v=1"), "/__client/bridge.js?v=1 factory");
  EXPECT_EQ(take(nullptr, site_ + "/__client/game-observer.js"), "/__client/game-observer.js factory");
  EXPECT_EQ(take(nullptr, site_ + "/__client/other.js"), "-");
  EXPECT_EQ(take(nullptr, site_), "-");
  EXPECT_EQ(take(nullptr, site_ + ".evil.test/"), "-");
  // Escaped separators are compared escaped, other escapes decoded; '+' is
  // not a space.
  EXPECT_EQ(take(nullptr, site_ + "/a%2Fb.js"), "/a%2Fb.js factory");
  EXPECT_EQ(take(nullptr, site_ + "/a%2fb.js"), "-");
  EXPECT_EQ(take(nullptr, site_ + "/a/b.js"), "-");
  EXPECT_EQ(take(nullptr, site_ + "/x%2Fy.js"), "-");
  EXPECT_EQ(take(nullptr, site_ + "/x/y.js?z"), "/x/y.js?z factory");
  EXPECT_EQ(take(nullptr, site_ + "/sp%20ace.js?x"), "/sp%20ace.js?x factory");
  EXPECT_EQ(take(nullptr, site_ + "/sp+ace.js"), "-");
  // Absolute bindings, under the origin or not: the bound path, no query.
  EXPECT_EQ(take(nullptr, site_ + "/abs.png?x=1"), "/__pool/art/abs.png factory");
  EXPECT_EQ(take(nullptr, other + "/m.json?v=3"), "/__pool/maps/m.json factory");
  EXPECT_EQ(take(nullptr, other + "/M.json"), "-");
  EXPECT_EQ(take(nullptr, other + "/empty"), "-");

  // A migration page loads the ordinary way even when bound.
  EXPECT_EQ(take(nullptr, other + "/__client/migration/page"), "/__pool/engine/page factory");
  accessRootSPKI = "spki";
  migrationSources = {other};
  EXPECT_EQ(take(nullptr, other + "/__client/migration/page"), "-");
  accessRootSPKI.clear();
  migrationSources.clear();

  // A registered browser is decided by its own generation and origin; others
  // and no browser by the globals.
  CefRefPtr<CefBrowser> web = Open(webContext, kWebPage);
  ASSERT_TRUE(web);
  {
    std::lock_guard lock(browserMutex);
    generation = "nowhere";
    gameBrowsers[web->GetIdentifier()] = {"factory", "https://other-site.test"};
  }
  EXPECT_EQ(take(web, "https://other-site.test/x/y.js"), "/x/y.js factory");
  EXPECT_EQ(take(web, site_ + "/x/y.js"), "-");
  {
    std::lock_guard lock(browserMutex);
    gameBrowsers.erase(web->GetIdentifier());
    generation = "factory";
  }
  // Unregistered again: the globals decide.
  EXPECT_EQ(take(web, site_ + "/x/y.js"), "/x/y.js factory");
  EXPECT_EQ(take(web, "https://other-site.test/x/y.js"), "-");
  {
    std::lock_guard lock(browserMutex);
    generation = "nowhere";
  }
  // A generation without bindings serves nothing, not even the start page.
  EXPECT_EQ(take(nullptr, site_ + "/"), "-");
  {
    std::lock_guard lock(browserMutex);
    gameBrowsers.erase(web->GetIdentifier());
    generation = generation_;
  }
}

// A page's POST reaches the service as one body with only the headers the
// handler carries over. A recording server stands in for the service here,
// since the service refuses POSTs to files.
TEST_F(GameTest, APostReachesTheServiceWithItsBodyAndOnlyTheCarriedHeaders) {
  LoopbackServer recorder([](const ReceivedRequest&) {
    return LoopbackServer::Response(201, "made", {"Content-Type: application/x-made", "X-Answer: 1"});
  });
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  const std::string service = localOrigin;
  localOrigin = "http://127.0.0.1:" + std::to_string(recorder.port());

  const std::string body("{\"a\":1}\0\xFF\r\n", 11);
  ResourceResult posted = LoadResource(game->GetMainFrame(), "POST", site_ + "/engine/game.js?q=1",
                                       {{"Content-Type", "application/json"},
                                        {"Range", "bytes=0-"},
                                        {"X-Page", "1"},
                                        {"Cookie", "a=b"}},
                                       body);
  localOrigin = service;

  EXPECT_EQ(posted.status, 201);
  EXPECT_EQ(posted.mime_type, "application/x-made");
  EXPECT_EQ(posted.body, "made");
  EXPECT_EQ(valuesOf(posted.headers, "x-answer"), std::vector<std::string>{"1"});
  const auto received = recorder.Requests();
  ASSERT_EQ(received.size(), 1u);
  const ReceivedRequest& request = received[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/engine/game.js?q=1");
  EXPECT_EQ(request.body, body);
  EXPECT_EQ(request.Header("Authorization"), "Bearer " + token);
  EXPECT_EQ(request.Header("X-KESTA-Generation"), generation_);
  EXPECT_EQ(request.Header("Content-Type"), "application/json");
  EXPECT_EQ(request.Header("Range"), "bytes=0-");
  EXPECT_FALSE(request.Header("X-Page"));
  EXPECT_FALSE(request.Header("Cookie"));
}

// Handler operations driven one by one, as the runtime drives them.
class FakeCallback : public CefCallback {
 public:
  void Continue() override { ++continued; }
  void Cancel() override { ++cancelled; }
  std::atomic<int> continued{0};
  std::atomic<int> cancelled{0};

 private:
  IMPLEMENT_REFCOUNTING(FakeCallback);
};

struct OpenResult {
  std::atomic<bool> done{false};
  bool returned = false;
  bool handleRequest = true;
};

void openOnIO(CefRefPtr<LocalResponse> handler,
              CefRefPtr<CefRequest> request,
              CefRefPtr<FakeCallback> callback,
              bool cancelFirst,
              std::shared_ptr<OpenResult> result) {
  if (cancelFirst)
    handler->Cancel();
  result->returned = handler->Open(request, result->handleRequest, callback);
  result->done = true;
}

// Open on the IO thread, where the runtime calls it; `cancelFirst` has the
// runtime cancel the handler just before.
std::shared_ptr<OpenResult> open(CefRefPtr<LocalResponse> handler,
                                 CefRefPtr<CefRequest> request,
                                 CefRefPtr<FakeCallback> callback,
                                 bool cancelFirst = false) {
  auto result = std::make_shared<OpenResult>();
  CefPostTask(TID_IO, base::BindOnce(&openOnIO, handler, request, callback, cancelFirst, result));
  RunUntil([&] { return result->done.load(); });
  return result;
}

CefRefPtr<CefRequest> postRequest(const std::vector<CefRefPtr<CefPostDataElement>>& elements) {
  CefRefPtr<CefRequest> request = CefRequest::Create();
  request->SetURL(std::string(kSite) + "/x");
  request->SetMethod("POST");
  CefRefPtr<CefPostData> data = CefPostData::Create();
  for (const auto& element : elements)
    data->AddElement(element);
  request->SetPostData(data);
  return request;
}

CefRefPtr<CefPostDataElement> bytes(const std::string& text) {
  CefRefPtr<CefPostDataElement> element = CefPostDataElement::Create();
  element->SetToBytes(text.size(), text.data());
  return element;
}

TEST_F(GameTest, HandlerPostDataIsJoinedOrRefused) {
  LoopbackServer recorder([](const ReceivedRequest&) { return LoopbackServer::Response(200, ""); });
  const std::string service = localOrigin;
  localOrigin = "http://127.0.0.1:" + std::to_string(recorder.port());

  // Bytes elements, an empty one among them, arrive as one body.
  CefRefPtr<LocalResponse> joined = new LocalResponse("/joined", "g");
  CefRefPtr<FakeCallback> callback = new FakeCallback();
  std::shared_ptr<OpenResult> result = open(joined, postRequest({bytes("ab"), bytes(""), bytes(std::string("c\0d", 3))}), callback);
  EXPECT_TRUE(result->returned);
  EXPECT_FALSE(result->handleRequest);
  ASSERT_TRUE(RunUntil([&] { return callback->continued == 1; }));
  ASSERT_EQ(recorder.Requests().size(), 1u);
  EXPECT_EQ(recorder.Requests()[0].body, std::string("abc\0d", 5));
  EXPECT_EQ(recorder.Requests()[0].Header("X-KESTA-Generation"), "g");

  // An empty answer: length 0, and the first read ends the body.
  CefRefPtr<CefResponse> response = CefResponse::Create();
  int64_t length = -1;
  CefString redirect;
  joined->GetResponseHeaders(response, length, redirect);
  EXPECT_EQ(response->GetStatus(), 200);
  EXPECT_EQ(length, 0);
  char buffer[16];
  int read = -1;
  EXPECT_FALSE(joined->Read(buffer, sizeof buffer, read, nullptr));
  EXPECT_EQ(read, 0);

  // A file element cancels the request before anything is sent.
  CefRefPtr<CefPostDataElement> file = CefPostDataElement::Create();
  file->SetToFile("C:\\upload.bin");
  CefRefPtr<LocalResponse> refused = new LocalResponse("/refused", "g");
  CefRefPtr<FakeCallback> refusedCallback = new FakeCallback();
  result = open(refused, postRequest({bytes("a"), file}), refusedCallback);
  EXPECT_TRUE(result->returned);
  EXPECT_FALSE(result->handleRequest);
  EXPECT_EQ(refusedCallback->cancelled, 1);
  runFor(200);
  EXPECT_EQ(recorder.Requests().size(), 1u);

  localOrigin = service;
}

TEST_F(GameTest, HandlerCancelledBeforeItStartsSendsNothing) {
  LoopbackServer recorder([](const ReceivedRequest&) { return LoopbackServer::Response(200, "x"); });
  const std::string service = localOrigin;
  localOrigin = "http://127.0.0.1:" + std::to_string(recorder.port());

  CefRefPtr<LocalResponse> handler = new LocalResponse("/cancelled", "g");
  CefRefPtr<FakeCallback> callback = new FakeCallback();
  CefRefPtr<CefRequest> request = CefRequest::Create();
  request->SetURL(std::string(kSite) + "/cancelled");
  open(handler, request, callback, /*cancelFirst=*/true);
  runFor(300);
  EXPECT_TRUE(recorder.Requests().empty());
  EXPECT_EQ(callback->continued, 0);
  EXPECT_EQ(callback->cancelled, 0);
  // The handler let go of the callback without running it.
  EXPECT_TRUE(callback->HasOneRef());

  // Without the local context (after the stop) the request is cancelled
  // through the callback instead of going out through another context.
  CefRefPtr<CefRequestContext> saved = currentLocalContext();
  setLocalContext(nullptr);
  CefRefPtr<LocalResponse> late = new LocalResponse("/late", "g");
  CefRefPtr<FakeCallback> lateCallback = new FakeCallback();
  open(late, request, lateCallback);
  EXPECT_TRUE(RunUntil([&] { return lateCallback->cancelled == 1; }));
  setLocalContext(saved);
  runFor(100);
  EXPECT_TRUE(recorder.Requests().empty());

  localOrigin = service;
}

// Kept last: stops the service and starts it again with a new token.
TEST_F(GameTest, AServiceThatIsDownGives502WithTheErrorCode) {
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  environment->service->Stop();

  ResourceResult down = Get(game->GetMainFrame(), site_ + "/engine/game.js");
  EXPECT_EQ(down.error, ERR_NONE);
  EXPECT_EQ(down.status, 502);
  EXPECT_EQ(down.mime_type, "text/plain");
  EXPECT_EQ(down.body, "Local resource request failed: " + std::to_string(ERR_CONNECTION_REFUSED));

  ASSERT_TRUE(environment->service->Start());
  token = environment->service->token();
  EXPECT_EQ(Get(game->GetMainFrame(), site_ + "/engine/game.js").status, 200);
}

}  // namespace
}  // namespace kesta::desktop
