// Accept and defer from the update window against the real stand-in service,
// on the running stand-in (the request's outcome comes back as a UI task).
// The state each step works on is the one the service reports, handed to the
// window as the heartbeat does. Scenarios that end the client run as CTest
// entries of their own: a process runs the runtime once and stops the
// desktop layer once.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>

#include "desktop/desktop.h"
#include "desktop/desktop_flow.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "desktop/update_window.h"
#include "include/base/cef_callback.h"
#include "include/cef_request_context.h"
#include "include/cef_task.h"
#include "include/cef_values.h"
#include "include/wrapper/cef_closure_task.h"
#include "service/service_harness_win.h"
#include "shell/simple_handler.h"
#include "support/message_boxes_win.h"
#include "testing/driver.h"
#include "testing/runtime.h"

namespace kesta::desktop {
namespace {

namespace fs = std::filesystem;
using kesta::testing::MessageBoxRecord;
using kesta::testing::MessageBoxWatcher;
using kesta::testing::ServiceHarness;
using kesta::testing::WindowsPath;
using nlohmann::json;

constexpr char kConfirmCaption[] = "现在重新进入游戏？";
constexpr char kConfirmText[] = "请先结束正在进行的对局。确认后将关闭当前客户端窗口并重新启动，使用最新准备好的资源。";
constexpr char kFailedText[] = "更新操作未完成。请查看最新状态后重试。";

// The client as it runs after admission: start-up values from a running
// service, the runtime up, the update window built, the launch admitted on
// the generation and origin the service reports.
class UpdateClient {
 public:
  UpdateClient() {
    std::random_device seed;
    service_ =
        std::make_unique<ServiceHarness>(WindowsPath(KESTA_SERVICE_EXE), WindowsPath(KESTA_SAMPLE_RESOURCES),
                                         fs::temp_directory_path() / ("kesta-updates-" + std::to_string(seed())));
    if (!service_->Start()) {
      failure_ = "the service did not start: " + service_->failure();
      return;
    }
    localOrigin = service_->origin();
    token = service_->token();
    dataDir = service_->data().generic_string();
    runtime_ = std::make_unique<cef_testing::ScopedRuntime>();
    if (!runtime_->initialized()) {
      failure_ = "CefInitialize failed with exit code " + std::to_string(runtime_->exit_code());
      return;
    }
    // Contexts for heartbeat replies applied whole.
    gameContext = CefRequestContext::GetGlobalContext();
    CefRequestContextSettings settings;
    webContext = CefRequestContext::CreateContext(settings, nullptr);
    webContextReady = true;
    const json state = service_->Info()["state"];
    {
      std::lock_guard lock(browserMutex);
      resourceLaunch = ResourceLaunch();
      resourceLaunch.Observe(state["generation"], state["siteOrigin"], state["updateGate"]);
      resourceLaunch.Admit(true);
    }
    DesktopApplicationMenuReady();
    ready_ = updateWindow != nullptr;
    if (!ready_)
      failure_ = "no update window";
  }

  ~UpdateClient() {
    DesktopStop();
    runtime_.reset();
  }

  bool ready() const { return ready_; }
  // What kept the client from being ready.
  const std::string& failure() const { return failure_; }
  ServiceHarness& service() { return *service_; }

  // Changes the service's state; false when it refused the patch.
  bool Patch(const json& patch) { return service_->Control("/__control/state", patch).status == 200; }

  // What one heartbeat reply does to the window: the launch gate observes the
  // state, then the window is refreshed from it.
  void Receive() {
    CefRefPtr<CefDictionaryValue> state = parse(service_->Info()["state"].dump());
    ASSERT_TRUE(state);
    {
      std::lock_guard lock(browserMutex);
      resourceLaunch.Observe(state->GetString("generation"), state->GetString("siteOrigin"),
                             state->GetBool("updateGate"));
    }
    receiveUpdates(state);
  }

  // A heartbeat reply as the request thread hands it over: the host state,
  // and before admission the launch answer nested under "launch".
  std::string Reply(bool withLaunch) {
    json reply = {{"state", service_->Info()["state"]}};
    if (withLaunch) {
      // The client asks for the launch right after a heartbeat's answer.
      service_->Api(kesta::testing::service_http::verb::post, "/api/host", kesta::testing::Heartbeat(1));
      reply["launch"] = service_->Api(kesta::testing::service_http::verb::post, "/api/launch", "{}").Json();
    }
    return reply.dump();
  }

