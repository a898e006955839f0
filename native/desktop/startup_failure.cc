// Start-up failures are shown to the user: they end the process before any
// window exists, so a modal box is the only way to say why.
#include <windows.h>

#include <cstdio>
#include <string>

#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"

namespace kesta::desktop {

void fail(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  std::fflush(stderr);
  std::string text = message + "\n\n日志目录：" + dataDir;
  MessageBoxW(nullptr, wide(text).c_str(), wide("Ostrel · 启动失败").c_str(), MB_ICONERROR);
}

}  // namespace kesta::desktop
