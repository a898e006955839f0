// base::BindOnce / base::BindRepeating and the argument wrappers.
//
//   base::BindOnce(&Function, arg1, arg2)        free functions
//   base::BindOnce(&Class::Method, this, arg)    methods; a ref-counted
//                                                receiver is retained
//   base::BindOnce(&Class::Method, base::Unretained(this))
//                                                caller guarantees lifetime
//   base::BindOnce(&Use, base::RetainedRef(obj)) target takes T*, the
//                                                callback keeps a reference
//   base::BindOnce(&Use, base::Owned(new T))     deleted with the callback
//   base::BindOnce(&Take, std::move(unique))     move-only values
//   base::BindRepeating(&Take, base::Passed(&unique))
//   base::BindOnce(base::IgnoreResult(&ReturnsInt))
//
// Bound values are copied or moved into the callback and destroyed with it;
// bound scoped_refptr/CefRefPtr values keep their objects alive until then.
// A raw pointer to a ref-counted type may only be bound as a method's
// receiver; elsewhere use scoped_refptr or RetainedRef. Lambdas may be bound
// only when they capture nothing.
#ifndef CEF_INCLUDE_BASE_CEF_BIND_H_
#define CEF_INCLUDE_BASE_CEF_BIND_H_
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

#include "include/base/cef_callback_forward.h"
#include "include/base/internal/cef_bind_internal.h"

namespace base {

template <typename Functor, typename... Args>
inline OnceCallback<internal::MakeUnboundRunType<Functor, Args...>> BindOnce(Functor&& functor, Args&&... args) {
  static_assert(!internal::IsOnceCallback<std::decay_t<Functor>>::value ||
                    (std::is_rvalue_reference_v<Functor&&> && !std::is_const_v<std::remove_reference_t<Functor>>),
                "BindOnce requires non-const rvalue for OnceCallback binding. "
                "I.e.: base::BindOnce(std::move(callback)).");
  static_assert((!internal::IsPassedWrapper<std::decay_t<Args>>::value && ...),
                "Use std::move() instead of base::Passed() with base::BindOnce()");
  return internal::BindImpl<OnceCallback>(std::forward<Functor>(functor), std::forward<Args>(args)...);
}

template <typename Functor, typename... Args>
inline RepeatingCallback<internal::MakeUnboundRunType<Functor, Args...>> BindRepeating(Functor&& functor,
                                                                                       Args&&... args) {
  static_assert(!internal::IsOnceCallback<std::decay_t<Functor>>::value,
                "BindRepeating cannot bind OnceCallback. Use BindOnce with "
                "std::move().");
  return internal::BindImpl<RepeatingCallback>(std::forward<Functor>(functor), std::forward<Args>(args)...);
}

// The object is not retained; the caller guarantees it outlives the callback.
template <typename T>
inline internal::UnretainedWrapper<T> Unretained(T* o) {
  return internal::UnretainedWrapper<T>(o);
}

// The target receives T* while the callback holds a reference.
template <typename T>
inline internal::RetainedRefWrapper<T> RetainedRef(T* o) {
  return internal::RetainedRefWrapper<T>(o);
}
template <typename T>
inline internal::RetainedRefWrapper<T> RetainedRef(scoped_refptr<T> o) {
  return internal::RetainedRefWrapper<T>(std::move(o));
}

// The callback owns the object and deletes it when destroyed (run or not).
template <typename T>
inline internal::OwnedWrapper<T> Owned(T* o) {
  return internal::OwnedWrapper<T>(o);
}
template <typename T, typename Deleter>
inline internal::OwnedWrapper<T, Deleter> Owned(std::unique_ptr<T, Deleter>&& ptr) {
  return internal::OwnedWrapper<T, Deleter>(std::move(ptr));
}

// For BindRepeating: hands a move-only value to the target on the first run.
template <typename T>
requires(!std::is_lvalue_reference_v<T>) inline internal::PassedWrapper<T> Passed(T&& scoper) {
  return internal::PassedWrapper<T>(std::move(scoper));
}
template <typename T>
inline internal::PassedWrapper<T> Passed(T* scoper) {
  return internal::PassedWrapper<T>(std::move(*scoper));
}

// Runs the target and drops its result.
template <typename T>
inline internal::IgnoreResultHelper<T> IgnoreResult(T data) {
  return internal::IgnoreResultHelper<T>(std::move(data));
}

}  // namespace base

#include "include/base/cef_callback.h"

#endif  // CEF_INCLUDE_BASE_CEF_BIND_H_
