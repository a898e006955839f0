// The client's one export. The host calls it once per process on the main
// thread; its result is the process's exit code.
#include <windows.h>

#include <cstdio>

extern "C" int RunWinMain(HINSTANCE instance, void* /*unused1*/, void* /*unused2*/, void* sandboxInfo) {
  std::fprintf(stderr, "RunWinMain reached (sandbox information %s)\n", sandboxInfo ? "present" : "missing");
  std::fflush(stderr);
  return 0;
}
