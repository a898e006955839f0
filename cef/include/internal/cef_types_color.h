// 32-bit ARGB colour values.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_COLOR_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_COLOR_H_
#pragma once

#include <stdint.h>

typedef uint32_t cef_color_t;

#define CefColorGetA(color) (((color) >> 24) & 0xFF)
#define CefColorGetR(color) (((color) >> 16) & 0xFF)
#define CefColorGetG(color) (((color) >> 8) & 0xFF)
#define CefColorGetB(color) (((color) >> 0) & 0xFF)

#define CefColorSetARGB(a, r, g, b)                                                              \
  static_cast<cef_color_t>((static_cast<unsigned>(a) << 24) | (static_cast<unsigned>(r) << 16) | \
                           (static_cast<unsigned>(g) << 8) | (static_cast<unsigned>(b) << 0))

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_COLOR_H_
