// The UI loop is a real Win32 message loop: windows of the UI thread are
// served by it, and tasks and window messages share it.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/message_loop.h"
#include "include/base/cef_callback.h"
#include "include/wrapper/cef_closure_task.h"
#include "support/message_boxes_win.h"

namespace {

constexpr UINT kTestMessage = WM_APP + 7;

std::vector<std::string>* g_events = nullptr;

LRESULT CALLBACK TestWndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kTestMessage) {
    g_events->push_back("message " + std::to_string(wparam));
    if (wparam == 2)
      ::DestroyWindow(hwnd);
    return 0;
  }
  if (message == WM_DESTROY) {
    g_events->push_back("destroyed");
    cef_internal::QuitUILoop();
    return 0;
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

HWND CreateTestWindow() {
  static ATOM atom = [] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &TestWndProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"UILoopTestWindow";
    return ::RegisterClassExW(&wc);
  }();
  EXPECT_NE(atom, 0);
  return ::CreateWindowExW(0, L"UILoopTestWindow", L"test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                           ::GetModuleHandleW(nullptr), nullptr);
}

class UILoopWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_events = &events_;
    cef_internal::BindCurrentThreadAsUI();
    cef_internal::StartIOThread();
  }
  void TearDown() override {
    cef_internal::StopIOThread();
    cef_internal::UnbindUIThread();
    g_events = nullptr;
  }
  std::vector<std::string> events_;
};

TEST_F(UILoopWinTest, WindowMessagesAndTasksShareTheLoop) {
  HWND window = CreateTestWindow();
  ASSERT_NE(window, nullptr);
  // Another thread talks to the window and posts tasks; the loop serves
  // both until the window's destruction quits it.
  std::thread other([&] {
    ::PostMessageW(window, kTestMessage, 1, 0);
    CefPostTask(TID_UI, base::BindOnce([](std::vector<std::string>* events) { events->push_back("task"); }, &events_));
    CefPostDelayedTask(TID_UI, base::BindOnce([](HWND w) { ::PostMessageW(w, kTestMessage, 2, 0); }, window), 30);
  });
  other.join();
  cef_internal::RunUILoop();
  EXPECT_FALSE(::IsWindow(window));
  ASSERT_EQ(events_.size(), 4u);
  EXPECT_EQ(events_[3], "destroyed");
  EXPECT_EQ(events_[2], "message 2");
}

TEST_F(UILoopWinTest, TasksWaitWhileATaskRunsAModalLoop) {
  kesta::testing::MessageBoxWatcher watcher;
  std::vector<std::string>& events = events_;
  cef_internal::PostFunction(TID_UI, [&events] {
    // Posted from inside the task; must not run inside the message box.
    cef_internal::PostFunction(TID_UI, [&events] { events.push_back("second"); });
    ::MessageBoxW(nullptr, L"modal", L"UILoopWinTest", MB_OK);
    events.push_back("box closed");
  });
  ASSERT_TRUE(cef_internal::RunUIUntil([&] { return events.size() == 2; }, 10000));
  EXPECT_EQ(events, (std::vector<std::string>{"box closed", "second"}));
  EXPECT_TRUE(watcher.WaitFor(1));
}

TEST_F(UILoopWinTest, QuitFromAnotherThreadEndsGetMessageLoop) {
  std::atomic<bool> ran{false};
  cef_internal::PostFunction(TID_IO, [&] {
    CefPostDelayedTask(TID_UI, base::BindOnce([](std::atomic<bool>* flag) { *flag = true; }, &ran), 20);
    cef_internal::PostFunction(
        TID_UI, [] {}, 40);
    // Quit only once the UI thread sits in GetMessage with nothing to do.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    cef_internal::QuitUILoop();
  });
  cef_internal::RunUILoop();
  EXPECT_TRUE(ran);
}

}  // namespace
