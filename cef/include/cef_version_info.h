// Version information of the CEF library, as numbers. The version macros
// themselves live in cef_version.h.
#ifndef CEF_INCLUDE_CEF_VERSION_INFO_H_
#define CEF_INCLUDE_CEF_VERSION_INFO_H_

#include <stddef.h>
#include <string.h>

#include "include/cef_api_hash.h"
#include "include/internal/cef_export.h"
#include "include/cef_version.h"

#ifdef __cplusplus
extern "C" {
#endif

// One component of the library's version: |entry| 0 to 7 gives CEF major,
// minor, patch and commit number, then Chrome major, minor, build and patch.
// Any other entry gives 0.
CEF_EXPORT int cef_version_info(int entry);

// All version components at once (the bootstrap hands one to RunWinMain).
typedef struct _cef_version_info_t {
  size_t size;

  int cef_version_major;
  int cef_version_minor;
  int cef_version_patch;
  int cef_commit_number;
  int chrome_version_major;
  int chrome_version_minor;
  int chrome_version_build;
  int chrome_version_patch;

#if CEF_API_ADDED(14600)
  // Windows only; empty elsewhere.
  char sandbox_compat_hash[17];
#endif
} cef_version_info_t;

#ifdef __cplusplus
}
#endif

#endif  // CEF_INCLUDE_CEF_VERSION_INFO_H_
