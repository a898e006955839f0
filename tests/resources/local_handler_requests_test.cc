// The local HTTPS handler's own requests, as a recording server standing in
// for the service receives them: the body and headers carried over, post
// data, Skip, and cancellation before and after the request started. The
// recorder is the loopback origin from before the runtime starts, as the
// service is in the client.
#include "game_runtime.h"
#include "support/loopback_http.h"

namespace kesta::desktop {

// The recorder stands in for the service here: no service environment.
game_test::GameEnvironment* const game_test::environment = nullptr;

namespace {

using namespace game_test;
using kesta::testing::CannedResponse;
using kesta::testing::LoopbackHttpServer;
using kesta::testing::RecordedRequest;

constexpr char kGeneration[] = "recorded";

CannedResponse page(const RecordedRequest&) {
  return {200, "", {{"Content-Type", "text/html"}}, "<title>game</title>"};
}

// The runtime and the desktop layer's contexts with the recorder as the
// service; the generation binds "/engine/game.js" under the site origin.
class RecorderEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    recorder = std::make_unique<LoopbackHttpServer>([this](const RecordedRequest& request) {
      LoopbackHttpServer::Handler answer;
      {
        std::lock_guard lock(mutex_);
        answer = answer_;
      }
      return answer(request);
    });
    localOrigin = recorder->origin();
    token = "0123456789abcdef0123456789abcdef";
    origin = kSite;
    dataDir = (fs::temp_directory_path() / ("kesta-recorded-" + std::to_string(GetCurrentProcessId()))).generic_string();
    initialState = std::string(R"({"state":{"generation":")") + kGeneration +
                   R"(","updateGate":false,"browserProxy":{"mode":"direct"}}})";

    runtime = std::make_unique<cef_testing::ScopedRuntime>();
    ASSERT_TRUE(runtime->initialized());
    running = true;
    DesktopContextInitialized();
    ASSERT_TRUE(RunUntil([] { return webContextReady && networkPolicy.contextsApplied.load(); }, 10000)) << proxyError;
    std::lock_guard lock(browserMutex);
    poolBindings[kGeneration] = {{"@engine:/engine/game.js", ""}};
  }

  void TearDown() override {
    for (auto& browser : cef_testing::OpenBrowsers())
      browser->GetHost()->CloseBrowser(true);
    RunUntil([] { return cef_testing::OpenBrowserCount() == 0; });
    DesktopStop();
    runtime.reset();
    recorder.reset();
    std::error_code ignored;
    fs::remove_all(dataDir, ignored);
  }

  // How the recorder answers from now on (any thread).
  void Answer(LoopbackHttpServer::Handler answer) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(answer);
  }

  std::unique_ptr<LoopbackHttpServer> recorder;
  std::unique_ptr<cef_testing::ScopedRuntime> runtime;

 private:
  std::mutex mutex_;  // guards answer_ (recorder threads read it)
  LoopbackHttpServer::Handler answer_ = page;
};

RecorderEnvironment* const recorded =
    static_cast<RecorderEnvironment*>(::testing::AddGlobalTestEnvironment(new RecorderEnvironment()));

class RecordedTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    recorded->Answer(page);
    seen_ = recorded->recorder->request_count();
  }

  // What the recorder received in this test.
  std::vector<RecordedRequest> Received() {
    std::vector<RecordedRequest> all = recorded->recorder->requests();
    return std::vector<RecordedRequest>(all.begin() + static_cast<std::ptrdiff_t>(seen_), all.end());
  }

  size_t seen_ = 0;
};

