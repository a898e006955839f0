// The queue of one CEF thread: immediate tasks in posting order plus delayed
// tasks ordered by due time. Any thread may post; only the owning thread
// takes tasks out.
#ifndef CEF_SRC_CORE_TASK_QUEUE_H_
#define CEF_SRC_CORE_TASK_QUEUE_H_
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <queue>
#include <vector>

#include "include/cef_task.h"

namespace cef_internal {

using TaskClock = std::chrono::steady_clock;

// Tells a thread's loop that its queue changed. Called with the queue's lock
// held, so implementations must only signal (post a message, notify), never
// call back into the queue.
class TaskQueueWaker {
 public:
  virtual ~TaskQueueWaker() = default;
  virtual void ScheduleWork() = 0;
};

class TaskQueue {
 public:
  TaskQueue() = default;
  TaskQueue(const TaskQueue&) = delete;
  TaskQueue& operator=(const TaskQueue&) = delete;

  // Starts accepting tasks. `waker` may be null (the queue's own condition
  // variable then wakes WaitForWork).
  void Open(TaskQueueWaker* waker);

  // Stops accepting tasks and hands back the queued ones, which the caller
  // releases outside the lock (their destructors may post).
  std::vector<CefRefPtr<CefTask>> Close();

  bool IsOpen();

  // False when the queue is closed. Negative delays count as zero.
  bool Post(CefRefPtr<CefTask> task, int64_t delay_ms);

  // The next task that may run now, or null. When null, `next_due` (if
  // given) receives the due time of the earliest delayed task, if any. A
  // task taken counts as running until TaskDone().
  CefRefPtr<CefTask> TakeReadyTask(std::optional<TaskClock::time_point>* next_due = nullptr);
  void TaskDone();

  // True when a task could run now.
  bool HasReadyTask();

  // True when no task is ready or running (delayed ones may be pending).
  bool IsQuiet();

  // Blocks until a task may be ready, a quit is requested or `deadline`
  // passes (for queues without a waker).
  void WaitForWork(std::optional<TaskClock::time_point> deadline);

  // Quit flag for loops driven by WaitForWork.
  void RequestQuit();
  // Returns and clears the quit flag.
  bool TakeQuitRequest();

 private:
  struct DelayedTask {
    TaskClock::time_point due;
    uint64_t sequence;
    CefRefPtr<CefTask> task;
    // Earliest due first; posting order among equal due times.
    bool operator<(const DelayedTask& other) const {
      if (due != other.due)
        return due > other.due;
      return sequence > other.sequence;
    }
  };

  void MoveRipeDelayedTasks(TaskClock::time_point now);

  std::mutex mutex_;  // guards everything below
  std::condition_variable work_available_;
  bool open_ = false;
  bool quit_requested_ = false;
  TaskQueueWaker* waker_ = nullptr;
  uint64_t next_sequence_ = 0;
  int running_ = 0;  // tasks taken and not yet done
  std::deque<CefRefPtr<CefTask>> ready_;
  std::priority_queue<DelayedTask> delayed_;
};

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_TASK_QUEUE_H_
