// Threads of the stand-in: the UI thread bound at CefInitialize, the IO
// thread (an asio io_context) and the worker behind TID_FILE_* and
// TID_PROCESS_LAUNCHER.
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include "core/message_loop.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/task_queue.h"
#include "include/base/cef_logging.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace cef_internal {
namespace {

enum Slot { kUISlot = 0, kIOSlot, kWorkerSlot, kSlotCount };

// Which of our threads the calling thread is (-1: none).
thread_local int tls_slot = -1;
// Set while a task runs on this thread: tasks never nest, so a task that
// spins a nested loop (a modal dialog) holds the others back until it ends.
thread_local bool tls_running_task = false;

// Up to this many tasks run before window messages get a turn again.
constexpr int kMaxTasksPerBatch = 64;

TaskQueue& QueueFor(int slot) {
  // Never destroyed: other threads may still post during process exit.
  static TaskQueue* queues = new TaskQueue[kSlotCount];
  return queues[slot];
}

int SlotFor(cef_thread_id_t thread) {
  switch (thread) {
    case TID_UI:
      return kUISlot;
    case TID_IO:
      return kIOSlot;
    case TID_FILE_BACKGROUND:
    case TID_FILE_USER_VISIBLE:
    case TID_FILE_USER_BLOCKING:
    case TID_PROCESS_LAUNCHER:
      return kWorkerSlot;
    default:
      return -1;
  }
}

// Runs ready tasks of `queue` on this thread. Returns how many ran; when
// fewer than `max_tasks`, `next_due` holds the earliest delayed task's due
// time (if any).
int RunReadyTasks(TaskQueue& queue, int max_tasks, std::optional<TaskClock::time_point>* next_due) {
  if (tls_running_task)
    return 0;
  int ran = 0;
  while (ran < max_tasks) {
    CefRefPtr<CefTask> task = queue.TakeReadyTask(next_due);
    if (!task)
      break;
    tls_running_task = true;
    task->Execute();
    // Released here so whatever the task holds dies on its own thread.
    task = nullptr;
    queue.TaskDone();
    tls_running_task = false;
    ++ran;
  }
  return ran;
}

void ReleaseDropped(std::vector<CefRefPtr<CefTask>> dropped) {
  dropped.clear();
}

// ---------------------------------------------------------------------------
// UI thread.

#if defined(_WIN32)

constexpr UINT kMsgHaveWork = WM_APP + 0x3E1;
constexpr UINT kMsgQuit = WM_APP + 0x3E2;
constexpr UINT_PTR kDelayedWorkTimer = 1;
constexpr wchar_t kWindowClass[] = L"CefMessageLoopWindow";

// Drives the UI queue from a message-only window, so the UI loop is an
// ordinary GetMessage/DispatchMessage loop.
class UIPump : public TaskQueueWaker {
 public:
  UIPump() {
    static ATOM atom = [] {
      WNDCLASSEXW wc = {};
      wc.cbSize = sizeof(wc);
      wc.lpfnWndProc = &UIPump::WndProc;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.lpszClassName = kWindowClass;
      return ::RegisterClassExW(&wc);
    }();
    CHECK(atom) << "RegisterClassExW failed: " << ::GetLastError();
    window_ = ::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ::GetModuleHandleW(nullptr),
                                nullptr);
    CHECK(window_) << "message window creation failed: " << ::GetLastError();
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    thread_id_ = ::GetCurrentThreadId();
  }

  ~UIPump() override {
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::KillTimer(window_, kDelayedWorkTimer);
    ::DestroyWindow(window_);
  }

  // Any thread, with the queue's lock held: only posts a message.
  void ScheduleWork() override {
    if (work_pending_.exchange(true))
      return;
    if (!::PostMessageW(window_, kMsgHaveWork, 0, 0))
      work_pending_ = false;
  }