  json Journal() { return service_->Api(kesta::testing::service_http::verb::get, "/__control/journal").Json(); }

 private:
  std::unique_ptr<ServiceHarness> service_;
  std::unique_ptr<cef_testing::ScopedRuntime> runtime_;
  bool ready_ = false;
  std::string failure_;
};

// Waits for the update thread, then runs the UI task it posted.
void finishRequest() {
  if (updateThread.joinable())
    updateThread.join();
  cef_testing::RunPending(100);
}

void expectConfirmation(const MessageBoxRecord& box) {
  EXPECT_EQ(box.caption, kConfirmCaption);
  EXPECT_EQ(box.text, kConfirmText);
  EXPECT_EQ(box.defaultButton, IDCANCEL) << "Enter must not end a running game";
  EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONQUESTION));
}

void expectFailure(const MessageBoxRecord& box) {
  EXPECT_EQ(box.caption, "Ostrel");
  EXPECT_EQ(box.text, kFailedText);
  EXPECT_EQ(box.icon, static_cast<UINT>(MB_ICONERROR));
}

// --- one client for the suite; nothing in it ends the client ---
//
// No browser client exists here, so a successful accept only hides the window
// and marks the restart; closing is checked by the UpdateEnd scenarios.

class UpdateFlowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { client_ = new UpdateClient(); }
  static void TearDownTestSuite() {
    delete client_;
    client_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(client_->ready()) << client_->failure();
    ASSERT_TRUE(
        client_->Patch({{"pending", nullptr}, {"refresh", nullptr}, {"updateGate", false}, {"faults", json::array()}}));
    restartHost = false;
    client_->Receive();
    {
      // An accept in an earlier test moved the service to a new generation:
      // start each test admitted on the current one.
      std::lock_guard lock(browserMutex);
      resourceLaunch.admittedGeneration = resourceLaunch.observedGeneration;
    }
    client_->Receive();
    ShowWindow(updateWindow, SW_SHOWNORMAL);
  }
  // The suite shares the service: each test answers for its own requests.
  void TearDown() override { client_->service().CheckProtocol(); }

  static UpdateClient* client_;
};

UpdateClient* UpdateFlowTest::client_ = nullptr;

TEST_F(UpdateFlowTest, AcceptIsConfirmedAndSendsTheRevisionCutToAnInteger) {
  ASSERT_TRUE(client_->Patch({{"pending", {{"revision", 7.9}, {"notes", "新地图"}}}}));
  client_->Receive();
  ASSERT_TRUE(IsWindowEnabled(acceptButton));
  const size_t accepts = client_->Journal()["accepts"].size();

  // Enter, which presses the default button, changes nothing.
  MessageBoxWatcher watcher(MessageBoxWatcher::kEnter);
  SendMessageW(updateWindow, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), reinterpret_cast<LPARAM>(acceptButton));
  ASSERT_EQ(watcher.Boxes().size(), 1u);
  expectConfirmation(watcher.Boxes()[0]);
  finishRequest();
  EXPECT_EQ(client_->Journal()["accepts"].size(), accepts);
  EXPECT_TRUE(IsWindowEnabled(acceptButton));
  EXPECT_TRUE(IsWindowEnabled(deferButton));
  EXPECT_TRUE(IsWindowVisible(updateWindow));

  // Enter on the focused accept button is the same click; OK sends it.
  watcher.SetAnswer(IDOK);
  SetFocus(acceptButton);
  SendMessageW(acceptButton, WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_EQ(watcher.Boxes().size(), 2u);
  expectConfirmation(watcher.Boxes()[1]);
  EXPECT_FALSE(IsWindowEnabled(acceptButton)) << "both buttons wait for the request";
  EXPECT_FALSE(IsWindowEnabled(deferButton));
  finishRequest();

  const json journal = client_->Journal();
  ASSERT_EQ(journal["accepts"].size(), accepts + 1);
  EXPECT_EQ(journal["accepts"].back().dump(), R"({"revision":7})");
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  EXPECT_TRUE(restartHost) << "a resource update restarts the client";
  EXPECT_EQ(watcher.Boxes().size(), 2u) << "a successful accept says nothing more";
}

