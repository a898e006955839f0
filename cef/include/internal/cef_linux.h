// Main arguments on platforms other than Windows.
#ifndef CEF_INCLUDE_INTERNAL_CEF_LINUX_H_
#define CEF_INCLUDE_INTERNAL_CEF_LINUX_H_
#pragma once

#if !defined(_WIN32)

#ifdef __cplusplus
extern "C" {
#endif

typedef struct _cef_main_args_t {
  int argc;
  char** argv;
} cef_main_args_t;

// No browser windows exist in this build; the types only keep the shared
// headers compiling.
typedef unsigned long cef_window_handle_t;

#ifdef __cplusplus
}

#define CefWindowHandle cef_window_handle_t
class CefWindowInfo;

class CefMainArgs : public cef_main_args_t {
 public:
  CefMainArgs() : cef_main_args_t{} {}
  CefMainArgs(const cef_main_args_t& r) : cef_main_args_t(r) {}
  CefMainArgs(int argc_arg, char** argv_arg) : cef_main_args_t{argc_arg, argv_arg} {}
};
#endif

#endif  // !defined(_WIN32)
#endif  // CEF_INCLUDE_INTERNAL_CEF_LINUX_H_
