// The process entry behind RunWinMain.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// Runs one process of the client: a CEF sub-process, or the browser process
// from start-up preparation to shutdown. Returns the exit code.
int RunProcess(HINSTANCE instance, void* sandbox_info);

// The "debug-port" switch value as a port: leading blanks, an optional sign
// and decimal digits, read up to the first other character. Empty when the
// value does not start with a number or the number does not fit 32 bits;
// remote debugging then stays off.
std::optional<int> ParseDebugPort(const std::string& value);
