// Sandbox information for the Windows host executable.
#ifndef CEF_INCLUDE_CEF_SANDBOX_WIN_H_
#define CEF_INCLUDE_CEF_SANDBOX_WIN_H_
#pragma once

#include "include/internal/cef_export.h"

#if defined(_WIN32)
#include <windows.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _cef_version_info_t cef_version_info_t;

// Creates the sandbox information the host hands to the client's entry
// point. Destroy it with cef_sandbox_info_destroy() once the entry returns.
void* cef_sandbox_info_create(void);
void cef_sandbox_info_destroy(void* sandbox_info);

#if defined(_WIN32)
// Entry point of a client DLL started by CEF's bootstrap executable.
typedef int (*kRunWinMainFunction)(HINSTANCE, LPWSTR, int, void*, cef_version_info_t*);
#endif

#ifdef __cplusplus
}
#endif

#endif  // CEF_INCLUDE_CEF_SANDBOX_WIN_H_
