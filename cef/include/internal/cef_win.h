// Windows C++ types: main arguments and window information.
#ifndef CEF_INCLUDE_INTERNAL_CEF_WIN_H_
#define CEF_INCLUDE_INTERNAL_CEF_WIN_H_
#pragma once

#if defined(_WIN32)

#include "include/internal/cef_types_win.h"
#include "include/internal/cef_types_wrappers.h"

#define CefCursorHandle cef_cursor_handle_t
#define CefEventHandle cef_event_handle_t
#define CefWindowHandle cef_window_handle_t

// Tells the library that an OS modal loop (a menu, a window being dragged)
// starts or ends on the UI thread.
void CefSetOSModalLoop(bool osModalLoop);

class CefMainArgs : public cef_main_args_t {
 public:
  CefMainArgs() : cef_main_args_t{} {}
  CefMainArgs(const cef_main_args_t& r) : cef_main_args_t(r) {}
  explicit CefMainArgs(HINSTANCE hInstance) : cef_main_args_t{hInstance} {}
};

struct CefWindowInfoTraits {
  using struct_type = cef_window_info_t;

  static void init(struct_type* s) { s->size = sizeof(struct_type); }
  static void clear(struct_type* s) { cef_string_clear(&s->window_name); }
  static void set(const struct_type* src, struct_type* target, bool copy) {
    if (src == target) {
      return;
    }
    cef_string_clear(&target->window_name);
    memcpy(target, src, sizeof(struct_type));
    target->window_name = cef_string_t{};
    if (src->window_name.str) {
      cef_string_set(src->window_name.str, src->window_name.length, &target->window_name, copy);
    }
    target->size = sizeof(struct_type);
  }
};

class CefWindowInfo : public CefStructBase<CefWindowInfoTraits> {
 public:
  using parent = CefStructBase<CefWindowInfoTraits>;

  CefWindowInfo() : parent() {}
  explicit CefWindowInfo(const cef_window_info_t& r) : parent(r) {}
  CefWindowInfo(const CefWindowInfo& r) : parent(r) {}

  CefWindowInfo& operator=(const CefWindowInfo&) = default;
  CefWindowInfo& operator=(const cef_window_info_t& r) {
    parent::operator=(r);
    return *this;
  }

  // A child window filling |windowBounds| of |parent|.
  void SetAsChild(CefWindowHandle parent, const CefRect& windowBounds) {
    style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_TABSTOP | WS_VISIBLE;
    parent_window = parent;
    bounds = windowBounds;
  }

  // An overlapped top-level window at the system's default place and size.
  void SetAsPopup(CefWindowHandle parent, const CefString& windowName) {
    style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE;
    parent_window = parent;
    bounds.x = CW_USEDEFAULT;
    bounds.y = CW_USEDEFAULT;
    bounds.width = CW_USEDEFAULT;
    bounds.height = CW_USEDEFAULT;
    cef_string_copy(windowName.c_str(), windowName.length(), &window_name);
  }

  // Off-screen rendering; always the alloy runtime style.
  void SetAsWindowless(CefWindowHandle parent) {
    windowless_rendering_enabled = 1;
    parent_window = parent;
    runtime_style = CEF_RUNTIME_STYLE_ALLOY;
  }
};

#endif  // defined(_WIN32)
#endif  // CEF_INCLUDE_INTERNAL_CEF_WIN_H_