// A page's POST reaches the service as one body with only the headers the
// handler carries over, and the answer reaches the page as it came.
TEST_F(RecordedTest, APostReachesTheServiceWithItsBodyAndOnlyTheCarriedHeaders) {
  CefRefPtr<CefBrowser> game = OpenGame();
  ASSERT_TRUE(Registered(game));
  recorded->Answer([](const RecordedRequest&) {
    return CannedResponse{201, "", {{"Content-Type", "application/x-made"}, {"X-Answer", "1"}}, "made"};
  });
  const size_t before = Received().size();

  const std::string body("{\"a\":1}\0\xFF\r\n", 11);
  ResourceResult posted = LoadResource(
      game->GetMainFrame(), "POST", site_ + "/engine/game.js?q=1",
      {{"Content-Type", "application/json"}, {"Range", "bytes=0-"}, {"X-Page", "1"}, {"Cookie", "a=b"}}, body);

  EXPECT_EQ(posted.status, 201);
  EXPECT_EQ(posted.mime_type, "application/x-made");
  EXPECT_EQ(posted.body, "made");
  EXPECT_EQ(valuesOf(posted.headers, "x-answer"), std::vector<std::string>{"1"});
  const auto received = Received();
  ASSERT_EQ(received.size(), before + 1);
  const RecordedRequest& request = received.back();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/engine/game.js?q=1");
  EXPECT_EQ(request.body, body);
  EXPECT_EQ(request.Header("Authorization"), "Bearer " + token);
  EXPECT_EQ(request.Header("X-KESTA-Generation"), kGeneration);
  EXPECT_EQ(request.Header("Content-Type"), "application/json");
  EXPECT_EQ(request.Header("Range"), "bytes=0-");
  EXPECT_FALSE(request.HasHeader("X-Page"));
  EXPECT_FALSE(request.HasHeader("Cookie"));
  // Nothing comes from a cache.
  EXPECT_EQ(request.Header("Cache-Control"), "no-cache");

  // Any other method goes on as the page wrote it, also without a body.
  LoadResource(game->GetMainFrame(), "DELETE", site_ + "/engine/game.js?q=2");
  ASSERT_EQ(Received().size(), before + 2);
  EXPECT_EQ(Received().back().method, "DELETE");
  // Headers the page did not send are not made up.
  EXPECT_FALSE(Received().back().HasHeader("Range"));
  EXPECT_FALSE(Received().back().HasHeader("Content-Type"));
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

CefRefPtr<CefRequest> getRequest(const std::string& path) {
  CefRefPtr<CefRequest> request = CefRequest::Create();
  request->SetURL(std::string(kSite) + path);
  return request;
}

CefRefPtr<CefRequest> postRequest(const std::vector<CefRefPtr<CefPostDataElement>>& elements) {
  CefRefPtr<CefRequest> request = getRequest("/x");
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

TEST_F(RecordedTest, HandlerPostDataIsJoinedOrRefused) {
  recorded->Answer([](const RecordedRequest&) { return CannedResponse{200, "", {}, ""}; });

  // Bytes elements, an empty one among them, arrive as one body.
  CefRefPtr<LocalResponse> joined = new LocalResponse("/joined", "g");
  CefRefPtr<FakeCallback> callback = new FakeCallback();
  std::shared_ptr<OpenResult> result =
      open(joined, postRequest({bytes("ab"), bytes(""), bytes(std::string("c\0d", 3))}), callback);
  EXPECT_TRUE(result->returned);
  EXPECT_FALSE(result->handleRequest);
  ASSERT_TRUE(RunUntil([&] { return callback->continued == 1; }));
  ASSERT_EQ(Received().size(), 1u);
  EXPECT_EQ(Received()[0].body, std::string("abc\0d", 5));
  EXPECT_EQ(Received()[0].Header("X-KESTA-Generation"), "g");

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

  // Any element that is not bytes, a file or an empty one, cancels the
  // request before anything is sent.
  CefRefPtr<CefPostDataElement> file = CefPostDataElement::Create();
  file->SetToFile("C:\\upload.bin");
  for (CefRefPtr<CefPostDataElement> other : {file, CefPostDataElement::Create()}) {
    SCOPED_TRACE(other->GetType());
    CefRefPtr<LocalResponse> refused = new LocalResponse("/refused", "g");
    CefRefPtr<FakeCallback> refusedCallback = new FakeCallback();
    result = open(refused, postRequest({bytes("a"), other, bytes("b")}), refusedCallback);
    EXPECT_TRUE(result->returned);
    EXPECT_FALSE(result->handleRequest);
    EXPECT_EQ(refusedCallback->cancelled, 1);
    runFor(200);
    EXPECT_EQ(Received().size(), 1u);
  }
}

// The service's redirect is not followed: it is handed on as it came, and
// Skip and Read share one offset into its buffered body.
TEST_F(RecordedTest, ARedirectIsHandedOnAndSkipAndReadWalkItsBodyOnce) {
  recorded->Answer([](const RecordedRequest& request) {
    if (request.target == "/digits")
      return CannedResponse{302, "", {{"Location", "/moved"}}, "0123456789"};
    return CannedResponse{200, "", {}, "moved"};
  });
  CefRefPtr<LocalResponse> handler = new LocalResponse("/digits", "g");
  CefRefPtr<FakeCallback> callback = new FakeCallback();
  open(handler, getRequest("/digits"), callback);
  ASSERT_TRUE(RunUntil([&] { return callback->continued == 1; }));
  EXPECT_EQ(Received().size(), 1u);
  ASSERT_FALSE(Received().empty());
  EXPECT_EQ(Received()[0].target, "/digits");

  CefRefPtr<CefResponse> response = CefResponse::Create();
  int64_t length = -1;
  CefString redirect;
  handler->GetResponseHeaders(response, length, redirect);
  EXPECT_EQ(response->GetStatus(), 302);
  EXPECT_EQ(response->GetHeaderByName("Location").ToString(), "/moved");
  EXPECT_TRUE(redirect.empty());
  EXPECT_EQ(length, 10);

  int64_t skipped = -1;
  EXPECT_TRUE(handler->Skip(4, skipped, nullptr));
  EXPECT_EQ(skipped, 4);
  char buffer[3];
  int read = -1;
  EXPECT_TRUE(handler->Read(buffer, 3, read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "456");
  EXPECT_TRUE(handler->Skip(100, skipped, nullptr));
  EXPECT_EQ(skipped, 3) << "no further than the end";
  EXPECT_FALSE(handler->Skip(1, skipped, nullptr));
  EXPECT_EQ(skipped, 0);
  EXPECT_FALSE(handler->Read(buffer, 3, read, nullptr));
  EXPECT_EQ(read, 0);
}

TEST_F(RecordedTest, HandlerCancelledBeforeItStartsSendsNothing) {
  CefRefPtr<LocalResponse> handler = new LocalResponse("/cancelled", "g");
  CefRefPtr<FakeCallback> callback = new FakeCallback();
  open(handler, getRequest("/cancelled"), callback, /*cancelFirst=*/true);
  runFor(300);
  EXPECT_TRUE(Received().empty());
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
  open(late, getRequest("/late"), lateCallback);
  EXPECT_TRUE(RunUntil([&] { return lateCallback->cancelled == 1; }));
  setLocalContext(saved);
  runFor(100);
  EXPECT_TRUE(Received().empty());
}

// A cancel while the service is still answering stops the request to the
// service, and CEF's callback is never continued afterwards.
TEST_F(RecordedTest, HandlerCancelledWhileFetchingDropsTheRequest) {
  recorded->Answer([](const RecordedRequest&) {
    CannedResponse held{200, "", {}, "partial"};
    held.hold_after_head = true;
    return held;
  });
  const int abandoned = recorded->recorder->abandoned_holds();
  CefRefPtr<LocalResponse> handler = new LocalResponse("/held", "g");
  CefRefPtr<FakeCallback> callback = new FakeCallback();
  open(handler, getRequest("/held"), callback);
  ASSERT_TRUE(RunUntil([&] { return Received().size() == 1; }));

  CefPostTask(TID_IO, base::BindOnce(&LocalResponse::Cancel, handler));
  EXPECT_TRUE(recorded->recorder->WaitForAbandonedHolds(abandoned + 1, 5000)) << "the request to the service goes on";
  runFor(300);
  EXPECT_EQ(callback->continued, 0);
  EXPECT_EQ(callback->cancelled, 0);
  EXPECT_TRUE(callback->HasOneRef());
}

}  // namespace
}  // namespace kesta::desktop
