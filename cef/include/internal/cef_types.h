// Basic CEF types. The enumerations and structures live in grouped headers,
// one per area of the stand-in; this header gathers all of them.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "include/internal/cef_string.h"

#if __has_include("include/internal/cef_types_base.h")
#include "include/internal/cef_types_base.h"
#endif
#if __has_include("include/internal/cef_types_values.h")
#include "include/internal/cef_types_values.h"
#endif
#if __has_include("include/internal/cef_types_color.h")
#include "include/internal/cef_types_color.h"
#endif
#if __has_include("include/internal/cef_types_geometry.h")
#include "include/internal/cef_types_geometry.h"
#endif
#if __has_include("include/internal/cef_types_net.h")
#include "include/internal/cef_types_net.h"
#endif
#if __has_include("include/internal/cef_types_process.h")
#include "include/internal/cef_types_process.h"
#endif
#if __has_include("include/internal/cef_types_settings.h")
#include "include/internal/cef_types_settings.h"
#endif
#if __has_include("include/internal/cef_types_browser.h")
#include "include/internal/cef_types_browser.h"
#endif
#if defined(_WIN32) && __has_include("include/internal/cef_types_win.h")
#include "include/internal/cef_types_win.h"
#endif

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
