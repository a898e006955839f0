// Basic CEF types. Enumerations live in the grouped headers included below.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "include/internal/cef_string.h"
#include "include/internal/cef_types_base.h"
#include "include/internal/cef_types_browser.h"
#include "include/internal/cef_types_color.h"
#include "include/internal/cef_types_geometry.h"
#include "include/internal/cef_types_net.h"
#include "include/internal/cef_types_process.h"
#include "include/internal/cef_types_settings.h"
#include "include/internal/cef_types_values.h"
#if defined(_WIN32)
#include "include/internal/cef_types_win.h"
#endif

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