TEST_F(UpdateFlowTest, AReplyWhileTheConfirmationIsOpenKeepsTheConfirmedRevision) {
  ASSERT_TRUE(client_->Patch({{"pending", {{"revision", 40}, {"notes", "a"}}}}));
  client_->Receive();
  // Heartbeat replies keep arriving while the user reads the box: one is
  // applied inside the box's modal loop, and only then is the box answered.
  std::unique_ptr<MessageBoxWatcher> watcher;
  CefPostTask(TID_UI, base::BindOnce(
                          [](UpdateClient* client, std::unique_ptr<MessageBoxWatcher>* watcher) {
                            client->Receive();
                            *watcher = std::make_unique<MessageBoxWatcher>(IDOK);
                          },
                          client_, &watcher));
  SendMessageW(updateWindow, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
  finishRequest();
  const json accepts = client_->Journal()["accepts"];
  ASSERT_FALSE(accepts.empty());
  EXPECT_EQ(accepts.back().dump(), R"({"revision":40})");
  EXPECT_FALSE(IsWindowVisible(updateWindow)) << "the accept went through";
  ASSERT_TRUE(watcher);
  EXPECT_EQ(watcher->Boxes().size(), 1u);
}

TEST_F(UpdateFlowTest, DeferNeedsNoConfirmationAndTheDeferredUpdateStaysQuiet) {
  ASSERT_TRUE(client_->Patch({{"pending", {{"revision", 12}}}}));
  client_->Receive();
  MessageBoxWatcher watcher(IDCANCEL);
  SendMessageW(updateWindow, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), reinterpret_cast<LPARAM>(deferButton));
  EXPECT_FALSE(IsWindowEnabled(acceptButton));
  EXPECT_FALSE(IsWindowEnabled(deferButton));
  finishRequest();

  EXPECT_TRUE(watcher.Boxes().empty());
  const json defers = client_->Journal()["defers"];
  ASSERT_FALSE(defers.empty());
  EXPECT_EQ(defers.back().dump(), R"({"revision":12})");
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  EXPECT_FALSE(restartHost);

  // The service now reports the update deferred: it no longer brings the
  // window up, but both buttons come back.
  client_->Receive();
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  EXPECT_TRUE(IsWindowEnabled(acceptButton));
  EXPECT_TRUE(IsWindowEnabled(deferButton));
}

TEST_F(UpdateFlowTest, AFailedRequestShowsTheErrorBoxAndLeavesBothButtonsDisabled) {
  ASSERT_TRUE(client_->Patch({{"pending", {{"revision", 20}}}}));
  client_->Receive();

  struct Case {
    const char* what;
    json fault;
    WPARAM button;
  };
  const Case cases[] = {
      {"accept answered 500", {{"path", "/api/updates/accept"}, {"status", 500}, {"body", "{}"}, {"times", 1}}, 1},
      {"defer dropped", {{"path", "/api/updates/defer"}, {"drop", true}, {"times", 1}}, 2},
      {"accept answered empty", {{"path", "/api/updates/accept"}, {"status", 200}, {"body", ""}, {"times", 1}}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(client_->Patch({{"faults", json::array({c.fault})}}));
    client_->Receive();
    ASSERT_TRUE(IsWindowEnabled(c.button == 1 ? acceptButton : deferButton));
    MessageBoxWatcher watcher(IDOK);
    SendMessageW(updateWindow, WM_COMMAND, MAKEWPARAM(c.button, BN_CLICKED), 0);
    const size_t boxes = c.button == 1 ? 2 : 1;
    ASSERT_TRUE(cef_testing::RunUntil([&] { return watcher.Boxes().size() >= boxes; }, 10000));
    cef_testing::RunPending(100);
    expectFailure(watcher.Boxes().back());
    EXPECT_TRUE(IsWindowVisible(updateWindow)) << "the window stays as it was";
    EXPECT_FALSE(IsWindowEnabled(acceptButton));
    EXPECT_FALSE(IsWindowEnabled(deferButton));
    EXPECT_FALSE(restartHost);
  }

  // The next reply sets the buttons again.
  client_->Receive();
  EXPECT_TRUE(IsWindowEnabled(acceptButton));
  EXPECT_TRUE(IsWindowEnabled(deferButton));
}

TEST_F(UpdateFlowTest, ADeferTheServiceRefusesBehindAClosedGateIsAFailure) {
  ASSERT_TRUE(client_->Patch({{"pending", {{"revision", 21}}}}));
  client_->Receive();
  ASSERT_TRUE(IsWindowEnabled(deferButton));
  // The gate closes between the reply and the click.
  ASSERT_TRUE(client_->Patch({{"updateGate", true}}));
  MessageBoxWatcher watcher(IDOK);
  SendMessageW(updateWindow, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), 0);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return !watcher.Boxes().empty(); }, 10000));
  expectFailure(watcher.Boxes()[0]);
  cef_testing::RunPending(100);
  client_->Receive();
  EXPECT_TRUE(IsWindowEnabled(acceptButton));
  EXPECT_FALSE(IsWindowEnabled(deferButton)) << "the closed gate keeps defer disabled";
}

