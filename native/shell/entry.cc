// The client's one export. The host calls it once per process, browser and
// sub-processes alike, on the main thread; its result is the exit code.
//
// CEF's include/cef_sandbox_win.h declares a five-parameter RunWinMain for
// its bootstrap executable; this four-parameter entry would clash with it,
// so this file must never include that header (directly or through another).
#include <windows.h>

#include "shell/process_entry.h"

#if defined(CEF_INCLUDE_CEF_SANDBOX_WIN_H_)
#error "entry.cc must not include include/cef_sandbox_win.h"
#endif

extern "C" int RunWinMain(HINSTANCE instance, void* /*unused*/, void* /*unused*/, void* sandboxInfo) {
  return RunProcess(instance, sandboxInfo);
}
