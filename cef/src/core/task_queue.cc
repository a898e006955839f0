#include "core/task_queue.h"

#include <utility>

namespace cef_internal {

void TaskQueue::Open(TaskQueueWaker* waker) {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = true;
  quit_requested_ = false;
  waker_ = waker;
}

std::vector<CefRefPtr<CefTask>> TaskQueue::Close() {
  std::vector<CefRefPtr<CefTask>> dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
  waker_ = nullptr;
  for (auto& task : ready_)
    dropped.push_back(std::move(task));
  ready_.clear();
  while (!delayed_.empty()) {
    dropped.push_back(delayed_.top().task);
    delayed_.pop();
  }
  work_available_.notify_all();
  return dropped;
}

bool TaskQueue::IsOpen() {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

bool TaskQueue::Post(CefRefPtr<CefTask> task, int64_t delay_ms) {
  if (!task)
    return false;
  std::unique_lock<std::mutex> lock(mutex_);
  if (!open_) {
    // Release the task after unlocking: its destructor may post again.
    lock.unlock();
    task = nullptr;
    return false;
  }
  if (delay_ms <= 0) {
    ready_.push_back(std::move(task));
  } else {
    const auto due = TaskClock::now() + std::chrono::milliseconds(delay_ms);
    delayed_.push(DelayedTask{due, next_sequence_++, std::move(task)});
  }
  if (waker_)
    waker_->ScheduleWork();
  work_available_.notify_all();
  return true;
}

void TaskQueue::MoveRipeDelayedTasks(TaskClock::time_point now) {
  while (!delayed_.empty() && delayed_.top().due <= now) {
    ready_.push_back(delayed_.top().task);
    delayed_.pop();
  }
}

CefRefPtr<CefTask> TaskQueue::TakeReadyTask(std::optional<TaskClock::time_point>* next_due) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_)
    return nullptr;
  MoveRipeDelayedTasks(TaskClock::now());
  if (!ready_.empty()) {
    CefRefPtr<CefTask> task = std::move(ready_.front());
    ready_.pop_front();
    ++running_;
    return task;
  }
  if (next_due) {
    if (delayed_.empty())
      next_due->reset();
    else
      *next_due = delayed_.top().due;
  }
  return nullptr;
}

void TaskQueue::TaskDone() {
  std::lock_guard<std::mutex> lock(mutex_);
  --running_;
}

bool TaskQueue::IsQuiet() {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_ == 0 && (!open_ || (ready_.empty() && (delayed_.empty() || delayed_.top().due > TaskClock::now())));
}

bool TaskQueue::HasReadyTask() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_)
    return false;
  return !ready_.empty() || (!delayed_.empty() && delayed_.top().due <= TaskClock::now());
}

void TaskQueue::WaitForWork(std::optional<TaskClock::time_point> deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto has_work = [this] {
    return !open_ || quit_requested_ || !ready_.empty() ||
           (!delayed_.empty() && delayed_.top().due <= TaskClock::now());
  };
  while (!has_work()) {
    std::optional<TaskClock::time_point> wake = deadline;
    if (!delayed_.empty() && (!wake || delayed_.top().due < *wake))
      wake = delayed_.top().due;
    if (wake) {
      if (work_available_.wait_until(lock, *wake) == std::cv_status::timeout && deadline &&
          TaskClock::now() >= *deadline) {
        return;
      }
    } else {
      work_available_.wait(lock);
    }
  }
}

void TaskQueue::RequestQuit() {
  std::lock_guard<std::mutex> lock(mutex_);
  quit_requested_ = true;
  if (waker_)
    waker_->ScheduleWork();
  work_available_.notify_all();
}

bool TaskQueue::TakeQuitRequest() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(quit_requested_, false);
}

}  // namespace cef_internal
