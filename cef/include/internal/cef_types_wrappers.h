// C++ wrappers of the C settings and geometry structures.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_WRAPPERS_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_WRAPPERS_H_
#pragma once

#include <string.h>

#include "include/internal/cef_string.h"
#include "include/internal/cef_types.h"

// Owns a C structure whose string members are deep-copied on copy and
// assignment and released on destruction. |traits| supplies:
//   struct_type
//   static void init(struct_type* s);    after zero-filling
//   static void clear(struct_type* s);   releases owned members
//   static void set(const struct_type* src, struct_type* target, bool copy);
template <class traits>
class CefStructBase : public traits::struct_type {
 public:
  using struct_type = typename traits::struct_type;

  CefStructBase() : attached_to_(nullptr) { Init(); }
  ~CefStructBase() {
    // An attached structure's strings belong to the source.
    if (!attached_to_) {
      traits::clear(this);
    }
  }

  CefStructBase(const CefStructBase& r) {
    Init();
    *this = r;
  }
  CefStructBase(const struct_type& r) {
    Init();
    *this = r;
  }

  // Takes over the contents of |source|, which must stay alive; the
  // contents go back to it on DetachTo() or destruction.
  void AttachTo(struct_type& source) {
    if (attached_to_) {
      DetachTo(*attached_to_);
    }
    traits::clear(this);
    attached_to_ = &source;
    memcpy(static_cast<struct_type*>(this), &source, sizeof(struct_type));
  }

  // Moves the contents to |target|, which takes ownership of them.
  void DetachTo(struct_type& target) {
    if (attached_to_ != &target) {
      traits::clear(&target);
    }
    memcpy(&target, static_cast<struct_type*>(this), sizeof(struct_type));
    Init();
  }

  void Set(const struct_type& source, bool copy) { traits::set(&source, this, copy); }

  CefStructBase& operator=(const CefStructBase& s) { return operator=(static_cast<const struct_type&>(s)); }
  CefStructBase& operator=(const struct_type& s) {
    Set(s, true);
    return *this;
  }

 protected:
  void Init() {
    memset(static_cast<struct_type*>(this), 0, sizeof(struct_type));
    attached_to_ = nullptr;
    traits::init(this);
  }

  struct_type* attached_to_;
};

// Wraps a plain structure that starts with |size| and owns nothing: zeroed
// with |size| set; a copy from a smaller (older) structure takes what it has.
template <class struct_type>
class CefStructBaseSimple : public struct_type {
 public:
  CefStructBaseSimple() : struct_type{sizeof(struct_type)} {}
  CefStructBaseSimple(const struct_type& r) : struct_type{sizeof(struct_type)} { *this = r; }

  CefStructBaseSimple& operator=(const struct_type& r) {
    memcpy(static_cast<struct_type*>(this), &r, r.size < sizeof(struct_type) ? r.size : sizeof(struct_type));
    this->size = sizeof(struct_type);
    return *this;
  }
};

using CefPopupFeatures = CefStructBaseSimple<cef_popup_features_t>;
using CefKeyEvent = CefStructBaseSimple<cef_key_event_t>;

namespace cef_internal {

// Traits for structures whose only owned members are cef_string_t fields
// listed in Strings::kMembers.
template <class Struct, class Strings>
struct StringMemberTraits {
  using struct_type = Struct;

  static void init(struct_type* s) { s->size = sizeof(struct_type); }

  static void clear(struct_type* s) {
    for (cef_string_t struct_type::*member : Strings::kMembers) {
      cef_string_clear(&(s->*member));
    }
  }

  static void set(const struct_type* src, struct_type* target, bool copy) {
    if (src == target) {
      return;
    }
    clear(target);
    memcpy(target, src, sizeof(struct_type));
    for (cef_string_t struct_type::*member : Strings::kMembers) {
      const cef_string_t& from = src->*member;
      cef_string_t& to = target->*member;
      to = cef_string_t{};
      if (from.str) {
        cef_string_set(from.str, from.length, &to, copy);
      }
    }
    target->size = sizeof(struct_type);
  }
};

struct SettingsStrings {
  static constexpr cef_string_t cef_settings_t::*kMembers[] = {
      &cef_settings_t::browser_subprocess_path,
      &cef_settings_t::framework_dir_path,
      &cef_settings_t::main_bundle_path,
      &cef_settings_t::cache_path,
      &cef_settings_t::root_cache_path,
      &cef_settings_t::user_agent,
      &cef_settings_t::user_agent_product,
      &cef_settings_t::locale,
      &cef_settings_t::log_file,
      &cef_settings_t::javascript_flags,
      &cef_settings_t::resources_dir_path,
      &cef_settings_t::locales_dir_path,
      &cef_settings_t::accept_language_list,
      &cef_settings_t::cookieable_schemes_list,
      &cef_settings_t::chrome_policy_id,
  };
};

struct RequestContextSettingsStrings {
  static constexpr cef_string_t cef_request_context_settings_t::*kMembers[] = {
      &cef_request_context_settings_t::cache_path,
      &cef_request_context_settings_t::accept_language_list,
      &cef_request_context_settings_t::cookieable_schemes_list,
  };
};

struct BrowserSettingsStrings {
  static constexpr cef_string_t cef_browser_settings_t::*kMembers[] = {
      &cef_browser_settings_t::standard_font_family, &cef_browser_settings_t::fixed_font_family,
      &cef_browser_settings_t::serif_font_family,    &cef_browser_settings_t::sans_serif_font_family,
      &cef_browser_settings_t::cursive_font_family,  &cef_browser_settings_t::fantasy_font_family,
      &cef_browser_settings_t::default_encoding,
  };
};

}  // namespace cef_internal

