// Thread identifiers shared by the task and threading functions.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_BASE_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_BASE_H_
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
  // The main thread in the browser process (the thread that called
  // CefInitialize). Outlives every other CEF thread.
  TID_UI,
  // Blocking work the user will not notice.
  TID_FILE_BACKGROUND,
  // Blocking work that affects what the user sees.
  TID_FILE_USER_VISIBLE,
  // Blocking work the user is waiting for right after acting.
  TID_FILE_USER_BLOCKING,
  // Launching and terminating processes.
  TID_PROCESS_LAUNCHER,
  // IPC and network work; never block here.
  TID_IO,
  // The main thread of a renderer process.
  TID_RENDERER,
  TID_NUM_VALUES,
} cef_thread_id_t;

#ifdef __cplusplus
}
#endif

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_BASE_H_
