#include "token.h"

#include <windows.h>
// After windows.h, which defines its types.
#include <bcrypt.h>

namespace kesta::service {

std::optional<std::string> NewToken() {
  unsigned char bytes[32];
  if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    return std::nullopt;
  static const char digits[] = "0123456789abcdef";
  std::string token;
  for (unsigned char byte : bytes) {
    token += digits[byte >> 4];
    token += digits[byte & 15];
  }
  return token;
}

}  // namespace kesta::service
