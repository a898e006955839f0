// The event-loop core: UI binding, posting from other threads, delayed
// tasks, quitting, the IO thread and the worker.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>

#include "core/message_loop.h"
#include "include/base/cef_callback.h"
#include "include/cef_task.h"
#include "include/wrapper/cef_closure_task.h"
#include "include/wrapper/cef_helpers.h"

namespace {

using Clock = std::chrono::steady_clock;
using cef_internal::RunUIUntil;

// Counts destructions and records the thread they happened on.
class Tracked : public CefBaseRefCounted {
 public:
  explicit Tracked(std::atomic<int>* destroyed, std::thread::id* died_on = nullptr)
      : destroyed_(destroyed), died_on_(died_on) {}
  ~Tracked() {
    if (died_on_)
      *died_on_ = std::this_thread::get_id();
    ++*destroyed_;
  }
  void Touch() { ++touches; }
  int touches = 0;

 private:
  std::atomic<int>* destroyed_;
  std::thread::id* died_on_;
  IMPLEMENT_REFCOUNTING(Tracked);
};

class MessageLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cef_internal::BindCurrentThreadAsUI();
    cef_internal::StartIOThread();
  }
  void TearDown() override {
    cef_internal::StopIOThread();
    cef_internal::UnbindUIThread();
  }
};

TEST_F(MessageLoopTest, TasksFromSeveralThreadsRunOnUIInPostingOrder) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 200;
  std::mutex mutex;
  std::vector<std::pair<int, int>> ran;  // (thread, sequence)
  std::atomic<int> wrong_thread{0};
  auto record = [&](int thread, int sequence) {
    if (!CefCurrentlyOn(TID_UI))
      ++wrong_thread;
    std::lock_guard<std::mutex> lock(mutex);
    ran.emplace_back(thread, sequence);
  };

  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([t, &record] {
      for (int i = 0; i < kPerThread; ++i) {
        EXPECT_TRUE(cef_internal::PostFunction(TID_UI, [t, i, &record] { record(t, i); }));
      }
    });
  }
  for (auto& poster : posters)
    poster.join();
  ASSERT_TRUE(RunUIUntil([&] { return ran.size() == kThreads * kPerThread; }, 10000));

  EXPECT_EQ(wrong_thread, 0);
  std::vector<int> next(kThreads, 0);
  for (auto [thread, sequence] : ran)
    EXPECT_EQ(sequence, next[thread]++) << "thread " << thread;
}

TEST_F(MessageLoopTest, DelayedTasksRunNoEarlierThanAskedAndInDueOrder) {
  std::vector<int> order;
  std::vector<Clock::duration> waited;
  const auto start = Clock::now();
  auto post = [&](int id, int64_t delay_ms) {
    cef_internal::PostFunction(
        TID_UI,
        [&, id, delay_ms] {
          order.push_back(id);
          waited.push_back(Clock::now() - start - std::chrono::milliseconds(delay_ms));
        },
        delay_ms);
  };
  post(3, 120);
  post(1, 30);
  post(2, 60);
  post(4, 120);  // same due time as 3: posting order
  post(0, 0);
  ASSERT_TRUE(RunUIUntil([&] { return order.size() == 5; }, 5000));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  for (auto w : waited)
    EXPECT_GE(w.count(), 0);
}

TEST_F(MessageLoopTest, DelayedTaskFromAnotherThreadWakesTheLoop) {
  std::atomic<bool> ran{false};
  Clock::time_point posted;
  std::thread([&] {
    posted = Clock::now();
    CefPostDelayedTask(TID_UI, base::BindOnce([](std::atomic<bool>* flag) { *flag = true; }, &ran), 50);
  }).join();
  ASSERT_TRUE(RunUIUntil([&] { return ran.load(); }, 5000));
  EXPECT_GE(Clock::now() - posted, std::chrono::milliseconds(50));
}

TEST_F(MessageLoopTest, QuitEndsTheLoopAndWorksFromOtherThreads) {
  int ran = 0;
  cef_internal::PostFunction(TID_UI, [&] { ++ran; });
  cef_internal::PostFunction(TID_IO, [] { cef_internal::QuitUILoop(); });
  cef_internal::RunUILoop();  // returns only through the quit
  EXPECT_EQ(ran, 1);

  // Asked for before the loop starts: the loop ends at once.
  cef_internal::QuitUILoop();
  cef_internal::RunUILoop();

  // From a task on the UI thread: tasks already posted still run, a delayed
  // one that is not yet due does not.
  cef_internal::PostFunction(TID_UI, [&] {
    ++ran;
    cef_internal::PostFunction(TID_UI, [&] { ran += 10; });
    cef_internal::PostFunction(
        TID_UI, [&] { ran += 100; }, 60000);
    cef_internal::QuitUILoop();
  });
  cef_internal::RunUILoop();
  EXPECT_EQ(ran, 12);
}

