// Shared by the game-resource runtime tests: kesta-service.exe on a copy of
// the sample game, one runtime for the program, the desktop layer's
// contexts set up as start-up leaves them, and a browser client wired to the
// desktop layer as the shell wires it.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
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

namespace kesta::desktop::game_test {

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
// Served from the engine pool as "/engine/page.html"; a test writes it
// before it opens it.
constexpr char kTestPage[] = "page.html";

inline std::string lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Every value of a header, whatever the case of its name.
inline std::vector<std::string> valuesOf(const std::multimap<std::string, std::string>& headers,
                                         const std::string& name) {
  std::vector<std::string> out;
  for (const auto& [key, value] : headers) {
    if (lower(key) == lower(name))
      out.push_back(value);
  }
  return out;
}

// Larger than one delivery of the service's answer to the handler.
inline std::string bigFileContent() {
  std::string bytes(3 * 1024 * 1024 + 4321, '\0');
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
    ASSERT_TRUE(service->Start(ServiceArguments())) << service->failure() << "\n"
                                                    << kesta::testing::ReadTextFile(service->root() / "service.log");

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
        << initialState << "\n"
        << proxyError;
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

  // The service reports the site origin the tests' game pages use, so it
  // holds their requests to what the client must send from it.
  static std::vector<std::wstring> ServiceArguments() {
    return {L"--control", L"--site-origin", std::wstring(kSite, kSite + std::strlen(kSite))};
  }

  // Test files in the bundle's engine pool, listed in its manifest, which
  // both the service and the client read.
  void addEngineFiles() {
    const fs::path engine = service->bundle() / "pools" / "engine";
    std::ofstream(engine / "empty.txt", std::ios::binary).flush();
    std::ofstream(engine / "big.bin", std::ios::binary) << bigFileContent();
    std::ofstream(engine / "ab.js", std::ios::binary) << "ab";
    std::ofstream(engine / kTestPage, std::ios::binary).flush();
    json manifest = json::parse(kesta::testing::ReadTextFile(engine / "pool-manifest.json"));
    manifest["files"][kEmptyFile] = "empty.txt";
    manifest["files"][kBigFile] = "big.bin";
    manifest["files"]["engine/" + std::string(kTestPage)] = kTestPage;
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

// The one environment of the program (game_runtime.cc); null in a program
// whose tests run without the service.
extern GameEnvironment* const environment;

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
    // The program shares the service: each test answers for its own requests.
    if (environment != nullptr) {
      environment->service->CheckProtocol();
      if (site_ == localOrigin)
        environment->service->Control("/__control/state", {{"siteOrigin", kSite}});
    }
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

  // A game served straight from the service, which reports its own origin
  // as the site origin until the test ends.
  void ServeFromTheLoopbackOrigin() {
    environment->service->Control("/__control/state", {{"siteOrigin", localOrigin}});
    std::lock_guard lock(browserMutex);
    site_ = origin = localOrigin;
    resourceLaunch.admittedOrigin = resourceLaunch.observedOrigin = origin;
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
inline void runFor(int ms) {
  RunUntil([] { return false; }, ms);
}

inline std::wstring windowText(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

inline HWND hiddenUpdateWindow() {
  if (!updateWindow)
    updateWindow = CreateWindowExW(0, L"STATIC", L"updates", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                   nullptr, nullptr);
  ShowWindow(updateWindow, SW_HIDE);
  return updateWindow;
}

}  // namespace kesta::desktop::game_test
