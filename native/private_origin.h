// The client's fixed private origin: the start page of the bundled client is
// served under it, and pages moving over from it are let through. Scheme and
// host only, 32 characters.
#pragma once

namespace kesta {

inline constexpr char kPrivateOrigin[] = "https://app.kesta-client.invalid";
static_assert(sizeof(kPrivateOrigin) - 1 == 32, "the private origin is 32 characters long");

}  // namespace kesta
