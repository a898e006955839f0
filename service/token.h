// The bearer token the client must present, fresh for every start of the
// service.
#pragma once

#include <optional>
#include <string>

namespace kesta::service {

// 64 hexadecimal characters from the system's cryptographic generator;
// nothing when the generator fails.
std::optional<std::string> NewToken();

}  // namespace kesta::service
