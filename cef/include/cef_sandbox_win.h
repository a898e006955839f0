// The Windows sub-process sandbox: the information object the host creates
// and hands to CefExecuteProcess()/CefInitialize(), and the entry points a
// client DLL offers CEF's bootstrap executable.
#ifndef CEF_INCLUDE_CEF_SANDBOX_WIN_H_
#define CEF_INCLUDE_CEF_SANDBOX_WIN_H_
#pragma once

#if !defined(GENERATING_CEF_API_HASH)
#include "include/base/cef_build.h"
#endif

#if defined(OS_WIN)

#include "include/cef_version_info.h"

#if !defined(GENERATING_CEF_API_HASH)
#include <windows.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Creates the sandbox information for this process. Several may exist; one
// may be destroyed as soon as CefExecuteProcess()/CefInitialize() returned.
void* cef_sandbox_info_create(void);

void cef_sandbox_info_destroy(void* sandbox_info);

#ifdef __cplusplus
}

// Owns one sandbox information object for its lifetime.
class CefScopedSandboxInfo final {
 public:
  CefScopedSandboxInfo() { sandbox_info_ = cef_sandbox_info_create(); }
  ~CefScopedSandboxInfo() { cef_sandbox_info_destroy(sandbox_info_); }

  void* sandbox_info() const { return sandbox_info_; }

 private:
  void* sandbox_info_;
};
#endif  // __cplusplus

#if defined(CEF_BUILD_BOOTSTRAP)
#define CEF_BOOTSTRAP_EXPORT __declspec(dllimport)
#else
#define CEF_BOOTSTRAP_EXPORT __declspec(dllexport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// What a client DLL started by the bootstrap executable implements: the
// windowed (/SUBSYSTEM:WINDOWS) and the console entry.
CEF_BOOTSTRAP_EXPORT int RunWinMain(HINSTANCE hInstance,
                                    LPTSTR lpCmdLine,
                                    int nCmdShow,
                                    void* sandbox_info,
                                    cef_version_info_t* version_info);

CEF_BOOTSTRAP_EXPORT int RunConsoleMain(int argc,
                                        char* argv[],
                                        void* sandbox_info,
                                        cef_version_info_t* version_info);

#ifdef __cplusplus
}
#endif

#endif  // defined(OS_WIN)

#endif  // CEF_INCLUDE_CEF_SANDBOX_WIN_H_
