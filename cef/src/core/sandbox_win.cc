// The sandbox information is an opaque token here: the stand-in runs no
// sub-process sandbox, but the host still creates and hands it over.
#include "include/cef_sandbox_win.h"

namespace {
struct SandboxInfo {
  unsigned magic = 0x5ADB0C5;
};
}  // namespace

extern "C" void* cef_sandbox_info_create(void) {
  return new SandboxInfo();
}

extern "C" void cef_sandbox_info_destroy(void* sandbox_info) {
  delete static_cast<SandboxInfo*>(sandbox_info);
}
