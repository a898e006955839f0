// Shared state behind OnceCallback and RepeatingCallback. Do not include
// directly; include "include/base/cef_callback.h".
#ifndef CEF_INCLUDE_BASE_INTERNAL_CEF_CALLBACK_INTERNAL_H_
#define CEF_INCLUDE_BASE_INTERNAL_CEF_CALLBACK_INTERNAL_H_
#pragma once

#include <atomic>
#include <type_traits>

namespace base {
namespace internal {

// The bound functor and arguments, type-erased and reference counted so that
// copies of a RepeatingCallback (and a OnceCallback made from one) share it.
// The invoke function pointer is chosen when the state is created: a state
// made by BindOnce moves its bound arguments into the call, one made by
// BindRepeating passes them by const reference and can run many times.
class BindStateBase {
 public:
  using InvokeFuncStorage = void (*)();

  explicit BindStateBase(InvokeFuncStorage polymorphic_invoke) : polymorphic_invoke_(polymorphic_invoke) {}
  BindStateBase(const BindStateBase&) = delete;
  BindStateBase& operator=(const BindStateBase&) = delete;

  void AddRef() const { ref_count_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const {
    if (ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1)
      delete this;
  }
  bool HasOneRef() const { return ref_count_.load(std::memory_order_acquire) == 1; }

  // True once the target can no longer run (nothing here binds weak
  // receivers, so a bound state is never cancelled).
  virtual bool IsCancelled() const { return false; }

  InvokeFuncStorage polymorphic_invoke() const { return polymorphic_invoke_; }

 protected:
  virtual ~BindStateBase() = default;

 private:
  const InvokeFuncStorage polymorphic_invoke_;
  mutable std::atomic<int> ref_count_{0};
};

// How unbound arguments travel from Run() to the target: scalars by value,
// everything else by reference so move-only types pass through.
template <typename T>
using PassingType = std::conditional_t<std::is_scalar_v<T>, T, T&&>;

}  // namespace internal
}  // namespace base

#endif  // CEF_INCLUDE_BASE_INTERNAL_CEF_CALLBACK_INTERNAL_H_
