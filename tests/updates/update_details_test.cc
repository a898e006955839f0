// What the update window shows for each state: text, buttons, caption, and
// when it comes up by itself.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <mutex>

#include "desktop/desktop.h"
#include "desktop/desktop_flow.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "desktop/update_window.h"
#include "include/cef_values.h"

namespace kesta::desktop {
namespace {

const std::string kStored =
    "\r\n\r\n游戏引擎：已保存在本机\r\n\r\n地图：已保存在本机\r\n\r\n美术素材：已保存在本机"
    "\r\n\r\n客户端程序：已保存在本机";

std::string textOf(HWND window) {
  std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
  text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
  return utf8(text);
}

// Counts the WM_SETTEXT messages a window receives while it lives.
LRESULT CALLBACK countTextWrites(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  if (message == WM_SETTEXT)
    ++*reinterpret_cast<int*>(data);
  return DefSubclassProc(window, message, wParam, lParam);
}

class UpdateDetailsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    {
      std::lock_guard lock(browserMutex);
      resourceLaunch = ResourceLaunch();
      resourceLaunch.admitted = true;
      resourceLaunch.updateGate = false;
      resourceLaunch.admittedGeneration = resourceLaunch.observedGeneration = "g1";
      resourceLaunch.admittedOrigin = resourceLaunch.observedOrigin = "https://game.example";
    }
    promptedRevision = 0;
    promptedRefreshRevision = 0;
    DesktopApplicationMenuReady();
  }
  void TearDown() override {
    DestroyWindow(updateWindow);
    updateWindow = nullptr;
    updateState = nullptr;
  }

  void receive(const std::string& json) {
    CefRefPtr<CefDictionaryValue> state = parse(json);
    ASSERT_TRUE(state) << json;
    receiveUpdates(state);
  }
};

TEST_F(UpdateDetailsTest, NothingPending) {
  receive("{}");
  EXPECT_EQ(textOf(detailsWindow), "游戏资源已保存在本机。" + kStored);
  EXPECT_FALSE(IsWindowEnabled(acceptButton));
  EXPECT_FALSE(IsWindowEnabled(deferButton));
  EXPECT_EQ(textOf(acceptButton), "重新进入游戏…");
  EXPECT_FALSE(IsWindowVisible(updateWindow));
}

TEST_F(UpdateDetailsTest, PoolProgressStatusAndErrors) {
  receive(R"({"refresh":{"status":"downloading","revision":0,"pools":{
      "engine":{"status":"downloading","downloaded":5242880,"total":10485760},
      "maps":{"status":"paused","downloaded":1572864.0,"total":2097152,"error":"磁盘已满"},
      "art":{},
      "client":7}}})");
  EXPECT_EQ(textOf(detailsWindow),
            "正在后台准备更新，当前游戏可以继续。"
            "\r\n\r\n游戏引擎：正在下载 · 5.0 / 10.0 MB"
            "\r\n\r\n地图：paused · 1.5 / 2.0 MB\r\n磁盘已满"
            "\r\n\r\n美术素材： · 0.0 / 0.0 MB"
            "\r\n\r\n客户端程序：已保存在本机");
  // Revision 0 never brings the window up by itself.
  EXPECT_FALSE(IsWindowVisible(updateWindow));

  receive(R"({"refresh":{"status":"queued","pools":{
      "engine":{"status":"queued"},"maps":{"status":"verified"},"art":{"status":"failed"},
      "client":{"status":"downloading","downloaded":1048576,"total":1048576}}}})");
  EXPECT_EQ(textOf(detailsWindow),
            "游戏资源已保存在本机。"
            "\r\n\r\n游戏引擎：等待下载 · 0.0 / 0.0 MB"
            "\r\n\r\n地图：已校验 · 0.0 / 0.0 MB"
            "\r\n\r\n美术素材：下载或校验失败 · 0.0 / 0.0 MB"
            "\r\n\r\n客户端程序：正在下载 · 1.0 / 1.0 MB");
}