TEST_F(UpdateFlowTest, WithoutAPendingUpdateOnlyAConfirmedReentryDoesAnything) {
  const json before = client_->Journal();
  MessageBoxWatcher watcher(IDCANCEL);

  // Nothing pending and no re-entry needed: neither button does anything.
  submitUpdate(true);
  submitUpdate(false);
  EXPECT_TRUE(watcher.Boxes().empty());

  // Re-entry needed (the game was admitted on an older generation), but
  // cancelled.
  std::string admitted;
  {
    std::lock_guard lock(browserMutex);
    admitted = resourceLaunch.admittedGeneration;
    resourceLaunch.admittedGeneration = "retired";
  }
  client_->Receive();
  ASSERT_TRUE(IsWindowEnabled(acceptButton));
  submitUpdate(true);
  EXPECT_TRUE(watcher.Boxes().empty()) << "defer has nothing to defer";
  submitUpdate(false);
  ASSERT_EQ(watcher.Boxes().size(), 1u);
  expectConfirmation(watcher.Boxes()[0]);
  EXPECT_FALSE(restartHost);
  EXPECT_TRUE(running.load());
  finishRequest();

  const json after = client_->Journal();
  EXPECT_EQ(after["accepts"], before["accepts"]);
  EXPECT_EQ(after["defers"], before["defers"]);
  std::lock_guard lock(browserMutex);
  resourceLaunch.admittedGeneration = admitted;
}

TEST_F(UpdateFlowTest, AnAdmittingReplyWithANewUpdateRecordsItAndLeavesTheWindowHidden) {
  ASSERT_TRUE(client_->Patch({{"pending", {{"revision", 30}}}}));
  {
    std::lock_guard lock(browserMutex);
    resourceLaunch = ResourceLaunch();
  }
  bool launch = false, quit = false;
  std::vector<std::string> urls;
  DesktopApplyResponse(client_->Reply(true), launch, quit, urls);
  ASSERT_TRUE(launch);
  EXPECT_FALSE(quit);
  EXPECT_EQ(promptedRevision, 30) << "the new update was seen";
  EXPECT_FALSE(IsWindowVisible(updateWindow)) << "admission hides the window it brought up";

  // Replies after admission carry the same revision: the window stays hidden.
  launch = false;
  DesktopApplyResponse(client_->Reply(false), launch, quit, urls);
  EXPECT_FALSE(launch);
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  EXPECT_TRUE(IsWindowEnabled(acceptButton));
  EXPECT_TRUE(IsWindowEnabled(deferButton));

  // Only admission hides it: a newer update afterwards brings it up.
  ASSERT_TRUE(client_->Patch({{"pending", {{"revision", 31}}}}));
  DesktopApplyResponse(client_->Reply(false), launch, quit, urls);
  EXPECT_FALSE(launch);
  EXPECT_TRUE(IsWindowVisible(updateWindow));
}

// --- scenarios that end the client: one process each ---

class UpdateEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = std::make_unique<UpdateClient>();
    ASSERT_TRUE(client_->ready()) << client_->failure();
    handler_ = new SimpleHandler(false);
    restartHost = false;
  }
  void TearDown() override {
    handler_ = nullptr;
    client_.reset();
  }

  // Accepts the pending update with OK and runs until the client has stopped.
  void acceptConfirmed() {
    client_->Receive();
    ASSERT_TRUE(IsWindowEnabled(acceptButton));
    MessageBoxWatcher watcher(IDOK);
    SendMessageW(updateWindow, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
    ASSERT_EQ(watcher.Boxes().size(), 1u);
    ASSERT_TRUE(cef_testing::RunUntil([] { return !running.load(); }, 10000));
    EXPECT_TRUE(handler_->IsClosing());
    EXPECT_EQ(updateWindow, nullptr) << "the desktop layer has stopped";
  }

  std::unique_ptr<UpdateClient> client_;
  CefRefPtr<SimpleHandler> handler_;
};

