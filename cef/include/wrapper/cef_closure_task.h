// Posting callbacks as tasks.
//
//   CefPostTask(TID_UI, base::BindOnce(&Handler::Done, this, result));
//
// The callback (and whatever it binds) is destroyed on the target thread
// after running, or wherever the task is dropped when it never runs.
#ifndef CEF_INCLUDE_WRAPPER_CEF_CLOSURE_TASK_H_
#define CEF_INCLUDE_WRAPPER_CEF_CLOSURE_TASK_H_
#pragma once

#include "include/base/cef_callback_forward.h"
#include "include/cef_task.h"

// A CefTask that runs `closure` once.
CefRefPtr<CefTask> CefCreateClosureTask(base::OnceClosure closure);
CefRefPtr<CefTask> CefCreateClosureTask(const base::RepeatingClosure& closure);

bool CefPostTask(CefThreadId threadId, base::OnceClosure closure);
bool CefPostTask(CefThreadId threadId, const base::RepeatingClosure& closure);

bool CefPostDelayedTask(CefThreadId threadId, base::OnceClosure closure, int64_t delay_ms);
bool CefPostDelayedTask(CefThreadId threadId, const base::RepeatingClosure& closure, int64_t delay_ms);

#endif  // CEF_INCLUDE_WRAPPER_CEF_CLOSURE_TASK_H_
