// The request contexts from the initial state to the stop, on the running
// stand-in: the network policy reaches the web context once CEF reports it
// ready, the local context is direct, and a web context reported after the
// stop changes nothing. One test: the stop is final for the process.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <mutex>

#include "desktop/desktop.h"
#include "desktop/desktop_flow.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "include/cef_request_context.h"
#include "include/cef_request_context_handler.h"
#include "include/cef_values.h"
#include "support/temp_directory.h"
#include "testing/preferences.h"
#include "testing/runtime.h"

namespace kesta::desktop {
namespace {

std::string directState(const std::string& extra) {
  return R"({"generation":"g1","browserProxy":{"mode":"direct"},)" + extra + "}";
}

TEST(ContextSetUp, FromTheInitialStateToTheStop) {
  const kesta::testing::TempDirectory data("contexts");
  dataDir = data.path().generic_string();
  token = "0123456789abcdef0123456789abcdef";
  origin = "https://game.example";
  initialState = R"({"state":)" + directState(R"("activation":5)") + "}";
  // The browser's folders inside the data directory, as the shell lays them out.
  cef_testing::ScopedRuntime::Options options;
  options.edit_settings = [](CefSettings& settings) {
    CefString(&settings.root_cache_path) = DesktopDataDir() + "\\browser";
    CefString(&settings.cache_path) = DesktopDataDir() + "\\browser\\Default";
  };
  auto runtime = std::make_unique<cef_testing::ScopedRuntime>(options);
  ASSERT_TRUE(runtime->initialized());

  DesktopContextInitialized();
  // The web context keeps its data in its own folder; the local one in memory.
  EXPECT_EQ(webContext->GetCachePath().ToString(), DesktopDataDir() + "\\browser\\web");
  EXPECT_TRUE(currentLocalContext()->GetCachePath().empty());
  {
    std::lock_guard lock(browserMutex);
    EXPECT_EQ(generation, "g1");
    EXPECT_EQ(resourceLaunch.observedGeneration, "g1");
    EXPECT_EQ(resourceLaunch.observedOrigin, "https://game.example");
    EXPECT_FALSE(resourceLaunch.updateGate);
  }
  EXPECT_EQ(activation, 5);
  EXPECT_EQ(proxyError, "");
  // Applied to the game context alone so far: nothing is confirmed yet.
  EXPECT_TRUE(networkPolicy.contextsApplied);
  EXPECT_FALSE(webContextReady);
  EXPECT_EQ(revision, -1);

  // CEF reports the web context: the last state is applied again, now with it.
  ASSERT_TRUE(cef_testing::RunUntil([] { return webContextReady; }));
  EXPECT_EQ(revision, 5);
  EXPECT_GE(cef_testing::PreferenceWriteCount(webContext, "proxy"), 1);
  // The local context reads back direct.
  ASSERT_TRUE(cef_testing::RunUntil([] { return currentLocalContext()->GetPreference("proxy") != nullptr; }));
  CefRefPtr<CefValue> local = currentLocalContext()->GetPreference("proxy");
  ASSERT_TRUE(local && local->GetDictionary());
  EXPECT_EQ(local->GetDictionary()->GetString("mode").ToString(), "direct");

  // A web context reported before any state was applied is only marked
  // ready; the next application covers both contexts.
  CefRefPtr<CefRequestContext> web = webContext;
  CefRefPtr<CefRequestContextHandler> handler = web->GetHandler();
  ASSERT_TRUE(handler);
  desiredProxyState = nullptr;
  webContextReady = false;
  revision = -1;
  const int writes = cef_testing::PreferenceWriteCount(web, "proxy");
  handler->OnRequestContextInitialized(web);
  EXPECT_TRUE(webContextReady);
  EXPECT_EQ(cef_testing::PreferenceWriteCount(web, "proxy"), writes);
  EXPECT_EQ(revision, -1);
  CefRefPtr<CefDictionaryValue> answer = parse(R"({"state":)" + directState(R"("activation":6)") + "}");
  proxy(answer->GetDictionary("state"));
  EXPECT_EQ(revision, 6);

  // After the stop a late report touches nothing.
  DesktopStop();
  handler->OnRequestContextInitialized(web);
  EXPECT_FALSE(webContextReady);
  EXPECT_FALSE(webContext);

  runtime.reset();
}

}  // namespace
}  // namespace kesta::desktop