TEST_F(MessageLoopTest, ThreadIdsAndTaskRunners) {
  std::atomic<int> checks{0};
  cef_internal::PostFunction(TID_IO, [&] {
    EXPECT_TRUE(CefCurrentlyOn(TID_IO));
    EXPECT_FALSE(CefCurrentlyOn(TID_UI));
    EXPECT_TRUE(CefTaskRunner::GetForCurrentThread()->BelongsToThread(TID_IO));
    ++checks;
  });
  cef_internal::PostFunction(TID_FILE_USER_BLOCKING, [&] {
    EXPECT_TRUE(CefCurrentlyOn(TID_FILE_USER_BLOCKING));
    EXPECT_FALSE(CefCurrentlyOn(TID_IO));
    ++checks;
  });
  CefRefPtr<CefTaskRunner> io = CefTaskRunner::GetForThread(TID_IO);
  ASSERT_TRUE(io);
  EXPECT_FALSE(io->BelongsToCurrentThread());
  EXPECT_TRUE(io->IsSame(CefTaskRunner::GetForThread(TID_IO)));
  EXPECT_FALSE(io->IsSame(CefTaskRunner::GetForThread(TID_UI)));
  EXPECT_TRUE(io->PostTask(CefCreateClosureTask(base::BindOnce(
      [](std::atomic<int>* n) {
        if (CefCurrentlyOn(TID_IO))
          ++*n;
      },
      &checks))));
  EXPECT_TRUE(CefTaskRunner::GetForCurrentThread()->BelongsToThread(TID_UI));
  EXPECT_FALSE(CefTaskRunner::GetForThread(TID_NUM_VALUES));
  EXPECT_FALSE(CefTaskRunner::GetForThread(TID_RENDERER));
  EXPECT_TRUE(CefCurrentlyOn(TID_UI));
  EXPECT_TRUE(RunUIUntil([&] { return checks == 3; }, 5000));
}

// Tasks that a socket or timer handler posts to its own thread run once it
// returns, delayed ones when due, in order.
TEST_F(MessageLoopTest, IOContextHandlersRunOnTheIOThreadAndTheirTasksAfterThem) {
  std::atomic<bool> on_io{false};
  std::mutex lock;  // guards order
  std::vector<std::string> order;
  auto note = [&](const char* what) {
    std::lock_guard<std::mutex> guard(lock);
    order.push_back(std::string(what) + (CefCurrentlyOn(TID_IO) ? "" : " off IO"));
  };
  boost::asio::post(cef_internal::IOContext(), [&] {
    on_io = CefCurrentlyOn(TID_IO);
    cef_internal::PostFunction(
        TID_IO, [&] { note("delayed"); }, 20);
    cef_internal::PostFunction(TID_IO, [&] {
      note("first");
      cef_internal::PostFunction(TID_IO, [&] { note("from a task"); });
    });
    cef_internal::PostFunction(TID_IO, [&] { note("second"); });
    // More than one batch holds.
    for (int i = 0; i < 200; ++i)
      cef_internal::PostFunction(TID_IO, [&] { note("many"); });
    note("handler");
  });
  EXPECT_TRUE(RunUIUntil(
      [&] {
        std::lock_guard<std::mutex> guard(lock);
        return order.size() == 205;
      },
      5000));
  EXPECT_TRUE(on_io);
  std::lock_guard<std::mutex> guard(lock);
  std::vector<std::string> expected{"handler", "first", "second"};
  expected.insert(expected.end(), 200, "many");
  expected.insert(expected.end(), {"from a task", "delayed"});
  EXPECT_EQ(order, expected);
}

