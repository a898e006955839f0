// C++ wrapper of the UTF-16 cef_string_t structure. A CefString either owns
// its structure or references one that belongs to someone else (the way
// settings fields are written: `CefString(&settings.cache_path) = path;`).
#ifndef CEF_INCLUDE_INTERNAL_CEF_STRING_WRAPPERS_H_
#define CEF_INCLUDE_INTERNAL_CEF_STRING_WRAPPERS_H_
#pragma once

#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

#include "include/internal/cef_string_types.h"

class CefStringUTF16 final {
 public:
  typedef char16_t char_type;
  typedef cef_string_utf16_t struct_type;
  typedef cef_string_userfree_utf16_t userfree_struct_type;

  CefStringUTF16() = default;
  CefStringUTF16(const CefStringUTF16& str) { FromString(str.c_str(), str.length(), true); }
  CefStringUTF16(CefStringUTF16&& str) noexcept { swap(str); }
  CefStringUTF16(const std::string& src) { FromString(src); }
  CefStringUTF16(const char* src, size_t length = 0) {
    if (src)
      FromString(std::string_view(src, length ? length : std::strlen(src)));
  }
  CefStringUTF16(const std::wstring& src) { FromWString(src); }
  CefStringUTF16(const wchar_t* src, size_t length = 0) {
    if (src)
      FromWString(std::wstring(src, length ? length : std::wcslen(src)));
  }
  CefStringUTF16(const std::u16string& src) { FromString16(src); }
  CefStringUTF16(const char16_t* src, size_t length = 0) {
    if (src)
      FromString(src, length ? length : std::char_traits<char16_t>::length(src), true);
  }
  CefStringUTF16(const char16_t* src, size_t src_len, bool copy) {
    if (src && src_len > 0)
      FromString(src, src_len, copy);
  }
  // References `src` without owning it.
  CefStringUTF16(const struct_type* src) : string_(const_cast<struct_type*>(src)), owner_(false) {}

  ~CefStringUTF16() { ClearAndFree(); }

  // Accessors. c_str() is null for an empty, never-set string.
  const char16_t* c_str() const { return string_ ? string_->str : nullptr; }
  size_t length() const { return string_ ? string_->length : 0; }
  size_t size() const { return length(); }
  bool empty() const { return string_ == nullptr || string_->length == 0; }

  int compare(const CefStringUTF16& str) const {
    if (empty() && str.empty())
      return 0;
    if (empty())
      return -1;
    if (str.empty())
      return 1;
    return cef_string_utf16_cmp(string_, str.GetStruct());
  }

  void clear() {
    if (string_)
      cef_string_utf16_clear(string_);
  }

  void swap(CefStringUTF16& str) noexcept {
    std::swap(string_, str.string_);
    std::swap(owner_, str.owner_);
  }

  bool IsOwner() const { return owner_; }
  const struct_type* GetStruct() const { return string_; }
  struct_type* GetWritableStruct() {
    AllocIfNeeded();
    return string_;
  }

  void ClearAndFree() {
    if (!string_)
      return;
    if (owner_) {
      clear();
      delete string_;
    }
    string_ = nullptr;
    owner_ = false;
  }

  void Attach(struct_type* str, bool owner) {
    ClearAndFree();
    string_ = str;
    owner_ = owner;
  }

  void AttachToUserFree(userfree_struct_type str) {
    ClearAndFree();
    if (!str)
      return;
    AllocIfNeeded();
    *string_ = *str;
    str->str = nullptr;
    str->length = 0;
    str->dtor = nullptr;
    cef_string_userfree_utf16_free(str);
  }

  void Detach() {
    string_ = nullptr;
    owner_ = false;
  }

  userfree_struct_type DetachToUserFree() {
    if (empty())
      return nullptr;
    userfree_struct_type str = cef_string_userfree_utf16_alloc();
    if (owner_) {
      *str = *string_;
      string_->str = nullptr;
      string_->length = 0;
      string_->dtor = nullptr;
      ClearAndFree();
    } else {
      cef_string_utf16_set(string_->str, string_->length, str, true);
    }
    return str;
  }

  // Conversions.
  std::string ToString() const {
    if (empty())
      return std::string();
    cef_string_utf8_t out = {};
    cef_string_utf16_to_utf8(string_->str, string_->length, &out);
    std::string result(out.str ? out.str : "", out.length);
    cef_string_utf8_clear(&out);
    return result;
  }

