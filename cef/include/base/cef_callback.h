// OnceCallback and RepeatingCallback: type-erased function objects made by
// base::BindOnce / base::BindRepeating.
//
//   void Greet(const std::string& who, int times);
//   base::OnceCallback<void(int)> cb = base::BindOnce(&Greet, "you");
//   std::move(cb).Run(3);   // cb is null afterwards
//
// A OnceCallback is move-only and runs at most once: Run() must be called on
// an rvalue. A RepeatingCallback is copyable, its copies share the bound
// state, and it can run any number of times. Running a null callback is a
// fatal error.
#ifndef CEF_INCLUDE_BASE_CEF_CALLBACK_H_
#define CEF_INCLUDE_BASE_CEF_CALLBACK_H_
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "include/base/cef_bind.h"
#include "include/base/cef_callback_forward.h"
#include "include/base/cef_logging.h"
#include "include/base/cef_scoped_refptr.h"
#include "include/base/internal/cef_callback_internal.h"

namespace base {

template <typename R, typename... Args>
class OnceCallback<R(Args...)> {
 public:
  using ResultType = R;
  using RunType = R(Args...);
  using PolymorphicInvoke = R (*)(internal::BindStateBase*, internal::PassingType<Args>...);

  constexpr OnceCallback() = default;
  OnceCallback(std::nullptr_t) = delete;

  explicit OnceCallback(internal::BindStateBase* bind_state) : bind_state_(bind_state) {}

  OnceCallback(const OnceCallback&) = delete;
  OnceCallback& operator=(const OnceCallback&) = delete;
  OnceCallback(OnceCallback&&) noexcept = default;
  OnceCallback& operator=(OnceCallback&&) noexcept = default;

  // A RepeatingCallback can be used where a OnceCallback is expected.
  OnceCallback(RepeatingCallback<RunType> other) : bind_state_(std::move(other).TakeBindState()) {}
  OnceCallback& operator=(RepeatingCallback<RunType> other) {
    bind_state_ = std::move(other).TakeBindState();
    return *this;
  }

  bool is_null() const { return !bind_state_; }
  explicit operator bool() const { return !is_null(); }

  bool IsCancelled() const { return bind_state_ && bind_state_->IsCancelled(); }
  bool MaybeValid() const { return bind_state_ && !bind_state_->IsCancelled(); }

  void Reset() { bind_state_ = nullptr; }

  R Run(Args... args) const& {
    static_assert(!sizeof(*this),
                  "OnceCallback::Run() may only be invoked on a non-const "
                  "rvalue, i.e. std::move(callback).Run().");
    NOTREACHED();
  }

  R Run(Args... args) && {
    // Null the callback before running it: the target may destroy or
    // reassign the object holding it.
    scoped_refptr<internal::BindStateBase> state = std::move(bind_state_);
    CHECK(state) << "null OnceCallback was run";
    auto invoke = reinterpret_cast<PolymorphicInvoke>(state->polymorphic_invoke());
    return invoke(state.get(), std::forward<Args>(args)...);
  }

  // Returns a callback that runs this one and then `then` with its result.
  template <typename ThenType>
  auto Then(ThenType&& then) &&;

  // Used by the callback machinery only.
  scoped_refptr<internal::BindStateBase> TakeBindState() && { return std::move(bind_state_); }

 private:
  scoped_refptr<internal::BindStateBase> bind_state_;
};

template <typename R, typename... Args>
class RepeatingCallback<R(Args...)> {
 public:
  using ResultType = R;
  using RunType = R(Args...);
  using PolymorphicInvoke = R (*)(internal::BindStateBase*, internal::PassingType<Args>...);

  constexpr RepeatingCallback() = default;
  RepeatingCallback(std::nullptr_t) = delete;

  explicit RepeatingCallback(internal::BindStateBase* bind_state) : bind_state_(bind_state) {}

  RepeatingCallback(const RepeatingCallback&) = default;
  RepeatingCallback& operator=(const RepeatingCallback&) = default;
  RepeatingCallback(RepeatingCallback&&) noexcept = default;
  RepeatingCallback& operator=(RepeatingCallback&&) noexcept = default;

  bool is_null() const { return !bind_state_; }
  explicit operator bool() const { return !is_null(); }