TEST_F(UpdateEnd, AnAcceptedResourceUpdateClosesAndRestarts) {
  ASSERT_TRUE(client_->Patch({{"pending", {{"revision", 3}}}}));
  // A page that would rather stay does not hold the restart up.
  handler_->OpenWindow("https://elsewhere.example/");
  ASSERT_TRUE(cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() == 1; }, 5000));
  cef_testing::SetBeforeUnload(cef_testing::OpenBrowsers().front(), true, "Stay?", false);
  acceptConfirmed();
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 0);
  EXPECT_TRUE(restartHost);
  EXPECT_EQ(client_->Journal()["accepts"].dump(), R"([{"revision":3}])");
  EXPECT_EQ(client_->service().Info()["state"]["generation"], "r3");
}

TEST_F(UpdateEnd, AnAcceptedClientUpdateClosesWithoutRestart) {
  ASSERT_TRUE(client_->Patch({{"pending", {{"revision", 4}, {"client", "0.7.0"}, {"clientPath", "C:\\new"}}}}));
  acceptConfirmed();
  EXPECT_FALSE(restartHost) << "the new client program is started by the hand-over instead";
  EXPECT_EQ(client_->Journal()["accepts"].dump(), R"([{"revision":4}])");
}

TEST_F(UpdateEnd, AConfirmedReentryRestartsWithoutARequest) {
  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.admittedGeneration = "retired";
  }
  client_->Receive();
  ASSERT_TRUE(IsWindowEnabled(acceptButton));
  MessageBoxWatcher watcher(IDOK);
  SendMessageW(updateWindow, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
  ASSERT_EQ(watcher.Boxes().size(), 1u);
  expectConfirmation(watcher.Boxes()[0]);
  cef_testing::RunPending(100);
  EXPECT_FALSE(running.load());
  EXPECT_TRUE(restartHost);
  EXPECT_TRUE(handler_->IsClosing());
  EXPECT_FALSE(updateThread.joinable()) << "no request was started";
  const json journal = client_->Journal();
  EXPECT_TRUE(journal["accepts"].empty());
  EXPECT_TRUE(journal["defers"].empty());
}

// A re-entry the page asks for closes every window, a page that would
// rather stay included, and restarts when asked to.
TEST_F(UpdateEnd, AReentryRequestClosesEvenAPageThatWouldRatherStay) {
  handler_->OpenWindow("https://elsewhere.example/");
  ASSERT_TRUE(cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() == 1; }, 5000));
  cef_testing::SetBeforeUnload(cef_testing::OpenBrowsers().front(), true, "Stay?", false);
  DesktopRequestReentry(true);
  ASSERT_TRUE(cef_testing::RunUntil([] { return !running.load(); }, 10000));
  EXPECT_TRUE(restartHost);
  EXPECT_TRUE(handler_->IsClosing());
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 0);
}

TEST_F(UpdateEnd, AShutdownDuringTheConfirmationSendsNothing) {
  ASSERT_TRUE(client_->Patch({{"pending", {{"revision", 6}}}}));
  client_->Receive();
  // A quit reply is applied while the box is open; the box is answered OK
  // as the client goes down.
  MessageBoxWatcher watcher(IDOK);
  CefPostTask(TID_UI,
              base::BindOnce([](CefRefPtr<SimpleHandler> handler) { handler->CloseAllBrowsers(true); }, handler_));
  SendMessageW(updateWindow, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
  cef_testing::RunPending(200);
  EXPECT_FALSE(running.load());
  if (updateThread.joinable())
    updateThread.join();
  EXPECT_TRUE(client_->Journal()["accepts"].empty());
}

TEST_F(UpdateEnd, EscapeBeforeAdmissionCancelsTheStartUp) {
  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.admitted = false;
  }
  client_->Receive();
  ASSERT_TRUE(IsWindowVisible(updateWindow)) << "shown again while the launch waits";
  // A web window opened before admission goes too, even if its page would
  // rather stay.
  handler_->OpenWindow("https://elsewhere.example/");
  ASSERT_TRUE(cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() == 1; }, 5000));
  cef_testing::SetBeforeUnload(cef_testing::OpenBrowsers().front(), true, "Stay?", false);
  SendMessageW(detailsWindow, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(cef_testing::RunUntil([] { return !running.load(); }, 10000));
  EXPECT_FALSE(restartHost);
  EXPECT_TRUE(handler_->IsClosing());
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 0);
}

}  // namespace
}  // namespace kesta::desktop
