// The local HTTPS handler: which requests the factory takes, and what the
// handler fetches from the service and hands the page.
#include "game_runtime.h"
#include "support/lookalike_origins.h"

namespace kesta::desktop {
namespace {

using namespace game_test;
using kesta::testing::LookalikeOrigins;

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

  // The browser hands over canonical URLs: dot segments resolved, an
  // escaped letter kept as written. The handler decodes it only to find the
  // binding; the service gets the path as the page wrote it, with its query.
  ResourceResult escaped = Get(main, site_ + "/engine/x/%2E%2e/g%61me.js?v=2");
  EXPECT_EQ(escaped.status, 200);
  EXPECT_EQ(escaped.body, kesta::testing::ReadTextFile(engine / "game.js"));
  EXPECT_EQ(Journal("/engine/g%61me.js?v=2").size(), 1u);
  EXPECT_TRUE(Journal("/engine/game.js?v=2").empty());

  // An escaped '/' stays escaped: "engine%2Fgame.js" is not "engine/game.js"
  // and goes to the network, "a%2Fb.js" is bound under that very spelling.
  const ResourceResult unbound = Get(main, site_ + "/engine%2Fgame.js");
  EXPECT_EQ(unbound.error, ERR_CONNECTION_FAILED);
  EXPECT_TRUE(Journal("/engine%2Fgame.js").empty());
  // The service decodes it to "a/b.js", which it does not have: its 404
  // reaches the page as it came.
  const ResourceResult missing = Get(main, site_ + "/a%2Fb.js");
  const kesta::testing::HttpAnswer direct = environment->service->File(
      "/a%2Fb.js", {{"Authorization", "Bearer " + token}, {"X-KESTA-Generation", generation_}});
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

  // Without a range the whole file, which comes from the service in several
  // pieces, reaches the page in one.
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
  // The bare origin reaches the factory as its root page.
  EXPECT_EQ(take(nullptr, site_), "/ factory");
  for (const std::string& lookalike : LookalikeOrigins(site_)) {
    EXPECT_EQ(take(nullptr, lookalike + "/"), "-") << lookalike;
    EXPECT_EQ(take(nullptr, lookalike + "/__client/bridge.js"), "-") << lookalike;
  }
  // Escaped separators are compared escaped, other escapes decoded; '+' is
  // not a space.
  EXPECT_EQ(take(nullptr, site_ + "/a%2Fb.js"), "/a%2Fb.js factory");
  EXPECT_EQ(take(nullptr, site_ + "/a%2fb.js"), "-");
  EXPECT_EQ(take(nullptr, site_ + "/a/b.js"), "-");
  EXPECT_EQ(take(nullptr, site_ + "/x%2Fy.js"), "-");
  EXPECT_EQ(take(nullptr, site_ + "/x/y.js?z"), "/x/y.js?z factory");
  EXPECT_EQ(take(nullptr, site_ + "/x/y.js#z"), "/x/y.js#z factory");
  EXPECT_EQ(take(nullptr, site_ + "/sp%20ace.js?x"), "/sp%20ace.js?x factory");
  EXPECT_EQ(take(nullptr, site_ + "/sp+ace.js"), "-");
  // Absolute bindings, under the origin or not: the bound path, no query.
  EXPECT_EQ(take(nullptr, site_ + "/abs.png?x=1"), "/__pool/art/abs.png factory");
  EXPECT_EQ(take(nullptr, other + "/m.json?v=3"), "/__pool/maps/m.json factory");
  EXPECT_EQ(take(nullptr, other + "/m.json#v3"), "/__pool/maps/m.json factory");
  EXPECT_EQ(take(nullptr, other + "/M.json"), "-");
  EXPECT_EQ(take(nullptr, other + "/empty"), "-");