TEST_F(UpdateDetailsTest, RefreshErrorBeatsTheStateError) {
  receive(R"({"error":"state broke","refresh":{"status":"failed","error":"refresh broke"}})");
  EXPECT_EQ(textOf(detailsWindow),
            "更新暂未完成，当前游戏内容仍可使用。" + kStored + "\r\n\r\n更新暂未完成：refresh broke");
  receive(R"({"error":"state broke","refresh":{"status":"other","error":""}})");
  EXPECT_EQ(textOf(detailsWindow), "游戏资源已保存在本机。" + kStored + "\r\n\r\n更新暂未完成：state broke");
}

TEST_F(UpdateDetailsTest, PendingUpdateWithoutNotesAndAClosedGate) {
  receive(R"({"updateGate":true,"pending":{"revision":4}})");
  EXPECT_EQ(textOf(detailsWindow), "新内容已下载并校验完成，可在结束对局后更新。" + kStored + "\r\n\r\n");
  EXPECT_TRUE(IsWindowEnabled(acceptButton));
  EXPECT_FALSE(IsWindowEnabled(deferButton));
  EXPECT_EQ(textOf(acceptButton), "更新并重新进入游戏…");
  receive(R"({"pending":{"revision":4,"notes":"新地图"}})");
  EXPECT_TRUE(IsWindowEnabled(deferButton));
  EXPECT_EQ(textOf(detailsWindow), "新内容已下载并校验完成，可在结束对局后更新。" + kStored + "\r\n\r\n新地图");
}

TEST_F(UpdateDetailsTest, LongTextsAreCutAndAnUnchangedStateWritesNothing) {
  int writes = 0;
  ASSERT_TRUE(SetWindowSubclass(detailsWindow, countTextWrites, 77, reinterpret_cast<DWORD_PTR>(&writes)));
  ASSERT_TRUE(SetWindowSubclass(acceptButton, countTextWrites, 77, reinterpret_cast<DWORD_PTR>(&writes)));
  const std::string state = R"({"error":")" + std::string(100000, 'e') + R"(","pending":{"revision":0,"notes":")" +
                            std::string(100000, 'n') + R"("},"refresh":{"pools":{"engine":{"status":")" +
                            std::string(3000, 's') + R"(","error":")" + std::string(3000, 'p') + R"("}}}})";
  receive(state);
  EXPECT_EQ(writes, 1);
  EXPECT_EQ(textOf(detailsWindow),
            "新内容已下载并校验完成，可在结束对局后更新。\r\n\r\n游戏引擎：" + std::string(2000, 's') +
                "… · 0.0 / 0.0 MB\r\n" + std::string(2000, 'p') +
                "…\r\n\r\n地图：已保存在本机\r\n\r\n美术素材：已保存在本机\r\n\r\n客户端程序：已保存在本机"
                "\r\n\r\n" +
                std::string(2000, 'n') + "…\r\n\r\n更新暂未完成：" + std::string(2000, 'e') + "…");

  // The same reply again: neither the text box (whose reader may have
  // scrolled) nor the caption is written.
  writes = 0;
  receive(state);
  EXPECT_EQ(writes, 0);
  receive(R"({"pending":{"revision":0,"notes":"n"}})");
  EXPECT_EQ(writes, 1);
  receive("{}");
  EXPECT_EQ(writes, 3) << "the text and the caption changed";
  EXPECT_EQ(textOf(acceptButton), "重新进入游戏…");
  RemoveWindowSubclass(detailsWindow, countTextWrites, 77);
  RemoveWindowSubclass(acceptButton, countTextWrites, 77);
}

