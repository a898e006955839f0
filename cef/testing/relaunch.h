// Test driver: a second start of the program while this instance runs.
#ifndef CEF_TESTING_RELAUNCH_H_
#define CEF_TESTING_RELAUNCH_H_
#pragma once

#include "include/cef_base.h"

namespace cef_testing {

// Delivers a relaunch to this running instance as the process singleton
// does: CefBrowserProcessHandler::OnAlreadyRunningAppRelaunch runs on the UI
// thread with a read-only command line parsed from |command_line| (a
// GetCommandLineW()-style string) and |current_directory|. Posts the call
// and returns at once; false when the runtime is not running.
bool DeliverRelaunch(const CefString& command_line, const CefString& current_directory);

// The number of relaunches the running instance has received and the
// value its handler returned for the last one (tests of the default path).
int RelaunchCount();
bool LastRelaunchHandled();

}  // namespace cef_testing

#endif  // CEF_TESTING_RELAUNCH_H_