  // A migration page loads the ordinary way even when bound; the same page
  // of a look-alike of its source is no migration page.
  std::vector<std::string> lookalikePages;
  for (const std::string& lookalike : LookalikeOrigins(other)) {
    CefRefPtr<CefRequest> canonical = CefRequest::Create();
    canonical->SetURL(lookalike + "/__client/migration/page");
    lookalikePages.push_back(canonical->GetURL().ToString());
    std::lock_guard lock(browserMutex);
    poolBindings["factory"][lookalikePages.back()] = "/__pool/engine/page";
  }
  EXPECT_EQ(take(nullptr, other + "/__client/migration/page"), "/__pool/engine/page factory");
  accessRootSPKI = "spki";
  migrationSources = {other};
  EXPECT_EQ(take(nullptr, other + "/__client/migration/page"), "-");
  for (const std::string& page : lookalikePages)
    EXPECT_EQ(take(nullptr, page), "/__pool/engine/page factory") << page;
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
  EXPECT_EQ(take(web, other + "/m.json"), "/__pool/maps/m.json factory");
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

// However a page spells a path (dot segments, escaped dots, backslashes or
// percent signs, fragments), only what the generation binds is asked of the
// service, and a file beside the bound ones never reaches the page. Holds
// whether or not the runtime resolves the dot segments before the handler
// sees the URL.
TEST_F(GameTest, OddlySpelledPathsReachNothingButBoundFiles) {
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  const fs::path engine = environment->service->bundle() / "pools" / "engine";
  const std::string secret = "not bound by any generation";
  std::ofstream(engine / "secret.txt", std::ios::binary) << secret;
  const std::string bound = kesta::testing::ReadTextFile(engine / "game.js");

  const char* paths[] = {"/engine/../secret.txt",
                         "/engine/%2E%2E/secret.txt",
                         "/engine/%2e%2e/%2e%2e/engine/secret.txt",
                         "/x/../engine/game.js",
                         "/x/%2E%2E/engine/game.js",
                         "/engine%5Cgame.js",
                         "/engine/..%5Csecret.txt",
                         "/engine%5C..%5Csecret.txt",
                         "/engine/game%252Ejs",
                         "/engine/g%2561me.js",
                         "/%252E%252E/engine/secret.txt",
                         "/engine/game.js%23",
                         "/secret.txt%23/engine/game.js"};
  for (size_t i = 0; i < std::size(paths); ++i) {
    for (const char* fragment : {"", "#/../../secret.txt"}) {
      // The query marks this case's requests in the service's journal.
      const std::string query = "?case=" + std::to_string(i) + (*fragment ? "f" : "");
      SCOPED_TRACE(paths[i] + query + fragment);
      const ResourceResult result = Get(game->GetMainFrame(), site_ + paths[i] + query + fragment);
      EXPECT_EQ(result.body.find(secret), std::string::npos);
      if (result.error == ERR_NONE) {
        EXPECT_EQ(result.status, 200);
        EXPECT_TRUE(result.body == bound) << "only the bound file is served";
      }
      const json journal =
          environment->service->Api(kesta::testing::service_http::verb::get, "/__control/journal").Json();
      for (const json& entry : journal["requests"]) {
        const std::string target = entry["target"];
        if (target.size() >= query.size() && target.compare(target.size() - query.size(), query.size(), query) == 0) {
          EXPECT_EQ(target, "/engine/game.js" + query) << "the service was asked for a path that is not bound";
        }
        EXPECT_EQ(target.find('#'), std::string::npos) << target;
      }
    }
  }
}

// Stops the service and starts it again with a new token (a CTest entry of
// its own).
TEST_F(GameTest, AServiceThatIsDownGives502WithTheErrorCode) {
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  environment->service->Stop();

  ResourceResult down = Get(game->GetMainFrame(), site_ + "/engine/game.js");
  EXPECT_EQ(down.error, ERR_NONE);
  EXPECT_EQ(down.status, 502);
  EXPECT_EQ(down.mime_type, "text/plain");
  EXPECT_EQ(down.body, "Local resource request failed: " + std::to_string(ERR_CONNECTION_REFUSED));

  // Back with a new token: the old one is refused, and that answer reaches
  // the page as it came.
  ASSERT_TRUE(environment->service->Start(GameEnvironment::ServiceArguments()));
  ASSERT_NE(token, environment->service->token());
  ResourceResult refused = Get(game->GetMainFrame(), site_ + "/engine/game.js");
  EXPECT_EQ(refused.error, ERR_NONE);
  EXPECT_EQ(refused.status, 401);
  EXPECT_EQ(refused.body,
            environment->service
                ->File("/engine/game.js", {{"Authorization", "Bearer " + token}, {"X-KESTA-Generation", generation_}})
                .body);

  token = environment->service->token();
  EXPECT_EQ(Get(game->GetMainFrame(), site_ + "/engine/game.js").status, 200);
}

}  // namespace
}  // namespace kesta::desktop
