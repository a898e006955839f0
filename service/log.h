// Timestamped log lines on standard output. The client appends the
// service's standard output to "service.log", so every line is flushed at
// once: a killed service must not lose what it last wrote.
#pragma once

#include <string_view>

namespace kesta::service {

void Log(std::string_view line);

}  // namespace kesta::service
