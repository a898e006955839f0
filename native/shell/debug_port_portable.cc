#include "shell/debug_port.h"

#include <cctype>
#include <limits>

std::optional<int> ParseDebugPort(const std::string& value) {
  size_t i = 0;
  while (i < value.size() && std::isspace(static_cast<unsigned char>(value[i])))
    ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-'))
    negative = value[i++] == '-';
  if (i >= value.size() || !std::isdigit(static_cast<unsigned char>(value[i])))
    return std::nullopt;
  long long number = 0;
  for (; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i) {
    number = number * 10 + (value[i] - '0');
    if (number > static_cast<long long>(std::numeric_limits<int>::max()) + 1)
      return std::nullopt;
  }
  if (negative)
    number = -number;
  if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
    return std::nullopt;
  return static_cast<int>(number);
}