using CefSettingsTraits = cef_internal::StringMemberTraits<cef_settings_t, cef_internal::SettingsStrings>;
using CefSettings = CefStructBase<CefSettingsTraits>;

using CefRequestContextSettingsTraits =
    cef_internal::StringMemberTraits<cef_request_context_settings_t, cef_internal::RequestContextSettingsStrings>;
using CefRequestContextSettings = CefStructBase<CefRequestContextSettingsTraits>;

using CefBrowserSettingsTraits =
    cef_internal::StringMemberTraits<cef_browser_settings_t, cef_internal::BrowserSettingsStrings>;
using CefBrowserSettings = CefStructBase<CefBrowserSettingsTraits>;

// Geometry.

class CefPoint : public cef_point_t {
 public:
  CefPoint() : cef_point_t{} {}
  CefPoint(const cef_point_t& r) : cef_point_t(r) {}
  CefPoint(int x, int y) : cef_point_t{x, y} {}

  bool IsEmpty() const { return x <= 0 && y <= 0; }
  void Set(int x_val, int y_val) {
    x = x_val;
    y = y_val;
  }
};

inline bool operator==(const CefPoint& a, const CefPoint& b) {
  return a.x == b.x && a.y == b.y;
}
inline bool operator!=(const CefPoint& a, const CefPoint& b) {
  return !(a == b);
}

class CefRect : public cef_rect_t {
 public:
  CefRect() : cef_rect_t{} {}
  CefRect(const cef_rect_t& r) : cef_rect_t(r) {}
  CefRect(int x, int y, int width, int height) : cef_rect_t{x, y, width, height} {}

  bool IsEmpty() const { return width <= 0 || height <= 0; }
  void Set(int x_val, int y_val, int width_val, int height_val) {
    x = x_val;
    y = y_val;
    width = width_val;
    height = height_val;
  }

  // Half-open: the right and bottom edges are outside.
  bool Contains(int point_x, int point_y) const {
    return point_x >= x && point_x < x + width && point_y >= y && point_y < y + height;
  }
  bool Contains(const CefPoint& point) const { return Contains(point.x, point.y); }
};

inline bool operator==(const CefRect& a, const CefRect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}
inline bool operator!=(const CefRect& a, const CefRect& b) {
  return !(a == b);
}

class CefSize : public cef_size_t {
 public:
  CefSize() : cef_size_t{} {}
  CefSize(const cef_size_t& r) : cef_size_t(r) {}
  CefSize(int width, int height) : cef_size_t{width, height} {}

  bool IsEmpty() const { return width <= 0 || height <= 0; }
  void Set(int width_val, int height_val) {
    width = width_val;
    height = height_val;
  }
};

inline bool operator==(const CefSize& a, const CefSize& b) {
  return a.width == b.width && a.height == b.height;
}
inline bool operator!=(const CefSize& a, const CefSize& b) {
  return !(a == b);
}

class CefInsets : public cef_insets_t {
 public:
  CefInsets() : cef_insets_t{} {}
  CefInsets(const cef_insets_t& r) : cef_insets_t(r) {}
  CefInsets(int top, int left, int bottom, int right) : cef_insets_t{top, left, bottom, right} {}

  void Set(int top_val, int left_val, int bottom_val, int right_val) {
    top = top_val;
    left = left_val;
    bottom = bottom_val;
    right = right_val;
  }
};

inline bool operator==(const CefInsets& a, const CefInsets& b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}
inline bool operator!=(const CefInsets& a, const CefInsets& b) {
  return !(a == b);
}

class CefRange : public cef_range_t {
 public:
  CefRange() : cef_range_t{} {}
  CefRange(const cef_range_t& r) : cef_range_t(r) {}
  CefRange(uint32_t from, uint32_t to) : cef_range_t{from, to} {}

  static CefRange InvalidRange() { return CefRange(UINT32_MAX, UINT32_MAX); }

  void Set(int from_val, int to_val) {
    from = from_val;
    to = to_val;
  }
};

inline bool operator==(const CefRange& a, const CefRange& b) {
  return a.from == b.from && a.to == b.to;
}
inline bool operator!=(const CefRange& a, const CefRange& b) {
  return !(a == b);
}

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_WRAPPERS_H_
