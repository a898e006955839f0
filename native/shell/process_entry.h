// The process entry behind RunWinMain.
#pragma once

#include <windows.h>

// Runs one process of the client: a CEF sub-process, or the browser process
// from start-up preparation to shutdown. Returns the exit code.
int RunProcess(HINSTANCE instance, void* sandbox_info);
