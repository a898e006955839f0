// DesktopStop before any window exists (CEF failed to start), the local
// context's hand-over between the UI and IO threads, and the locks of the
// accessors other threads call. A process of its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "desktop/desktop.h"
#include "desktop/desktop_state.h"
#include "recording_context.h"

namespace kesta::desktop {
namespace {

using kesta::testing::RecordingContext;

// Reference holders on an "IO thread" never take a context whose release
// has begun, however the UI thread swaps it. A reference taken too late
// would destroy the context a second time: the live count would end below
// zero.
TEST(DesktopLocalContext, ReferencesNeverReachAReleasedContext) {
  std::atomic<int> alive{0};
  std::atomic<int> fewest{0};
  std::atomic<bool> stop{false};
  std::atomic<long> taken{0};
  std::thread io([&] {
    while (!stop) {
      if (CefRefPtr<CefRequestContext> context = currentLocalContext())
        ++taken;
    }
  });
  auto destroyed = [&](const std::string&) {
    const int now = --alive;
    int low = fewest.load();
    while (now < low && !fewest.compare_exchange_weak(low, now)) {
    }
  };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (int i = 0; i < 20000 || (taken < 5000 && std::chrono::steady_clock::now() < deadline); ++i) {
    ++alive;
    setLocalContext(new RecordingContext("local", destroyed));
    if (i % 3 == 0)
      setLocalContext(nullptr);
  }
  setLocalContext(nullptr);
  stop = true;
  io.join();
  EXPECT_GT(taken.load(), 0);
  EXPECT_EQ(fewest.load(), 0) << "a context was destroyed more often than made";
  EXPECT_EQ(alive.load(), 0);
}

// Held by another thread, an accessor's lock keeps it waiting; released, it
// lets the accessor finish.
TEST(DesktopLocks, AccessorsWaitWhileTheirLockIsHeld) {
  struct Case {
    const char* name;
    PlainMutex& lock;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"DesktopOrigin", browserMutex, [] { DesktopOrigin(); }},
      {"currentLocalContext", localContextMutex, [] { currentLocalContext(); }},
      {"setLocalContext", localContextMutex, [] { setLocalContext(nullptr); }},
  };
  for (const Case& c : cases) {
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    std::unique_lock held(c.lock);
    std::thread caller([&] {
      c.call();
      std::lock_guard lock(mutex);
      finished = true;
      changed.notify_all();
    });
    {
      std::unique_lock lock(mutex);
      EXPECT_FALSE(changed.wait_for(lock, std::chrono::milliseconds(500), [&] { return finished; })) << c.name;
    }
    held.unlock();
    {
      std::unique_lock lock(mutex);
      EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return finished; })) << c.name;
    }
    caller.join();
  }
}

TEST(DesktopStopEarly, BeforeAnyWindowOnlyFlagsAndReferencesChange) {
  std::vector<std::string> released;
  auto note = [&](const std::string& name) { released.push_back(name); };
  gameContext = new RecordingContext("game", note);
  setLocalContext(new RecordingContext("local", note));
  webContextReady = true;
  detailsWindow = reinterpret_cast<HWND>(0x1234);  // a handle it must not touch

  DesktopStop();
  EXPECT_FALSE(running.load());
  EXPECT_FALSE(webContextReady);
  EXPECT_EQ(released, (std::vector<std::string>{"game", "local"}));
  EXPECT_EQ(updateWindow, nullptr);
  EXPECT_EQ(updateFont, nullptr);
  EXPECT_EQ(appIcon, nullptr);
  EXPECT_EQ(detailsWindow, reinterpret_cast<HWND>(0x1234));

  DesktopStop();
  EXPECT_FALSE(running.load());
  EXPECT_EQ(released.size(), 2u);
  EXPECT_EQ(detailsWindow, reinterpret_cast<HWND>(0x1234));
  EXPECT_FALSE(DesktopGameContext());
  EXPECT_FALSE(currentLocalContext());
  detailsWindow = nullptr;
}

}  // namespace
}  // namespace kesta::desktop