// Tasks and ready sockets and timers take turns: a task that keeps posting
// itself must not keep a posted handler, a due timer or a socket that has
// data from running.
TEST_F(MessageLoopTest, ATaskThatPostsItselfLeavesHandlersTimersAndSocketsTheirTurn) {
  namespace asio = boost::asio;
  using asio::ip::tcp;
  asio::io_context& io = cef_internal::IOContext();
  // Shared with the IO thread's handlers, which may outlive a failed wait.
  struct State {
    explicit State(asio::io_context& io) : timer(io), reader(io), writer(io) {}
    asio::steady_timer timer;
    tcp::socket reader, writer;
    char byte = 0;
    std::atomic<bool> handler_ran{false}, timer_fired{false}, socket_read{false};
    std::atomic<bool> stop{false}, stopped{false};
    std::atomic<int> runs{0};
    // The task gives up on its own, so that a starved loop still ends.
    Clock::time_point give_up = Clock::now() + std::chrono::seconds(3);
    void PostAgain(std::shared_ptr<State> self) {
      ++runs;
      if (stop || Clock::now() >= give_up) {
        stopped = true;
        return;
      }
      cef_internal::PostFunction(TID_IO, [self] { self->PostAgain(self); });
    }
  };
  auto state = std::make_shared<State>(io);
  {
    tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    state->writer.connect(acceptor.local_endpoint());
    acceptor.accept(state->reader);
  }
  asio::write(state->writer, asio::buffer("x", 1));

  asio::post(io, [state, &io] {
    state->PostAgain(state);
    state->timer.expires_after(std::chrono::milliseconds(10));
    state->timer.async_wait([state](const boost::system::error_code& ec) { state->timer_fired = !ec; });
    state->reader.async_read_some(asio::buffer(&state->byte, 1),
                                  [state](const boost::system::error_code&, size_t n) { state->socket_read = n == 1; });
    asio::post(io, [state] { state->handler_ran = true; });
  });
  EXPECT_TRUE(RunUIUntil([&] { return state->handler_ran && state->timer_fired && state->socket_read; }, 5000));
  EXPECT_FALSE(state->stopped) << "the other work ran only once the task stopped posting itself";
  state->stop = true;
  EXPECT_TRUE(RunUIUntil([&] { return state->stopped.load(); }, 5000));
  EXPECT_GT(state->runs, 1);
  // The sockets are closed on the thread that runs them.
  asio::post(io, [state] {
    state->reader.close();
    state->writer.close();
    state->stop = false;
  });
  EXPECT_TRUE(RunUIUntil([&] { return !state->stop; }, 5000));
}

TEST_F(MessageLoopTest, BoundReferencesLiveUntilTheTaskRanAndDieOnItsThread) {
  std::atomic<int> destroyed{0};
  std::thread::id died_on;
  std::thread::id io_thread;
  {
    CefRefPtr<Tracked> object = new Tracked(&destroyed, &died_on);
    CefPostTask(TID_IO, base::BindOnce(
                            [](std::thread::id* io, CefRefPtr<Tracked> o) {
                              *io = std::this_thread::get_id();
                              o->Touch();
                            },
                            &io_thread, std::move(object)));
  }
  ASSERT_TRUE(RunUIUntil([&] { return destroyed == 1; }, 5000));
  EXPECT_EQ(died_on, io_thread);
}

// Released on any thread, destroyed on the UI thread.
class UIOwned : public CefBaseRefCounted {
 public:
  explicit UIOwned(std::atomic<bool>* destroyed_on_ui) : destroyed_on_ui_(destroyed_on_ui) {}
  ~UIOwned() { *destroyed_on_ui_ = CefCurrentlyOn(TID_UI); }

 private:
  std::atomic<bool>* destroyed_on_ui_;
  IMPLEMENT_REFCOUNTING_DELETE_ON_UIT(UIOwned);
};

TEST_F(MessageLoopTest, DeleteOnUIThreadMovesTheLastReleaseThere) {
  std::atomic<bool> destroyed_on_ui{false};
  std::atomic<bool> released{false};
  CefRefPtr<UIOwned> object = new UIOwned(&destroyed_on_ui);
  CefPostTask(TID_IO, base::BindOnce(
                          [](CefRefPtr<UIOwned> o, std::atomic<bool>* done) {
                            o = nullptr;  // last reference, dropped on IO
                            *done = true;
                          },
                          std::move(object), &released));
  EXPECT_TRUE(RunUIUntil([&] { return released && destroyed_on_ui; }, 5000));
}

TEST_F(MessageLoopTest, RepeatingClosurePostedTwiceRunsTwice) {
  int runs = 0;
  base::RepeatingClosure closure = base::BindRepeating([](int* n) { ++*n; }, &runs);
  EXPECT_TRUE(CefPostTask(TID_UI, closure));
  EXPECT_TRUE(CefPostDelayedTask(TID_UI, closure, 1));
  EXPECT_TRUE(RunUIUntil([&] { return runs == 2; }, 5000));
  EXPECT_FALSE(closure.is_null());
}

