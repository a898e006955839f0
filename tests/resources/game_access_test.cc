// The request access rules on loads that game pages, foreign frames and web
// windows make through the runtime, watched at the hook and on the wire.
#include <optional>

#include "game_runtime.h"
#include "support/lookalike_origins.h"

namespace kesta::desktop {
namespace {

using namespace game_test;
using kesta::testing::LookalikeOrigins;

// "/api/" paths a game page requests of its own origin from its own frame:
// every other one carries the token, the update and launch endpoints are
// cancelled under any spelling a router that decodes the path takes for
// them.
struct ApiPath {
  const char* path;
  bool cancelled;
};
constexpr ApiPath kApiPaths[] = {
    {"/api/game/status", false},
    {"/api/game/%73tatus", false},
    {"/api/updates", false},
    {"/api/host?x=1", false},
    {"/api/x?/../launch", false},
    {"/api/launch", true},
    {"/api/launch?go=1", true},
    {"/api/launchpad", true},
    {"/api/launch/x", true},
    {"/api/updates/", true},
    {"/api/updates/accept", true},
    // Resolved by the browser before the rules see them.
    {"/api/x/../launch", true},
    {"/api/%2E/launch?go=1", true},
    // Kept as written by the browser.
    {"/api/%75pdates/accept", true},
    {"/api/updat%65s/defer", true},
    {"/api/%6Caunch", true},
    {"/api/launc%68?x=1", true},
    {"/api/updates%2Faccept", true},
    {"/api/updates%2F", true},
    {"/api/%75pdates/", true},
    {"/api/updates%5Caccept", true},
    {"/api/x%2F..%2Flaunch", true},
    {"/api/Updates/accept", true},
    {"/api/UPDATES/DEFER", true},
    {"/api/Launch", true},
    {"/api//updates/accept", true},
    {"/api//launch", true},
    {"/api/updates;x/accept", true},
    {"/api/updates./accept", true},
    {"/api/updates%20/accept", true},
    {"/api/x/..%20/launch", true},
    {"/api/%2575pdates/accept", true},
    // ".." removes the segment before it at every depth, the first one
    // included, and stays at the root above it.
    {"/x/..%2Fapi/launch", true},
    {"/x%2F..%2Fapi%2Flaunch", true},
    {"/x/..%5Capi/updates/accept", true},
    {"/x/..%2F..%2Fapi/launch", true},
    {"/..%2Fapi/launch", true},
    {"/api/..%2Flaunch", false},
    {"/api/..%2Fapi/updates", false},
    {"/api/x/..%2F..%2F..%2Fapi/game/status", false},
    // As written, the endpoints' prefixes decide alone, wherever the rest
    // would route.
    {"/api/launch%2F..%2Fgame/status", true},
    {"/api/updates/..%2Fgame/status", true},
};

// `url` as the browser hands it to the hook.
std::string canonical(const std::string& url) {
  CefRefPtr<CefRequest> request = CefRequest::Create();
  request->SetURL(url);
  return request->GetURL().ToString();
}

// The host of a canonical URL: after any user information, before any port.
std::string hostOf(const std::string& url) {
  const size_t start = url.find("://") + 3;
  std::string authority = url.substr(start, url.find('/', start) - start);
  authority.erase(0, authority.rfind('@') + 1);
  return authority.substr(0, authority.find(':'));
}

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

  // Requests that go on leave through the network, which has no TLS here.
  // The page's own authorization gives way to the token.
  for (const ApiPath& row : kApiPaths) {
    const ResourceResult result = Get(main, site_ + row.path, {{"Authorization", "Bearer page"}});
    hook = client_->Last(canonical(site_ + row.path));
    if (row.cancelled) {
      EXPECT_EQ(hook.result, RV_CANCEL) << row.path;
      EXPECT_EQ(result.error, ERR_ABORTED) << row.path;
    } else {
      EXPECT_EQ(hook.result, RV_CONTINUE) << row.path;
      EXPECT_EQ(valuesOf(hook.headers, "authorization"), std::vector<std::string>{bearer}) << row.path;
      EXPECT_EQ(valuesOf(hook.headers, "x-kesta-generation"), std::vector<std::string>{generation_}) << row.path;
    }
  }
  // A path that only begins like the API's gets no token.
  Get(main, site_ + "/apidocs/x.js");
  EXPECT_TRUE(valuesOf(client_->Last(site_ + "/apidocs/x.js").headers, "authorization").empty());

