// API version selection. A client may define CEF_API_VERSION before
// including any CEF header; without it every member is visible.
#ifndef CEF_INCLUDE_CEF_API_HASH_H_
#define CEF_INCLUDE_CEF_API_HASH_H_
#pragma once

#include "include/cef_api_versions.h"
#include "include/internal/cef_export.h"

#if !defined(CEF_API_VERSION)
#define CEF_API_VERSION CEF_API_VERSION_EXPERIMENTAL
#endif

#if CEF_API_VERSION != CEF_API_VERSION_NEXT && CEF_API_VERSION != CEF_API_VERSION_EXPERIMENTAL && \
    (CEF_API_VERSION < CEF_API_VERSION_MIN || CEF_API_VERSION > CEF_API_VERSION_LAST)
#error Unsupported CEF_API_VERSION value
#endif

#define CEF_API_ADDED(v) (CEF_API_VERSION >= (v))
#define CEF_API_REMOVED(v) (CEF_API_VERSION < (v))
#define CEF_API_RANGE(a, b) (CEF_API_VERSION >= (a) && CEF_API_VERSION < (b))

#ifdef __cplusplus
extern "C" {
#endif

// Configures the API version used by this process and returns the hash
// of that version (entry 0: platform hash, 1: universal hash).
CEF_EXPORT const char* cef_api_hash(int version, int entry);

// The API version configured by cef_api_hash(), or CEF_API_VERSION.
CEF_EXPORT int cef_api_version(void);

#ifdef __cplusplus
}
#endif

#endif  // CEF_INCLUDE_CEF_API_HASH_H_
