// One browser process per root cache path. A second start finds the
// running instance, hands it its command line and working directory, and
// ends; the running instance reports the relaunch to the application
// through CefBrowserProcessHandler::OnAlreadyRunningAppRelaunch.
#ifndef CEF_SRC_RUNTIME_PROCESS_SINGLETON_H_
#define CEF_SRC_RUNTIME_PROCESS_SINGLETON_H_
#pragma once

#include <string>

#include "include/cef_base.h"

namespace cef_internal {

enum class SingletonResult {
  kClaimed,   // this process now owns the root cache path
  kNotified,  // another process owns it and took our command line
  kInUse,     // another process owns it but did not answer
};

// UI thread, inside CefInitialize(). |root| is the normalised root cache
// path (UTF-8); |command_line| and |current_directory| are what a running
// instance receives.
SingletonResult ClaimProcessSingleton(const std::string& root,
                                      const std::wstring& command_line,
                                      const std::wstring& current_directory);

// UI thread, inside CefShutdown(). No effect when nothing was claimed.
void ReleaseProcessSingleton();

// Posts the relaunch report to the UI thread. Any thread; false when the
// runtime does not run.
bool PostRelaunch(const CefString& command_line, const CefString& current_directory);

// Relaunches received so far, and the handler's answer to the last one.
int RelaunchCount();
bool LastRelaunchHandled();

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_PROCESS_SINGLETON_H_