  bool IsCancelled() const { return bind_state_ && bind_state_->IsCancelled(); }
  bool MaybeValid() const { return bind_state_ && !bind_state_->IsCancelled(); }

  void Reset() { bind_state_ = nullptr; }

  // Same bound state (copies of one callback compare equal).
  bool operator==(const RepeatingCallback& other) const { return bind_state_ == other.bind_state_; }

  R Run(Args... args) const& {
    // Keep the state alive even if the target resets this callback.
    scoped_refptr<internal::BindStateBase> state = bind_state_;
    CHECK(state) << "null RepeatingCallback was run";
    auto invoke = reinterpret_cast<PolymorphicInvoke>(state->polymorphic_invoke());
    return invoke(state.get(), std::forward<Args>(args)...);
  }

  // Running an rvalue consumes the callback, as with OnceCallback.
  R Run(Args... args) && {
    scoped_refptr<internal::BindStateBase> state = std::move(bind_state_);
    CHECK(state) << "null RepeatingCallback was run";
    auto invoke = reinterpret_cast<PolymorphicInvoke>(state->polymorphic_invoke());
    return invoke(state.get(), std::forward<Args>(args)...);
  }

  template <typename ThenType>
  auto Then(ThenType&& then) const&;

  template <typename ThenType>
  auto Then(ThenType&& then) &&;

  // Used by the callback machinery only.
  scoped_refptr<internal::BindStateBase> TakeBindState() && { return std::move(bind_state_); }

 private:
  scoped_refptr<internal::BindStateBase> bind_state_;
};

namespace internal {

// Runs `first`, then `then` with first's result (or without arguments when
// `first` returns void).
template <typename First, typename ThenCb, typename... Args>
auto RunThen(First first, ThenCb then, Args... args) {
  using FirstR = typename First::ResultType;
  if constexpr (std::is_void_v<FirstR>) {
    std::move(first).Run(std::forward<Args>(args)...);
    return std::move(then).Run();
  } else {
    return std::move(then).Run(std::move(first).Run(std::forward<Args>(args)...));
  }
}

template <typename First, typename ThenType, typename... Args>
auto MakeThen(First first, ThenType&& then) {
  using ThenCb = std::decay_t<ThenType>;
  static_assert(IsOnceCallback<ThenCb>::value || IsRepeatingCallback<ThenCb>::value,
                "Then() takes a OnceCallback or RepeatingCallback");
  return BindOnce(&RunThen<First, ThenCb, Args...>, std::move(first), std::forward<ThenType>(then));
}

template <typename First, typename ThenType, typename... Args>
auto MakeRepeatingThen(First first, ThenType&& then) {
  using ThenCb = std::decay_t<ThenType>;
  static_assert(IsRepeatingCallback<ThenCb>::value, "RepeatingCallback::Then() takes a RepeatingCallback");
  return BindRepeating(&RunThen<First, ThenCb, Args...>, std::move(first), std::forward<ThenType>(then));
}

}  // namespace internal

template <typename R, typename... Args>
template <typename ThenType>
auto OnceCallback<R(Args...)>::Then(ThenType&& then) && {
  CHECK(bind_state_) << "Then() on a null OnceCallback";
  return internal::MakeThen<OnceCallback, ThenType, Args...>(std::move(*this), std::forward<ThenType>(then));
}

template <typename R, typename... Args>
template <typename ThenType>
auto RepeatingCallback<R(Args...)>::Then(ThenType&& then) const& {
  CHECK(bind_state_) << "Then() on a null RepeatingCallback";
  return internal::MakeRepeatingThen<RepeatingCallback, ThenType, Args...>(RepeatingCallback(*this),
                                                                           std::forward<ThenType>(then));
}

template <typename R, typename... Args>
template <typename ThenType>
auto RepeatingCallback<R(Args...)>::Then(ThenType&& then) && {
  CHECK(bind_state_) << "Then() on a null RepeatingCallback";
  return internal::MakeRepeatingThen<RepeatingCallback, ThenType, Args...>(std::move(*this),
                                                                           std::forward<ThenType>(then));
}

}  // namespace base

#endif  // CEF_INCLUDE_BASE_CEF_CALLBACK_H_