TEST_F(UpdateDetailsTest, ReentryAndPreparingSentences) {
  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.observedGeneration = "g2";
  }
  receive("{}");
  EXPECT_EQ(textOf(detailsWindow), "新资源已就绪。当前游戏继续使用原有资源，重新进入后生效。" + kStored);
  EXPECT_TRUE(IsWindowEnabled(acceptButton)) << "re-entry can be asked for without a pending update";
  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.admitted = false;
  }
  receive(R"({"pending":{"revision":1}})");
  EXPECT_EQ(textOf(detailsWindow).rfind("正在准备进入游戏所需的资源与网络配置，请稍候。关闭此窗口可取消启动。", 0), 0u);
}

TEST_F(UpdateDetailsTest, ComesUpOncePerRevisionAndNotForDeferredOnes) {
  // Revision 0, given or missing, is the one already "prompted" at start.
  receive(R"({"pending":{"notes":"x"}})");
  receive(R"({"pending":{"revision":0}})");
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  EXPECT_TRUE(IsWindowEnabled(acceptButton));
  receive(R"({"pending":{"revision":5,"deferred":true}})");
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  receive(R"({"pending":{"revision":5}})");
  EXPECT_TRUE(IsWindowVisible(updateWindow));
  EXPECT_EQ(promptedRevision, 5);
  ShowWindow(updateWindow, SW_HIDE);
  receive(R"({"pending":{"revision":5}})");
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  receive(R"({"pending":{"revision":6}})");
  EXPECT_TRUE(IsWindowVisible(updateWindow));
  ShowWindow(updateWindow, SW_HIDE);
  receive(R"({"pending":{"revision":6.5}})");
  EXPECT_TRUE(IsWindowVisible(updateWindow)) << "revisions compare as doubles";

  ShowWindow(updateWindow, SW_HIDE);
  receive(R"({"refresh":{"status":"downloading","revision":2}})");
  EXPECT_TRUE(IsWindowVisible(updateWindow));
  ShowWindow(updateWindow, SW_HIDE);
  receive(R"({"refresh":{"status":"failed","revision":2}})");
  EXPECT_FALSE(IsWindowVisible(updateWindow)) << "the same preparation run";
  // A failed run the user has not been told of comes up, once.
  receive(R"({"refresh":{"status":"failed","revision":3}})");
  EXPECT_TRUE(IsWindowVisible(updateWindow));
  EXPECT_EQ(promptedRefreshRevision, 3);
  ShowWindow(updateWindow, SW_HIDE);
  receive(R"({"refresh":{"status":"failed","revision":3}})");
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  // Other statuses leave the window alone, whatever their revision.
  receive(R"({"refresh":{"status":"verified","revision":4}})");
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  EXPECT_EQ(promptedRefreshRevision, 3);
}

TEST_F(UpdateDetailsTest, ANewUpdateComesUpWithoutTakingTheFocusFromTheGame) {
  HWND game = CreateWindowExW(0, L"STATIC", L"game", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(game, nullptr);
  SetForegroundWindow(game);
  SetActiveWindow(game);
  ASSERT_EQ(GetActiveWindow(), game);
  receive(R"({"pending":{"revision":11}})");
  EXPECT_TRUE(IsWindowVisible(updateWindow));
  EXPECT_EQ(GetActiveWindow(), game);
  receive(R"({"refresh":{"status":"failed","revision":4}})");
  EXPECT_EQ(GetActiveWindow(), game);
  DestroyWindow(game);
}

TEST_F(UpdateDetailsTest, ShownAgainBeforeAdmission) {
  {
    std::lock_guard lock(browserMutex);
    resourceLaunch.admitted = false;
  }
  ShowWindow(updateWindow, SW_HIDE);
  receive("{}");
  EXPECT_TRUE(IsWindowVisible(updateWindow));
}

TEST_F(UpdateDetailsTest, TheStateIsKeptEvenWithoutAWindow) {
  DestroyWindow(updateWindow);
  updateWindow = nullptr;
  receive(R"({"pending":{"revision":9}})");
  ASSERT_TRUE(updateState);
  EXPECT_EQ(number(updateState->GetDictionary("pending"), "revision"), 9);
  EXPECT_EQ(promptedRevision, 0);
}

}  // namespace
}  // namespace kesta::desktop