  void DoWork() {
    if (tls_running_task)
      return;  // the task below us resumes the batch when it returns
    std::optional<TaskClock::time_point> next_due;
    if (RunReadyTasks(QueueFor(kUISlot), kMaxTasksPerBatch, &next_due) == kMaxTasksPerBatch) {
      ScheduleWork();
      return;
    }
    if (!next_due) {
      ::KillTimer(window_, kDelayedWorkTimer);
      return;
    }
    // Timers may fire a little early; the queue only hands out ripe tasks
    // and the next DoWork re-arms for the rest.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next_due - TaskClock::now());
    const UINT ms = static_cast<UINT>(std::clamp<int64_t>(wait.count(), 1, 0x7FFFFFFF));
    ::SetTimer(window_, kDelayedWorkTimer, ms, nullptr);
  }

  void Quit() {
    if (::GetCurrentThreadId() == thread_id_)
      ::PostQuitMessage(0);
    else
      ::PostMessageW(window_, kMsgQuit, 0, 0);
  }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* pump = reinterpret_cast<UIPump*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (pump) {
      switch (message) {
        case kMsgHaveWork:
          pump->work_pending_ = false;
          pump->DoWork();
          return 0;
        case WM_TIMER:
          if (wparam == kDelayedWorkTimer) {
            ::KillTimer(hwnd, kDelayedWorkTimer);
            pump->DoWork();
            return 0;
          }
          break;
        case kMsgQuit:
          ::PostQuitMessage(0);
          return 0;
      }
    }
    return ::DefWindowProcW(hwnd, message, wparam, lparam);
  }

  HWND window_ = nullptr;
  DWORD thread_id_ = 0;
  std::atomic<bool> work_pending_{false};
};

#else  // !_WIN32

// The portable UI loop: the queue's own condition variable wakes it.
class UIPump : public TaskQueueWaker {
 public:
  void ScheduleWork() override {}  // the queue notifies its waiters itself

  void DoWork() { RunReadyTasks(QueueFor(kUISlot), kMaxTasksPerBatch, nullptr); }

  void Quit() { QueueFor(kUISlot).RequestQuit(); }
};

#endif  // _WIN32

// Guards the UI binding (g_ui_pump and the UI queue's open state changes).
std::mutex& UIMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
UIPump* g_ui_pump = nullptr;

bool OnUIThread() {
  return tls_slot == kUISlot;
}

// Pumps window messages without blocking. False when WM_QUIT came up (it is
// put back for the loop that owns it).
bool PumpPendingMessages() {
#if defined(_WIN32)
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
#endif
  return true;
}

// Sleeps until UI work may be ready or `deadline` passes.
void WaitForUIWork(TaskClock::time_point deadline) {
#if defined(_WIN32)
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - TaskClock::now());
  const DWORD ms = static_cast<DWORD>(std::clamp<int64_t>(wait.count(), 0, 50));
  ::MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
#else
  QueueFor(kUISlot).WaitForWork(deadline);
#endif
}

// ---------------------------------------------------------------------------
// IO thread: an io_context whose handlers run the IO queue's tasks.

class IOThread : public TaskQueueWaker {
 public:
  IOThread() : work_(boost::asio::make_work_guard(io_)), timer_(io_) {
    QueueFor(kIOSlot).Open(this);
    thread_ = std::thread([this] {
      tls_slot = kIOSlot;
      // One handler at a time, so that tasks a socket or timer handler
      // posts here run as soon as it returns, without a round through the
      // completion port (two calls into the Wine server).
      for (;;) {
        if (posted_here_) {
          posted_here_ = false;
          DoWork();
          // A batch that reached its size leaves the rest for the next one,
          // but ready sockets and timers go first: a task that keeps
          // posting itself must not starve them.
          if (posted_here_) {
            io_.poll_one();
            continue;
          }
        }
        if (!io_.run_one())
          break;
      }
      tls_slot = -1;
    });
  }

  ~IOThread() override {
    // Queue already closed by Stop(); nothing posts to io_ from us now.
    if (thread_.joinable())
      thread_.join();
  }

  std::vector<CefRefPtr<CefTask>> Stop() {
    std::vector<CefRefPtr<CefTask>> dropped = QueueFor(kIOSlot).Close();
    boost::asio::post(io_, [this] {
      timer_.cancel();
      work_.reset();
      io_.stop();
    });
    thread_.join();
    return dropped;
  }