  // Look-alikes of the origin are foreign sites: their requests go on with
  // neither the token nor the generation.
  for (const std::string& lookalike : LookalikeOrigins(site_)) {
    const std::string url = canonical(lookalike + "/api/game/status");
    Get(main, url);
    hook = client_->Last(url);
    EXPECT_EQ(hook.result, RV_CONTINUE) << url;
    EXPECT_TRUE(valuesOf(hook.headers, "authorization").empty()) << url;
    EXPECT_TRUE(valuesOf(hook.headers, "x-kesta-generation").empty()) << url;
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

  // Frames of the look-alikes of the site origin are as foreign as any.
  std::vector<std::string> frameUrls = {kForeignFrame};
  for (const std::string& lookalike : LookalikeOrigins(site_))
    frameUrls.push_back(canonical(lookalike + "/frame.html"));
  const std::string api = site_ + "/api/game/status";
  for (const std::string& url : frameUrls) {
    CefRefPtr<CefFrame> frame;
    {
      // Serves the frame's own page only while it loads, so that the site
      // origin's files come from the client's handler again afterwards.
      std::optional<cef_testing::PageServer> pages;
      if (url != kForeignFrame) {
        pages.emplace(gameContext, "https", hostOf(url));
        pages->Serve(url, "<title>look-alike</title>");
      }
      frame = cef_testing::CreateSubFrame(game, url, url);
      ASSERT_TRUE(RunUntil([&] { return frame->GetURL().ToString() == url; })) << url;
    }
    EXPECT_EQ(client_->Last(url).result, RV_CONTINUE) << url;

    Get(frame, api);
    const HookCall call = client_->Last(api);
    EXPECT_EQ(call.result, RV_CANCEL) << url;
    EXPECT_TRUE(valuesOf(call.headers, "authorization").empty()) << url;
    // Files of the origin are open to it, with the generation header.
    const ResourceResult file = Get(frame, site_ + "/engine/style.css");
    EXPECT_EQ(file.status, 200) << url;
    EXPECT_EQ(valuesOf(client_->Last(site_ + "/engine/style.css").headers, "x-kesta-generation"),
              std::vector<std::string>{generation_})
        << url;
  }

  // The same request without a frame is refused as well.
  CefRefPtr<CefRequest> request = CefRequest::Create();
  request->SetURL(api);
  EXPECT_EQ(DesktopResource(game, nullptr, request), RV_CANCEL);
}

TEST_F(GameTest, AWebWindowReachesNeitherTheSiteOriginNorTheService) {
  CefRefPtr<CefBrowser> web = Open(webContext, kWebPage);
  ASSERT_TRUE(web);
  CefRefPtr<CefFrame> main = web->GetMainFrame();

  for (const std::string& url : {site_ + "/", site_ + "/engine/game.js", localOrigin + "/api/info"}) {
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
  ServeFromTheLoopbackOrigin();
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

  // A page that names the update and launch endpoints in every spelling:
  // the service, whose protocol check reports any of them that reaches it,
  // sees only the page's last image, an API call with the token.
  std::string html = "<title>spellings</title>\n";
  for (const ApiPath& row : kApiPaths) {
    if (row.cancelled)
      html += "<img src=\"" + std::string(row.path) + "\">\n";
  }
  html += "<img src=\"/api/game/status?marker=page\">\n";
  std::ofstream(environment->service->bundle() / "pools" / "engine" / kTestPage, std::ios::binary | std::ios::trunc)
      << html;
  ASSERT_TRUE(Registered(OpenGame("/engine/" + std::string(kTestPage))));
  ASSERT_TRUE(RunUntil([&] { return !Journal("/api/game/status?marker=page").empty(); }));
  EXPECT_EQ(Journal("/api/game/status?marker=page")[0]["authorized"], true);
}

TEST_F(GameTest, ARedirectAwayFromTheSiteOriginLeavesTheCredentialsBehind) {
  LoopbackServer foreign([](const ReceivedRequest&) { return LoopbackServer::Response(200, "landed"); });
  const std::string landing = "http://localhost:" + std::to_string(foreign.port()) + "/landing";
  // A site origin that the network serves: the API answers with a redirect
  // to a foreign origin.
  LoopbackServer site([landing](const ReceivedRequest& request) {
    if (request.target.rfind("/api/", 0) == 0)
      return LoopbackServer::Response(302, "", {"Location: " + landing});
    return LoopbackServer::Response(200, "<title>game</title>", {"Content-Type: text/html"});
  });
  {
    std::lock_guard lock(browserMutex);
    site_ = origin = "http://127.0.0.1:" + std::to_string(site.port());
    resourceLaunch.admittedOrigin = resourceLaunch.observedOrigin = origin;
  }
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));

  const ResourceResult result = Get(game->GetMainFrame(), site_ + "/api/data");
  EXPECT_EQ(result.status, 200);
  EXPECT_EQ(result.body, "landed");

  const auto atSite = site.Requests();
  ASSERT_FALSE(atSite.empty());
  EXPECT_EQ(atSite.back().target, "/api/data");
  EXPECT_EQ(atSite.back().Header("Authorization"), "Bearer " + token);
  EXPECT_EQ(atSite.back().Header("X-KESTA-Generation"), generation_);
  // The hop passed the rules again, as a foreign request.
  EXPECT_EQ(client_->Last(landing).result, RV_CONTINUE);
  const auto atForeign = foreign.Requests();
  ASSERT_EQ(atForeign.size(), 1u);
  for (const auto& [name, value] : atForeign[0].headers) {
    EXPECT_EQ(value.find(token), std::string::npos) << name;
    EXPECT_NE(lower(name), "x-kesta-generation");
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
  const std::vector<std::string> names = {
      "Authorization",      "authorization",      "AUTHORIZATION",      "AuThOrIzAtIoN",       "X-KESTA-Generation",
      "x-kesta-generation", "X-Kesta-Generation", "X-KESTA-GENERATION", "Proxy-Authorization", "proxy-authorization"};
  const std::vector<std::string> values = {"Bearer " + token, "Bearer " + token, generation_, "Basic a2VzdGE6eA=="};

  std::mt19937 random(7);
  int sentForeign = 0;
  int sentService = 0;
  for (int i = 0; i < 240; ++i) {
    const bool toService = i % 4 == 3;
    const auto& origins = toService ? serviceAliases : foreignOrigins;
    const std::string base = origins[random() % origins.size()];
    const std::string path =
        (i % 3 == 0 ? "/api/info" : "/engine/game.js") + std::string("?sweep=") + std::to_string(i);
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

}  // namespace
}  // namespace kesta::desktop
