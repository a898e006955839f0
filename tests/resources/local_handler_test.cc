// The local HTTPS handler: which requests the factory takes, and what the
// handler fetches from the service and hands the page.
#include "game_runtime.h"

namespace kesta::desktop {
namespace {

using namespace game_test;

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
  const kesta::testing::HttpAnswer direct =
      environment->service->File("/a%2Fb.js", {{"X-KESTA-Generation", generation_}});
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
  ResourceResult posted = LoadResource(
      game->GetMainFrame(), "POST", site_ + "/engine/game.js?q=1",
      {{"Content-Type", "application/json"}, {"Range", "bytes=0-"}, {"X-Page", "1"}, {"Cookie", "a=b"}}, body);
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
  std::shared_ptr<OpenResult> result =
      open(joined, postRequest({bytes("ab"), bytes(""), bytes(std::string("c\0d", 3))}), callback);
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
  ASSERT_TRUE(environment->service->Start());
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