  void ScheduleWork() override {
    if (tls_slot == kIOSlot) {
      // A task posted by a task of this thread runs in the same batch (it
      // goes on while tasks are ready, and re-arms for delayed ones); one
      // posted by a handler runs when the handler returns.
      if (!tls_running_task)
        posted_here_ = true;
      return;
    }
    if (work_pending_.exchange(true))
      return;
    boost::asio::post(io_, [this] {
      work_pending_ = false;
      DoWork();
    });
  }

  boost::asio::io_context& io() { return io_; }

 private:
  void DoWork() {
    std::optional<TaskClock::time_point> next_due;
    if (RunReadyTasks(QueueFor(kIOSlot), kMaxTasksPerBatch, &next_due) == kMaxTasksPerBatch) {
      ScheduleWork();
      return;
    }
    if (!next_due) {
      timer_.cancel();
      return;
    }
    timer_.expires_at(*next_due);
    timer_.async_wait([this](const boost::system::error_code& error) {
      if (!error)
        DoWork();
    });
  }

  boost::asio::io_context io_;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work_;
  boost::asio::steady_timer timer_;  // IO thread only
  std::atomic<bool> work_pending_{false};
  bool posted_here_ = false;  // IO thread only
  std::thread thread_;
};

// The worker behind the FILE_* and PROCESS_LAUNCHER ids.
class WorkerThread {
 public:
  WorkerThread() {
    QueueFor(kWorkerSlot).Open(nullptr);
    thread_ = std::thread([] {
      tls_slot = kWorkerSlot;
      TaskQueue& queue = QueueFor(kWorkerSlot);
      while (queue.IsOpen()) {
        std::optional<TaskClock::time_point> next_due;
        if (RunReadyTasks(queue, 1, &next_due) == 0)
          queue.WaitForWork(next_due);
      }
      tls_slot = -1;
    });
  }

  std::vector<CefRefPtr<CefTask>> Stop() {
    std::vector<CefRefPtr<CefTask>> dropped = QueueFor(kWorkerSlot).Close();
    thread_.join();
    return dropped;
  }

 private:
  std::thread thread_;
};

// Guards g_io_thread and g_worker_thread.
std::mutex& ThreadsMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}
IOThread* g_io_thread = nullptr;
WorkerThread* g_worker_thread = nullptr;

}  // namespace

void BindCurrentThreadAsUI() {
  std::lock_guard<std::mutex> lock(UIMutex());
  if (g_ui_pump) {
    LOG_IF(ERROR, !OnUIThread()) << "the UI thread is already bound to another thread";
    return;
  }
  g_ui_pump = new UIPump;
  tls_slot = kUISlot;
  QueueFor(kUISlot).Open(g_ui_pump);
}

void UnbindUIThread() {
  std::vector<CefRefPtr<CefTask>> dropped;
  {
    std::lock_guard<std::mutex> lock(UIMutex());
    if (!g_ui_pump)
      return;
    if (!OnUIThread()) {
      LOG(ERROR) << "UnbindUIThread called off the UI thread";
      return;
    }
    dropped = QueueFor(kUISlot).Close();
    delete g_ui_pump;
    g_ui_pump = nullptr;
    tls_slot = -1;
#if defined(_WIN32)
    // A quit nobody consumed must not end the next binding's loop.
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
#endif
  }
  ReleaseDropped(std::move(dropped));
}

void RunUILoop() {
  if (!OnUIThread() || !g_ui_pump) {
    LOG(ERROR) << "RunUILoop called off the UI thread";
    return;
  }
#if defined(_WIN32)
  g_ui_pump->DoWork();
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
#else
  // Like WM_QUIT behind already posted messages: a quit ends the loop once
  // no task is ready.
  TaskQueue& queue = QueueFor(kUISlot);
  while (true) {
    if (RunReadyTasks(queue, 1, nullptr) == 1)
      continue;
    if (queue.TakeQuitRequest() || !queue.IsOpen())
      break;
    queue.WaitForWork(std::nullopt);
  }
#endif
}

