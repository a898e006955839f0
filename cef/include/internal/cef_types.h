// Basic CEF types. Enumerations live in the grouped headers included below.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "include/internal/cef_string.h"
#include "include/internal/cef_types_browser.h"

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
