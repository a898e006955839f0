// Browser-process hooks of the application.
#ifndef CEF_INCLUDE_CEF_BROWSER_PROCESS_HANDLER_H_
#define CEF_INCLUDE_CEF_BROWSER_PROCESS_HANDLER_H_
#pragma once

#include "include/cef_api_hash.h"
#include "include/cef_base.h"
#include "include/cef_client.h"
#include "include/cef_command_line.h"
#include "include/cef_preference.h"
#include "include/cef_request_context_handler.h"

// Implemented by the application; called on the threads named below.
class CefBrowserProcessHandler : public virtual CefBaseRefCounted {
 public:
  // UI thread. Register custom preferences of |type|: the global ones once
  // at start-up, request-context ones once per new context.
  virtual void OnRegisterCustomPreferences(cef_preferences_type_t type, CefRawPtr<CefPreferenceRegistrar> registrar) {}

  // UI thread, once the library and the global request context are ready.
  virtual void OnContextInitialized() {}

  // Before a child process starts: UI thread for renderers, IO thread for
  // the GPU process. |command_line| may be edited.
  virtual void OnBeforeChildProcessLaunch(CefRefPtr<CefCommandLine> command_line) {}

  // UI thread. The program was started again while this instance runs
  // with the same root cache path; |command_line| (read-only) and
  // |current_directory| are the second start's. Return true when handled.
  virtual bool OnAlreadyRunningAppRelaunch(CefRefPtr<CefCommandLine> command_line, const CefString& current_directory) {
    return false;
  }

  // Any thread, with an external message pump only: call
  // CefDoMessageLoopWork() after |delay_ms| (at once when not positive).
  virtual void OnScheduleMessagePumpWork(int64_t delay_ms) {}

  // Client of browsers created by the library itself (Chrome style).
  virtual CefRefPtr<CefClient> GetDefaultClient() { return nullptr; }

  // Handler of request contexts created by the library itself.
  virtual CefRefPtr<CefRequestContextHandler> GetDefaultRequestContextHandler() { return nullptr; }
};

#endif  // CEF_INCLUDE_CEF_BROWSER_PROCESS_HANDLER_H_