TEST(MessageLoopLifetimeTest, PostingToAThreadThatIsNotRunningFailsAndReleasesTheTask) {
  std::atomic<int> destroyed{0};
  CefRefPtr<Tracked> object = new Tracked(&destroyed);
  EXPECT_FALSE(CefPostTask(TID_UI, base::BindOnce(&Tracked::Touch, object)));
  EXPECT_FALSE(CefPostTask(TID_IO, base::BindOnce(&Tracked::Touch, object)));
  EXPECT_FALSE(CefPostDelayedTask(TID_FILE_BACKGROUND, base::BindOnce(&Tracked::Touch, object), 5));
  EXPECT_FALSE(CefPostTask(TID_RENDERER, base::BindOnce(&Tracked::Touch, object)));
  EXPECT_TRUE(object->HasOneRef());
  EXPECT_FALSE(CefCurrentlyOn(TID_UI));

  // Tasks still queued when a thread stops are released, never run.
  cef_internal::BindCurrentThreadAsUI();
  cef_internal::StartIOThread();
  EXPECT_TRUE(CefPostDelayedTask(TID_IO, base::BindOnce(&Tracked::Touch, object), 60000));
  EXPECT_TRUE(CefPostTask(TID_UI, base::BindOnce(&Tracked::Touch, object)));
  cef_internal::StopIOThread();
  cef_internal::UnbindUIThread();
  EXPECT_TRUE(object->HasOneRef());
  EXPECT_EQ(object->touches, 0);
  EXPECT_FALSE(CefPostTask(TID_IO, base::BindOnce(&Tracked::Touch, object)));

  // The threads can be started again afterwards.
  cef_internal::BindCurrentThreadAsUI();
  cef_internal::StartIOThread();
  EXPECT_TRUE(CefPostTask(TID_IO, base::BindOnce(&Tracked::Touch, object)));
  EXPECT_TRUE(RunUIUntil([&] { return object->HasOneRef(); }, 5000));
  cef_internal::StopIOThread();
  cef_internal::UnbindUIThread();
  EXPECT_EQ(object->touches, 1);
}

TEST_F(MessageLoopTest, RunUntilIdleWaitsForReadyWorkOnEveryThread) {
  int ran = 0;
  cef_internal::PostFunction(TID_UI, [&] {
    ++ran;
    // Posted by a task: still part of the same idle run.
    cef_internal::PostFunction(TID_UI, [&] { ++ran; });
  });
  cef_internal::PostFunction(
      TID_UI, [&] { ran += 100; }, 60000);
  // Work on the IO thread that replies to the UI thread is waited for.
  cef_internal::PostFunction(TID_IO, [&ran] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    cef_internal::PostFunction(TID_UI, [&ran] { ran += 10; });
  });
  EXPECT_TRUE(cef_internal::RunUIUntilIdle(5000));
  EXPECT_EQ(ran, 12);
}

// Its destructor posts again, as objects released by dropped tasks may.
class PostsWhenDestroyed : public CefBaseRefCounted {
 public:
  explicit PostsWhenDestroyed(std::atomic<int>* accepted) : accepted_(accepted) {}
  ~PostsWhenDestroyed() {
    if (CefPostTask(TID_IO, base::BindOnce([] {})))
      ++*accepted_;
  }
  void Run() {}

 private:
  std::atomic<int>* accepted_;
  IMPLEMENT_REFCOUNTING(PostsWhenDestroyed);
};

TEST(MessageLoopLifetimeTest, StoppingWhileOthersPostNeitherDeadlocksNorRunsLateTasks) {
  cef_internal::BindCurrentThreadAsUI();
  cef_internal::StartIOThread();
  std::atomic<int> accepted_after_stop{0};
  std::atomic<bool> stop_posting{false};
  std::atomic<int> ran{0};
  std::vector<std::thread> posters;
  for (int t = 0; t < 3; ++t) {
    posters.emplace_back([&] {
      while (!stop_posting) {
        CefPostTask(TID_IO, base::BindOnce([](std::atomic<int>* n) { ++*n; }, &ran));
        CefPostTask(TID_FILE_BACKGROUND, base::BindOnce([](std::atomic<int>* n) { ++*n; }, &ran));
      }
    });
  }
  for (int i = 0; i < 50; ++i) {
    CefPostDelayedTask(TID_IO,
                       base::BindOnce(&PostsWhenDestroyed::Run,
                                      CefRefPtr<PostsWhenDestroyed>(new PostsWhenDestroyed(&accepted_after_stop))),
                       60000);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  cef_internal::StopIOThread();  // drops the delayed tasks; their objects post again
  EXPECT_EQ(accepted_after_stop, 0);
  const int ran_at_stop = ran;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ran, ran_at_stop);
  stop_posting = true;
  for (auto& poster : posters)
    poster.join();
  EXPECT_GT(ran_at_stop, 0);
  cef_internal::UnbindUIThread();
}

}  // namespace
