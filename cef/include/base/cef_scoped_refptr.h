// Smart pointer for reference-counted objects. CefRefPtr<T> is an alias of
// scoped_refptr<T> (internal/cef_ptr.h).
#ifndef CEF_INCLUDE_BASE_CEF_SCOPED_REFPTR_H_
#define CEF_INCLUDE_BASE_CEF_SCOPED_REFPTR_H_
#pragma once

#include <compare>
#include <concepts>
#include <cstddef>
#include <iosfwd>
#include <ostream>
#include <utility>

template <class T>
class scoped_refptr;

namespace base {

// Makes a scoped_refptr that takes over an object whose count is already one
// (objects constructed with a count of zero use WrapRefCounted).
template <typename T>
scoped_refptr<T> AdoptRef(T* obj);

template <typename T, typename... Args>
scoped_refptr<T> MakeRefCounted(Args&&... args) {
  return scoped_refptr<T>(new T(std::forward<Args>(args)...));
}

template <typename T>
scoped_refptr<T> WrapRefCounted(T* t) {
  return scoped_refptr<T>(t);
}

}  // namespace base

template <class T>
class scoped_refptr {
 public:
  typedef T element_type;

  constexpr scoped_refptr() = default;
  constexpr scoped_refptr(std::nullptr_t) {}

  // Implicit on purpose: handler defaults such as `return this;` rely on it.
  scoped_refptr(T* p) : ptr_(p) {
    if (ptr_)
      AddRef(ptr_);
  }

  scoped_refptr(const scoped_refptr& r) : scoped_refptr(r.ptr_) {}

  template <typename U>
    requires(std::convertible_to<U*, T*>)
  scoped_refptr(const scoped_refptr<U>& r) : scoped_refptr(r.ptr_) {}

  scoped_refptr(scoped_refptr&& r) noexcept : ptr_(r.ptr_) { r.ptr_ = nullptr; }

  template <typename U>
    requires(std::convertible_to<U*, T*>)
  scoped_refptr(scoped_refptr<U>&& r) noexcept : ptr_(r.ptr_) {
    r.ptr_ = nullptr;
  }

  ~scoped_refptr() {
    if (ptr_)
      Release(ptr_);
  }

  T* get() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  T* operator->() const { return ptr_; }

  scoped_refptr& operator=(std::nullptr_t) {
    reset();
    return *this;
  }
  scoped_refptr& operator=(T* p) { return *this = scoped_refptr(p); }
  scoped_refptr& operator=(scoped_refptr r) noexcept {
    swap(r);
    return *this;
  }

  void reset() { scoped_refptr().swap(*this); }

  // Gives up the reference without releasing it.
  [[nodiscard]] T* release() {
    T* ptr = ptr_;
    ptr_ = nullptr;
    return ptr;
  }

  void swap(scoped_refptr& r) noexcept { std::swap(ptr_, r.ptr_); }

  explicit operator bool() const { return ptr_ != nullptr; }

  template <typename U>
  bool operator==(const scoped_refptr<U>& rhs) const {
    return ptr_ == rhs.get();
  }
  template <typename U>
  auto operator<=>(const scoped_refptr<U>& rhs) const {
    return ptr_ <=> rhs.get();
  }

 protected:
  T* ptr_ = nullptr;

 private:
  template <typename U>
  friend scoped_refptr<U> base::AdoptRef(U*);
  template <typename U>
  friend class scoped_refptr;

  enum AdoptTag { kAdopt };
  scoped_refptr(T* p, AdoptTag) : ptr_(p) {}

  static void AddRef(T* ptr) { ptr->AddRef(); }
  static void Release(T* ptr) { ptr->Release(); }
};

namespace base {
template <typename T>
scoped_refptr<T> AdoptRef(T* obj) {
  return scoped_refptr<T>(obj, scoped_refptr<T>::kAdopt);
}
}  // namespace base

template <typename T, typename U>
bool operator==(const scoped_refptr<T>& lhs, const U* rhs) {
  return lhs.get() == rhs;
}
template <typename T>
bool operator==(const scoped_refptr<T>& x, std::nullptr_t) {
  return !x;
}

template <typename T>
std::ostream& operator<<(std::ostream& out, const scoped_refptr<T>& p) {
  return out << p.get();
}

template <typename T>
void swap(scoped_refptr<T>& lhs, scoped_refptr<T>& rhs) noexcept {
  lhs.swap(rhs);
}

#endif  // CEF_INCLUDE_BASE_CEF_SCOPED_REFPTR_H_