void QuitUILoop() {
  std::lock_guard<std::mutex> lock(UIMutex());
  if (g_ui_pump)
    g_ui_pump->Quit();
}

bool RunUIUntil(const std::function<bool()>& done, int timeout_ms) {
  if (!OnUIThread() || !g_ui_pump) {
    LOG(ERROR) << "RunUIUntil called off the UI thread";
    return done();
  }
  const auto deadline = TaskClock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  while (true) {
    if (done())
      return true;
    if (!PumpPendingMessages())
      return done();
    g_ui_pump->DoWork();
    if (done())
      return true;
    if (TaskClock::now() >= deadline)
      return false;
    if (!QueueFor(kUISlot).HasReadyTask()) {
      // Other threads may satisfy done() without posting to us: poll.
      WaitForUIWork(std::min(deadline, TaskClock::now() + std::chrono::milliseconds(5)));
    }
  }
}

bool RunUIUntilIdle(int timeout_ms) {
  if (!OnUIThread() || !g_ui_pump) {
    LOG(ERROR) << "RunUIUntilIdle called off the UI thread";
    return false;
  }
  // The other threads are checked first: whatever they post to the UI queue
  // is there before they count as quiet.
  auto idle = [] {
    return QueueFor(kIOSlot).IsQuiet() && QueueFor(kWorkerSlot).IsQuiet() && !QueueFor(kUISlot).HasReadyTask();
  };
  const auto deadline = TaskClock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  while (true) {
    if (!PumpPendingMessages())
      return idle();
    g_ui_pump->DoWork();
    if (idle())
      return true;
    if (TaskClock::now() >= deadline)
      return false;
    if (!QueueFor(kUISlot).HasReadyTask())
      WaitForUIWork(std::min(deadline, TaskClock::now() + std::chrono::milliseconds(1)));
  }
}

void StartIOThread() {
  std::lock_guard<std::mutex> lock(ThreadsMutex());
  if (!g_io_thread)
    g_io_thread = new IOThread;
  if (!g_worker_thread)
    g_worker_thread = new WorkerThread;
}

void StopIOThread() {
  std::vector<CefRefPtr<CefTask>> dropped_io;
  std::vector<CefRefPtr<CefTask>> dropped_worker;
  {
    std::lock_guard<std::mutex> lock(ThreadsMutex());
    if (tls_slot == kIOSlot || tls_slot == kWorkerSlot) {
      LOG(ERROR) << "StopIOThread called on a thread it would join";
      return;
    }
    if (g_worker_thread) {
      dropped_worker = g_worker_thread->Stop();
      delete g_worker_thread;
      g_worker_thread = nullptr;
    }
    if (g_io_thread) {
      dropped_io = g_io_thread->Stop();
      delete g_io_thread;
      g_io_thread = nullptr;
    }
  }
  ReleaseDropped(std::move(dropped_worker));
  ReleaseDropped(std::move(dropped_io));
}

boost::asio::io_context& IOContext() {
  std::lock_guard<std::mutex> lock(ThreadsMutex());
  CHECK(g_io_thread) << "the IO thread is not running";
  return g_io_thread->io();
}

bool IsThreadRunning(cef_thread_id_t thread) {
  const int slot = SlotFor(thread);
  return slot >= 0 && QueueFor(slot).IsOpen();
}

}  // namespace cef_internal

bool CefCurrentlyOn(CefThreadId threadId) {
  const int slot = cef_internal::SlotFor(threadId);
  return slot >= 0 && cef_internal::tls_slot == slot;
}

bool CefPostTask(CefThreadId threadId, CefRefPtr<CefTask> task) {
  return CefPostDelayedTask(threadId, std::move(task), 0);
}

bool CefPostDelayedTask(CefThreadId threadId, CefRefPtr<CefTask> task, int64_t delay_ms) {
  const int slot = cef_internal::SlotFor(threadId);
  if (slot < 0)
    return false;
  return cef_internal::QueueFor(slot).Post(std::move(task), delay_ms);
}
