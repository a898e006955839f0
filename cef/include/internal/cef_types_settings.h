// C structures of the global, request-context and browser settings.
// String members are cef_string_t; the C++ wrappers in
// cef_types_wrappers.h own and deep-copy them.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_SETTINGS_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_SETTINGS_H_
#pragma once

#include <stddef.h>

#include "include/internal/cef_string.h"
#include "include/internal/cef_types_color.h"
#include "include/internal/cef_types_process.h"

#ifdef __cplusplus
extern "C" {
#endif

// Global settings passed to CefInitialize().
typedef struct _cef_settings_t {
  size_t size;
  int no_sandbox;
  cef_string_t browser_subprocess_path;
  cef_string_t framework_dir_path;
  cef_string_t main_bundle_path;
  int multi_threaded_message_loop;
  int external_message_pump;
  int windowless_rendering_enabled;
  int command_line_args_disabled;
  // Global profile directory: equal to or below root_cache_path. Empty
  // keeps the global profile in memory.
  cef_string_t cache_path;
  // Parent of every profile directory; absolute.
  cef_string_t root_cache_path;
  int persist_session_cookies;
  cef_string_t user_agent;
  cef_string_t user_agent_product;
  cef_string_t locale;
  // Empty: "debug.log" next to the executable.
  cef_string_t log_file;
  cef_log_severity_t log_severity;
  cef_log_items_t log_items;
  cef_string_t javascript_flags;
  cef_string_t resources_dir_path;
  cef_string_t locales_dir_path;
  // 1024 to 65535 enables remote debugging; 0 leaves it off.
  int remote_debugging_port;
  int uncaught_exception_stack_size;
  cef_color_t background_color;
  cef_string_t accept_language_list;
  cef_string_t cookieable_schemes_list;
  int cookieable_schemes_exclude_defaults;
  cef_string_t chrome_policy_id;
  int chrome_app_icon_id;
  int disable_signal_handlers;
  int use_views_default_popup;
} cef_settings_t;

// Settings of a request context created with CefRequestContext::CreateContext.
typedef struct _cef_request_context_settings_t {
  size_t size;
  // Equal to or below CefSettings.root_cache_path; empty = in memory.
  cef_string_t cache_path;
  int persist_session_cookies;
  cef_string_t accept_language_list;
  cef_string_t cookieable_schemes_list;
  int cookieable_schemes_exclude_defaults;
} cef_request_context_settings_t;

// Per-browser settings.
typedef struct _cef_browser_settings_t {
  size_t size;
  int windowless_frame_rate;
  cef_string_t standard_font_family;
  cef_string_t fixed_font_family;
  cef_string_t serif_font_family;
  cef_string_t sans_serif_font_family;
  cef_string_t cursive_font_family;
  cef_string_t fantasy_font_family;
  int default_font_size;
  int default_fixed_font_size;
  int minimum_font_size;
  int minimum_logical_font_size;
  cef_string_t default_encoding;
  cef_state_t remote_fonts;
  cef_state_t javascript;
  cef_state_t javascript_close_windows;
  cef_state_t javascript_access_clipboard;
  cef_state_t javascript_dom_paste;
  cef_state_t image_loading;
  cef_state_t image_shrink_standalone_to_fit;
  cef_state_t text_area_resize;
  cef_state_t tab_to_links;
  cef_state_t local_storage;
  cef_state_t databases_deprecated;
  cef_state_t webgl;
  cef_color_t background_color;
  cef_state_t chrome_status_bubble;
  cef_state_t chrome_zoom_bubble;
} cef_browser_settings_t;

#ifdef __cplusplus
}
#endif

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_SETTINGS_H_
