// CefTaskRunner and the closure-task helpers.
#include <utility>

#include "include/base/cef_callback.h"
#include "include/cef_task.h"
#include "include/wrapper/cef_closure_task.h"

namespace {

class TaskRunnerImpl : public CefTaskRunner {
 public:
  explicit TaskRunnerImpl(CefThreadId thread) : thread_(thread) {}

  bool IsSame(CefRefPtr<CefTaskRunner> that) override {
    auto* other = static_cast<TaskRunnerImpl*>(that.get());
    return other && other->thread_ == thread_;
  }
  bool BelongsToCurrentThread() override { return CefCurrentlyOn(thread_); }
  bool BelongsToThread(CefThreadId threadId) override { return threadId == thread_; }
  bool PostTask(CefRefPtr<CefTask> task) override { return CefPostTask(thread_, std::move(task)); }
  bool PostDelayedTask(CefRefPtr<CefTask> task, int64_t delay_ms) override {
    return CefPostDelayedTask(thread_, std::move(task), delay_ms);
  }

 private:
  const CefThreadId thread_;
  IMPLEMENT_REFCOUNTING(TaskRunnerImpl);
};

class ClosureTask : public CefTask {
 public:
  explicit ClosureTask(base::OnceClosure closure) : closure_(std::move(closure)) {}

  void Execute() override {
    if (closure_)
      std::move(closure_).Run();
  }

 private:
  base::OnceClosure closure_;
  IMPLEMENT_REFCOUNTING(ClosureTask);
};

}  // namespace

CefRefPtr<CefTaskRunner> CefTaskRunner::GetForCurrentThread() {
  // The FILE_* and PROCESS_LAUNCHER ids share one thread; it answers as the
  // first of them.
  for (int id = TID_UI; id < TID_NUM_VALUES; ++id) {
    if (CefCurrentlyOn(static_cast<CefThreadId>(id)))
      return new TaskRunnerImpl(static_cast<CefThreadId>(id));
  }
  return nullptr;
}

CefRefPtr<CefTaskRunner> CefTaskRunner::GetForThread(CefThreadId threadId) {
  // No renderer thread exists in this (browser) process.
  if (threadId < TID_UI || threadId >= TID_NUM_VALUES || threadId == TID_RENDERER)
    return nullptr;
  return new TaskRunnerImpl(threadId);
}

CefRefPtr<CefTask> CefCreateClosureTask(base::OnceClosure closure) {
  return new ClosureTask(std::move(closure));
}

CefRefPtr<CefTask> CefCreateClosureTask(const base::RepeatingClosure& closure) {
  return new ClosureTask(closure);
}

bool CefPostTask(CefThreadId threadId, base::OnceClosure closure) {
  return CefPostTask(threadId, CefCreateClosureTask(std::move(closure)));
}

bool CefPostTask(CefThreadId threadId, const base::RepeatingClosure& closure) {
  return CefPostTask(threadId, CefCreateClosureTask(closure));
}

bool CefPostDelayedTask(CefThreadId threadId, base::OnceClosure closure, int64_t delay_ms) {
  return CefPostDelayedTask(threadId, CefCreateClosureTask(std::move(closure)), delay_ms);
}

bool CefPostDelayedTask(CefThreadId threadId, const base::RepeatingClosure& closure, int64_t delay_ms) {
  return CefPostDelayedTask(threadId, CefCreateClosureTask(closure), delay_ms);
}
