// The desktop state's initial values and a full DesktopStop. Runs in a
// process of its own: the state is process-wide and stopping is final.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "desktop/desktop.h"
#include "desktop/desktop_state.h"
#include "recording_context.h"

namespace kesta::desktop {
namespace {

using kesta::testing::RecordingContext;

// Everything still as the process started. Called before anything in this
// program changes the state.
void ExpectInitialValues() {
  EXPECT_EQ(revision, -1.0);
  EXPECT_TRUE(running.load());
  EXPECT_EQ(activation, 0.0);
  EXPECT_EQ(after, 0.0);
  EXPECT_EQ(promptedRevision, 0.0);
  EXPECT_EQ(promptedRefreshRevision, 0.0);
  EXPECT_FALSE(restartHost);
  EXPECT_FALSE(webContextReady);
  EXPECT_FALSE(gameWindowCreated);
  EXPECT_EQ(appIcon, nullptr);
  EXPECT_EQ(updateWindow, nullptr);
  EXPECT_EQ(detailsWindow, nullptr);
  EXPECT_EQ(acceptButton, nullptr);
  EXPECT_EQ(deferButton, nullptr);
  EXPECT_EQ(updateFont, nullptr);
  EXPECT_TRUE(poolBindings.empty());
  EXPECT_TRUE(gameBrowsers.empty());
  EXPECT_TRUE(migrationSources.empty());
  EXPECT_TRUE(restartArguments.empty());
  EXPECT_FALSE(requestThread.joinable());
  EXPECT_FALSE(updateThread.joinable());
  EXPECT_FALSE(desiredProxyState);
  EXPECT_FALSE(updateState);
  EXPECT_FALSE(resourceLaunch.admitted);
  EXPECT_TRUE(resourceLaunch.updateGate);
  EXPECT_FALSE(networkPolicy.startupNetworkEnforced);
  EXPECT_TRUE(networkPolicy.restartNeededForEnforcement);

  EXPECT_EQ(DesktopOrigin(), "");
  EXPECT_FALSE(DesktopGameContext());
  EXPECT_FALSE(DesktopWebContext());
  EXPECT_FALSE(currentLocalContext());
  EXPECT_FALSE(DesktopStartupNetworkEnforced());
}

// What a worker like the heartbeat or update thread did, shared with it: a
// worker the stop failed to wait for must not outlive its record.
struct WorkerRecord {
  std::mutex mutex;
  std::condition_variable changed;
  bool stopReturned = false;
  bool finished = false;
  bool sawRunning = true;
};

// The worker's exchange lasts `exchange` unless DesktopStop returns first;
// then it looks at `running`, as before posting anything.
std::thread Worker(std::shared_ptr<WorkerRecord> record, std::chrono::milliseconds exchange) {
  return std::thread([record, exchange] {
    std::unique_lock lock(record->mutex);
    record->changed.wait_for(lock, exchange, [&] { return record->stopReturned; });
    record->sawRunning = running.load();
    record->finished = true;
  });
}

struct Outcome {
  bool finished;
  bool sawRunning;
};

// Called once DesktopStop has returned: what the worker had done by then. A
// worker still busy is told, so it ends at once.
Outcome AfterStop(WorkerRecord& record) {
  std::lock_guard lock(record.mutex);
  record.stopReturned = true;
  record.changed.notify_all();
  return {record.finished, record.sawRunning};
}

// One test: stopping is final, and the initial values must be looked at
// before anything changes them.
TEST(DesktopState, FromItsInitialValuesAStopReleasesEverythingOnceInOrder) {
  ExpectInitialValues();
  networkPolicy.startupNetworkEnforced = true;
  EXPECT_TRUE(DesktopStartupNetworkEnforced());

  std::vector<std::string> released;
  std::vector<bool> variableWasNull;
  auto note = [&](const std::string& name) {
    released.push_back(name);
    variableWasNull.push_back(name == "game" ? !gameContext : name == "web" ? !webContext : !currentLocalContext());
  };
  gameContext = new RecordingContext("game", note);
  webContext = new RecordingContext("web", note);
  setLocalContext(new RecordingContext("local", note));
  EXPECT_TRUE(DesktopGameContext());
  EXPECT_TRUE(DesktopWebContext());
  EXPECT_TRUE(currentLocalContext());
  CefRefPtr<CefDictionaryValue> proxyState = CefDictionaryValue::Create();
  CefRefPtr<CefDictionaryValue> lastUpdate = CefDictionaryValue::Create();
  desiredProxyState = proxyState;
  updateState = lastUpdate;
  webContextReady = true;
  restartHost = true;
  origin = "https://kept.example";
  dataDir = "C:/kept";

  updateWindow = CreateWindowExW(0, L"STATIC", L"updates", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(updateWindow);
  detailsWindow = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 50, 20, updateWindow, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
  acceptButton = CreateWindowExW(0, L"BUTTON", L"ok", WS_CHILD, 0, 0, 50, 20, updateWindow, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(detailsWindow);
  HWND window = updateWindow;
  HWND details = detailsWindow;
  HWND accept = acceptButton;
  updateFont = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
  ASSERT_TRUE(updateFont);
  HFONT font = updateFont;
  appIcon = CopyIcon(LoadIconW(nullptr, IDI_APPLICATION));
  ASSERT_TRUE(appIcon);
  HICON icon = appIcon;

  // The heartbeat exchange outlasts the update request: waiting for the
  // update thread alone would not wait for it.
  auto request = std::make_shared<WorkerRecord>();
  auto update = std::make_shared<WorkerRecord>();
  requestThread = Worker(request, std::chrono::milliseconds(1000));
  updateThread = Worker(update, std::chrono::milliseconds(300));

  DesktopStop();

  // Both workers ran to their end, and saw the flag already cleared.
  const Outcome requestOutcome = AfterStop(*request);
  const Outcome updateOutcome = AfterStop(*update);
  EXPECT_TRUE(requestOutcome.finished);
  EXPECT_TRUE(updateOutcome.finished);
  EXPECT_FALSE(requestOutcome.sawRunning);
  EXPECT_FALSE(updateOutcome.sawRunning);
  EXPECT_FALSE(running.load());
  EXPECT_FALSE(requestThread.joinable());
  EXPECT_FALSE(updateThread.joinable());

  EXPECT_EQ(updateWindow, nullptr);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IsWindow(details));
  EXPECT_FALSE(IsWindow(accept));
  EXPECT_EQ(updateFont, nullptr);
  EXPECT_EQ(GetObjectType(font), 0u);
  EXPECT_EQ(appIcon, nullptr);
  ICONINFO info = {};
  EXPECT_FALSE(GetIconInfo(icon, &info));

  EXPECT_FALSE(desiredProxyState);
  EXPECT_FALSE(updateState);
  EXPECT_TRUE(proxyState->HasOneRef());
  EXPECT_TRUE(lastUpdate->HasOneRef());
  EXPECT_FALSE(webContextReady);
  EXPECT_EQ(released, (std::vector<std::string>{"game", "web", "local"}));
  EXPECT_EQ(variableWasNull, (std::vector<bool>{true, true, true}));
  EXPECT_FALSE(DesktopGameContext());
  EXPECT_FALSE(DesktopWebContext());
  EXPECT_FALSE(currentLocalContext());

  // Left alone: what the restart needs, strings, and the control handles
  // that went with their window.
  EXPECT_TRUE(restartHost);
  EXPECT_EQ(DesktopOrigin(), "https://kept.example");
  EXPECT_EQ(dataDir, "C:/kept");
  EXPECT_EQ(detailsWindow, details);
  EXPECT_EQ(acceptButton, accept);

  // Again: nothing left to join, destroy or release, and nothing changes.
  DesktopStop();
  EXPECT_FALSE(running.load());
  EXPECT_EQ(released.size(), 3u);
  EXPECT_EQ(updateWindow, nullptr);
  EXPECT_EQ(updateFont, nullptr);
  EXPECT_EQ(appIcon, nullptr);
  EXPECT_TRUE(restartHost);
  EXPECT_EQ(detailsWindow, details);
  EXPECT_EQ(DesktopOrigin(), "https://kept.example");
  restartHost = false;

  // The update request is waited for as well, when it is the one in flight.
  auto lateUpdate = std::make_shared<WorkerRecord>();
  updateThread = Worker(lateUpdate, std::chrono::milliseconds(1000));
  DesktopStop();
  EXPECT_TRUE(AfterStop(*lateUpdate).finished);
  EXPECT_FALSE(updateThread.joinable());
}

}  // namespace
}  // namespace kesta::desktop
