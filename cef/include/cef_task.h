// Tasks and the threads they run on.
//
// Posting works between OnContextInitialized and CefShutdown for TID_UI, the
// TID_FILE_* threads, TID_PROCESS_LAUNCHER and TID_IO; posting to a thread
// that is not running returns false and the task is released unrun.
#ifndef CEF_INCLUDE_CEF_TASK_H_
#define CEF_INCLUDE_CEF_TASK_H_
#pragma once

#include <stdint.h>

#include "include/cef_base.h"

typedef cef_thread_id_t CefThreadId;

// Work to run on some thread. Implemented by the client.
/*--cef(source=client)--*/
class CefTask : public virtual CefBaseRefCounted {
 public:
  // Runs on the thread the task was posted to.
  virtual void Execute() = 0;
};

// Posts tasks to one thread. Safe to use from any thread.
/*--cef(source=library)--*/
class CefTaskRunner : public virtual CefBaseRefCounted {
 public:
  // The runner of the calling thread, or null when the calling thread is not
  // one of CEF's.
  static CefRefPtr<CefTaskRunner> GetForCurrentThread();

  // The runner of `threadId`, or null for an unknown id.
  static CefRefPtr<CefTaskRunner> GetForThread(CefThreadId threadId);

  // True when both post to the same thread.
  virtual bool IsSame(CefRefPtr<CefTaskRunner> that) = 0;

  virtual bool BelongsToCurrentThread() = 0;

  virtual bool BelongsToThread(CefThreadId threadId) = 0;

  // Runs `task` on this runner's thread, after the tasks already posted
  // there. Returns false when that thread is not running.
  virtual bool PostTask(CefRefPtr<CefTask> task) = 0;

  // Runs `task` no earlier than `delay_ms` milliseconds from now.
  virtual bool PostDelayedTask(CefRefPtr<CefTask> task, int64_t delay_ms) = 0;
};

// True when called on the thread `threadId` names.
bool CefCurrentlyOn(CefThreadId threadId);

// Runs `task` on `threadId`; false when that thread is not running.
bool CefPostTask(CefThreadId threadId, CefRefPtr<CefTask> task);

// Runs `task` on `threadId` no earlier than `delay_ms` milliseconds from now.
bool CefPostDelayedTask(CefThreadId threadId, CefRefPtr<CefTask> task, int64_t delay_ms);

#endif  // CEF_INCLUDE_CEF_TASK_H_