  std::wstring ToWString() const {
    if (empty())
      return std::wstring();
    cef_string_wide_t out = {};
    cef_string_utf16_to_wide(string_->str, string_->length, &out);
    std::wstring result(out.str ? out.str : L"", out.length);
    cef_string_wide_clear(&out);
    return result;
  }

  std::u16string ToString16() const {
    if (empty())
      return std::u16string();
    return std::u16string(string_->str, string_->length);
  }

  bool FromString(const std::string& str) { return FromString(std::string_view(str)); }
  bool FromString(std::string_view str) {
    if (str.empty()) {
      clear();
      return true;
    }
    AllocIfNeeded();
    return cef_string_utf8_to_utf16(str.data(), str.size(), string_) ? true : false;
  }
  bool FromString(const char* str, size_t length = 0) {
    if (!str) {
      clear();
      return true;
    }
    return FromString(std::string_view(str, length ? length : std::strlen(str)));
  }
  bool FromString(const char16_t* src, size_t src_len, bool copy) {
    if (src == nullptr || src_len == 0) {
      clear();
      return true;
    }
    AllocIfNeeded();
    return cef_string_utf16_set(src, src_len, string_, copy) ? true : false;
  }
  bool FromWString(const std::wstring& str) {
    if (str.empty()) {
      clear();
      return true;
    }
    AllocIfNeeded();
    return cef_string_wide_to_utf16(str.data(), str.length(), string_) ? true : false;
  }
  bool FromString16(const std::u16string& str) { return FromString(str.data(), str.length(), true); }
  bool FromASCII(const char* str) {
    size_t len = str ? std::strlen(str) : 0;
    if (len == 0) {
      clear();
      return true;
    }
    AllocIfNeeded();
    return cef_string_ascii_to_utf16(str, len, string_) ? true : false;
  }

  operator std::string() const { return ToString(); }
  operator std::wstring() const { return ToWString(); }
  operator std::u16string() const { return ToString16(); }

  CefStringUTF16& operator=(const CefStringUTF16& str) {
    if (this != &str)
      FromString(str.c_str(), str.length(), true);
    return *this;
  }
  CefStringUTF16& operator=(CefStringUTF16&& str) noexcept {
    if (this != &str) {
      if (owner_ || !string_) {
        ClearAndFree();
        swap(str);
      } else {
        // A referencing string writes through to the structure it refers to.
        FromString(str.c_str(), str.length(), true);
      }
    }
    return *this;
  }
  CefStringUTF16& operator=(const std::string& str) {
    FromString(str);
    return *this;
  }
  CefStringUTF16& operator=(const char* str) {
    FromString(str);
    return *this;
  }
  CefStringUTF16& operator=(const std::wstring& str) {
    FromWString(str);
    return *this;
  }
  CefStringUTF16& operator=(const wchar_t* str) {
    FromWString(str ? std::wstring(str) : std::wstring());
    return *this;
  }
  CefStringUTF16& operator=(const std::u16string& str) {
    FromString16(str);
    return *this;
  }
  CefStringUTF16& operator=(const char16_t* str) {
    FromString(str, str ? std::char_traits<char16_t>::length(str) : 0, true);
    return *this;
  }

  bool operator<(const CefStringUTF16& str) const { return compare(str) < 0; }
  bool operator<=(const CefStringUTF16& str) const { return compare(str) <= 0; }
  bool operator>(const CefStringUTF16& str) const { return compare(str) > 0; }
  bool operator>=(const CefStringUTF16& str) const { return compare(str) >= 0; }
  bool operator==(const CefStringUTF16& str) const { return compare(str) == 0; }
  bool operator!=(const CefStringUTF16& str) const { return compare(str) != 0; }

 private:
  void AllocIfNeeded() {
    if (string_ == nullptr) {
      string_ = new struct_type{};
      owner_ = true;
    }
  }

  struct_type* string_ = nullptr;
  bool owner_ = false;
};

inline std::ostream& operator<<(std::ostream& s, const CefStringUTF16& str) {
  return s << str.ToString();
}

#endif  // CEF_INCLUDE_INTERNAL_CEF_STRING_WRAPPERS_H_
