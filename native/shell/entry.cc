// The client's one export. The host calls it once per process, browser and
// sub-processes alike, on the main thread; its result is the exit code.
#include <windows.h>

#include "shell/process_entry.h"

extern "C" int RunWinMain(HINSTANCE instance, void* /*unused*/, void* /*unused*/, void* sandboxInfo) {
  return RunProcess(instance, sandboxInfo);
}
