// Version of this library and of the Chromium it mirrors.
#ifndef CEF_INCLUDE_CEF_VERSION_H_
#define CEF_INCLUDE_CEF_VERSION_H_
#pragma once

#include "include/internal/cef_export.h"

#define CEF_VERSION "152.0.0+kesta+chromium-152.0.7977.0"
#define CEF_VERSION_MAJOR 152
#define CEF_VERSION_MINOR 0
#define CEF_VERSION_PATCH 0
#define CEF_COMMIT_NUMBER 0
#define CEF_COMMIT_HASH "0000000000000000000000000000000000000000"
#define COPYRIGHT_YEAR 2026

#define CHROME_VERSION_MAJOR 152
#define CHROME_VERSION_MINOR 0
#define CHROME_VERSION_BUILD 7977
#define CHROME_VERSION_PATCH 0

#ifdef __cplusplus
extern "C" {
#endif

// entry 0..7: CEF major, minor, patch, commit number, then Chrome major,
// minor, build, patch. Any other entry gives 0.
CEF_EXPORT int cef_version_info(int entry);

#ifdef __cplusplus
}
#endif

#endif  // CEF_INCLUDE_CEF_VERSION_H_
