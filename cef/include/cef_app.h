// Process entry points of the library and the application object.
#ifndef CEF_INCLUDE_CEF_APP_H_
#define CEF_INCLUDE_CEF_APP_H_
#pragma once

#include "include/cef_api_hash.h"
#include "include/cef_base.h"
#include "include/cef_browser_process_handler.h"
#include "include/cef_command_line.h"
#include "include/cef_render_process_handler.h"
#include "include/cef_resource_bundle_handler.h"
#include "include/cef_scheme.h"
#include "include/internal/cef_types_wrappers.h"
#if defined(_WIN32)
#include "include/internal/cef_win.h"
#else
#include "include/internal/cef_linux.h"
#endif

class CefApp;

// Call first from the entry point of every process. Returns -1 in the
// browser process; in a sub-process (a "type" switch on the command line)
// it runs that process to its end and returns its exit code (0 or more).
int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application, void* windows_sandbox_info);

// Initialises the browser process on the calling thread, which becomes the
// UI thread. Returns false on failure, or when this process should end at
// once (another instance took over); CefGetExitCode() then says why.
bool CefInitialize(const CefMainArgs& args,
                   const CefSettings& settings,
                   CefRefPtr<CefApp> application,
                   void* windows_sandbox_info);

// The exit code decided by CefInitialize(): 0 after success, otherwise a
// cef_resultcode_t value.
int CefGetExitCode();

// Ends the library; UI thread, after every browser has closed.
void CefShutdown();

// Runs pending work once without blocking (external message pump only).
void CefDoMessageLoopWork();

// Runs the UI message loop until CefQuitMessageLoop().
void CefRunMessageLoop();

// Makes CefRunMessageLoop() return; UI thread.
void CefQuitMessageLoop();

#if CEF_API_ADDED(14100)
// Allows tasks to run inside nested message loops (modal dialogs, menus).
void CefSetNestableTasksAllowed(bool allowed);

class CefScopedSetNestableTasksAllowed final {
 public:
  CefScopedSetNestableTasksAllowed() { CefSetNestableTasksAllowed(true); }
  ~CefScopedSetNestableTasksAllowed() { CefSetNestableTasksAllowed(false); }
  CefScopedSetNestableTasksAllowed(const CefScopedSetNestableTasksAllowed&) = delete;
  CefScopedSetNestableTasksAllowed& operator=(const CefScopedSetNestableTasksAllowed&) = delete;
};
#endif

// Implemented by the application to take part in process start-up.
class CefApp : public virtual CefBaseRefCounted {
 public:
  // Edits the command line before the library reads it. |process_type| is
  // empty in the browser process. Settings that map to switches are
  // already applied. Do not keep |command_line|.
  virtual void OnBeforeCommandLineProcessing(const CefString& process_type, CefRefPtr<CefCommandLine> command_line) {}

  // Main thread of every process; registrations must match in all of them.
  virtual void OnRegisterCustomSchemes(CefRawPtr<CefSchemeRegistrar> registrar) {}

  // Called on several threads of every process.
  virtual CefRefPtr<CefResourceBundleHandler> GetResourceBundleHandler() { return nullptr; }

  // Called on several threads of the browser process.
  virtual CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() { return nullptr; }

  // Render process only.
  virtual CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() { return nullptr; }
};

#endif  // CEF_INCLUDE_CEF_APP_H_
