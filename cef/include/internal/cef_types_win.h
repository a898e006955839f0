// Windows-specific C types: main arguments, window handles, window info.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_WIN_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_WIN_H_
#pragma once

#if defined(_WIN32)
#include <windows.h>

#include <stddef.h>

#include "include/internal/cef_string.h"
#include "include/internal/cef_types_geometry.h"
#include "include/internal/cef_types_process.h"

#define kNullCursorHandle NULL
#define kNullEventHandle NULL
#define kNullWindowHandle NULL

#ifdef __cplusplus
extern "C" {
#endif

typedef HCURSOR cef_cursor_handle_t;
typedef MSG cef_event_handle_t;
typedef HWND cef_window_handle_t;

// Arguments of CefExecuteProcess() and CefInitialize().
typedef struct _cef_main_args_t {
  HINSTANCE instance;
} cef_main_args_t;

// How a browser's native window is created.
typedef struct _cef_window_info_t {
  size_t size;
  DWORD ex_style;
  cef_string_t window_name;
  DWORD style;
  cef_rect_t bounds;
  cef_window_handle_t parent_window;
  HMENU menu;
  int windowless_rendering_enabled;
  int shared_texture_enabled;
  int external_begin_frame_enabled;
  // Set by the library to the browser's own window.
  cef_window_handle_t window;
  cef_runtime_style_t runtime_style;
} cef_window_info_t;

#ifdef __cplusplus
}
#endif

#endif  // defined(_WIN32)
#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_WIN_H_
