#include "testing/relaunch.h"

#include "runtime/process_singleton.h"

namespace cef_testing {

bool DeliverRelaunch(const CefString& command_line, const CefString& current_directory) {
  return cef_internal::PostRelaunch(command_line, current_directory);
}

int RelaunchCount() {
  return cef_internal::RelaunchCount();
}

bool LastRelaunchHandled() {
  return cef_internal::LastRelaunchHandled();
}

}  // namespace cef_testing
