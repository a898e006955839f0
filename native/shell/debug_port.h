#pragma once

#include <optional>
#include <string>

// The "debug-port" switch value as a port: leading blanks, an optional sign
// and decimal digits, read up to the first other character. Empty when the
// value does not start with a number or the number does not fit 32 bits;
// remote debugging then stays off.
std::optional<int> ParseDebugPort(const std::string& value);
