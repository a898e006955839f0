// The stand-in's threads and their task queues.
//
// TID_UI is whichever thread called BindCurrentThreadAsUI() (the thread of
// CefInitialize). In the Windows build its loop is a real Win32 message loop
// (GetMessage/TranslateMessage/DispatchMessage): a message-only window
// receives the wake-ups for posted tasks and the timer for delayed ones, so
// windows owned by that thread are served by the same loop. The IO thread
// and the worker behind TID_FILE_* and TID_PROCESS_LAUNCHER have their own
// queues; the IO thread also runs a Boost.Asio io_context for the network
// stack's sockets and timers.
//
// Per thread: tasks run in posting order; a delayed task runs no earlier
// than asked, and delayed tasks run in due order (posting order among equal
// due times). A task that runs a nested message loop (a modal dialog, say)
// does not see other tasks run until it returns. On the IO thread, tasks
// and ready socket and timer events take turns: a batch of tasks never
// keeps them waiting for more than one batch.
#ifndef CEF_SRC_CORE_MESSAGE_LOOP_H_
#define CEF_SRC_CORE_MESSAGE_LOOP_H_
#pragma once

#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>

#include "include/cef_task.h"

namespace boost::asio {
class io_context;
}

namespace cef_internal {

// --- UI thread (call these on the thread that is or becomes TID_UI) ---

// Makes the calling thread TID_UI. Posting to TID_UI works from then on.
void BindCurrentThreadAsUI();

// Stops accepting UI tasks and releases the queued ones unrun.
void UnbindUIThread();

// Runs tasks and window messages until QuitUILoop() (or a WM_QUIT).
void RunUILoop();

// Ends the innermost RunUILoop() once no task is ready: tasks already posted
// still run, delayed ones not yet due do not. Callable from any thread; a
// quit asked for before the loop starts ends it as soon as it is idle.
void QuitUILoop();

// Runs UI tasks (and window messages) until no CEF thread has a task ready
// or running (so replies the IO thread and the worker post back have run),
// waiting at most `timeout_ms` in all. Returns true when everything went
// idle. Delayed tasks that are not yet due, and asio handlers waiting on
// sockets, do not count.
bool RunUIUntilIdle(int timeout_ms);

// Runs UI tasks and window messages until `done()` returns true or
// `timeout_ms` passes; returns done(). For tests that wait on other threads.
bool RunUIUntil(const std::function<bool()>& done, int timeout_ms);

// --- IO thread and the FILE_* / PROCESS_LAUNCHER worker ---

// Starts TID_IO and the worker thread. No effect when already running.
void StartIOThread();

// Stops both threads and joins them; queued tasks are released unrun.
// Must not be called from either of them.
void StopIOThread();

// The io_context the IO thread runs. Handlers posted to it run on TID_IO;
// valid while the IO thread runs (between StartIOThread and StopIOThread).
boost::asio::io_context& IOContext();

// --- posting from the stand-in's own code ---

// Posts any callable (lambdas with captures included, unlike base::Bind).
// The callable is destroyed on the target thread after running, or on the
// dropping thread if it never runs.
template <typename F>
bool PostFunction(cef_thread_id_t thread, F&& f, int64_t delay_ms = 0) {
  class FunctionTask : public CefTask {
   public:
    explicit FunctionTask(std::decay_t<F>&& f) : f_(std::move(f)) {}
    void Execute() override { f_(); }

   private:
    std::decay_t<F> f_;
    IMPLEMENT_REFCOUNTING(FunctionTask);
  };
  return CefPostDelayedTask(thread, new FunctionTask(std::decay_t<F>(std::forward<F>(f))), delay_ms);
}

// Whether `thread` currently accepts tasks.
bool IsThreadRunning(cef_thread_id_t thread);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_MESSAGE_LOOP_H_
