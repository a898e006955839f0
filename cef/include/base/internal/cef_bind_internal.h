// Machinery behind base::BindOnce / base::BindRepeating. Do not include
// directly; include "include/base/cef_bind.h".
#ifndef CEF_INCLUDE_BASE_INTERNAL_CEF_BIND_INTERNAL_H_
#define CEF_INCLUDE_BASE_INTERNAL_CEF_BIND_INTERNAL_H_
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

#include "include/base/cef_callback_forward.h"
#include "include/base/cef_scoped_refptr.h"
#include "include/base/internal/cef_callback_internal.h"

namespace base {
namespace internal {

// ---------------------------------------------------------------------------
// Argument wrappers (made by base::Unretained, RetainedRef, Owned, Passed).

template <typename T>
class UnretainedWrapper {
 public:
  explicit UnretainedWrapper(T* o) : ptr_(o) {}
  T* get() const { return ptr_; }

 private:
  T* ptr_;
};

template <typename T>
class RetainedRefWrapper {
 public:
  explicit RetainedRefWrapper(T* o) : ptr_(o) {}
  explicit RetainedRefWrapper(scoped_refptr<T> o) : ptr_(std::move(o)) {}
  T* get() const { return ptr_.get(); }

 private:
  scoped_refptr<T> ptr_;
};

template <typename T, typename Deleter = std::default_delete<T>>
class OwnedWrapper {
 public:
  explicit OwnedWrapper(T* o) : ptr_(o) {}
  explicit OwnedWrapper(std::unique_ptr<T, Deleter>&& ptr) : ptr_(std::move(ptr)) {}
  T* get() const { return ptr_.get(); }

 private:
  std::unique_ptr<T, Deleter> ptr_;
};

// Lets a RepeatingCallback hand a move-only bound value to its target; the
// value can be taken once only.
template <typename T>
class PassedWrapper {
 public:
  explicit PassedWrapper(T&& scoper) : scoper_(std::move(scoper)) {}
  PassedWrapper(PassedWrapper&& other) = default;
  PassedWrapper(const PassedWrapper& other) = default;

  T Take() const {
    if (!is_valid_)
      __builtin_trap();  // a Passed() value was taken twice
    is_valid_ = false;
    return std::move(scoper_);
  }

 private:
  mutable bool is_valid_ = true;
  mutable T scoper_;
};

template <typename T>
struct IgnoreResultHelper {
  explicit IgnoreResultHelper(T functor) : functor_(std::move(functor)) {}
  explicit operator bool() const { return !!functor_; }
  T functor_;
};

// ---------------------------------------------------------------------------
// Type lists.

template <typename... Types>
struct TypeList {};

template <size_t n, typename List>
struct DropTypeListItemImpl;
template <size_t n, typename T, typename... List>
struct DropTypeListItemImpl<n, TypeList<T, List...>> : DropTypeListItemImpl<n - 1, TypeList<List...>> {};
template <typename T, typename... List>
struct DropTypeListItemImpl<0, TypeList<T, List...>> {
  using Type = TypeList<T, List...>;
};
template <>
struct DropTypeListItemImpl<0, TypeList<>> {
  using Type = TypeList<>;
};

template <typename R, typename List>
struct MakeFunctionTypeImpl;
template <typename R, typename... Args>
struct MakeFunctionTypeImpl<R, TypeList<Args...>> {
  using Type = R(Args...);
};

template <typename Signature>
struct ExtractArgsImpl;
template <typename R, typename... Args>
struct ExtractArgsImpl<R(Args...)> {
  using ReturnType = R;
  using ArgsList = TypeList<Args...>;
};

// R(A1, ..., An) without its first n arguments.
template <size_t n, typename Signature>
using MakeUnboundRunTypeFromSignature = typename MakeFunctionTypeImpl<
    typename ExtractArgsImpl<Signature>::ReturnType,
    typename DropTypeListItemImpl<n, typename ExtractArgsImpl<Signature>::ArgsList>::Type>::Type;

// ---------------------------------------------------------------------------
// Callback and wrapper detection.

template <typename T>
struct IsOnceCallback : std::false_type {};
template <typename Signature>
struct IsOnceCallback<OnceCallback<Signature>> : std::true_type {};

template <typename T>
struct IsRepeatingCallback : std::false_type {};
template <typename Signature>
struct IsRepeatingCallback<RepeatingCallback<Signature>> : std::true_type {};

template <typename T>
struct IsPassedWrapper : std::false_type {};
template <typename T>
struct IsPassedWrapper<PassedWrapper<T>> : std::true_type {};

template <typename T>
concept IsRefCountedType = requires(T* p) {
  p->AddRef();
  p->Release();
};

template <typename T>
struct IsRawPointerToRefCounted : std::false_type {};
template <typename T>
requires IsRefCountedType<T>
struct IsRawPointerToRefCounted<T*> : std::true_type {
};

// ---------------------------------------------------------------------------
// FunctorTraits: what a bindable thing looks like when called.

template <typename Functor>
struct FunctorTraits;

// Stateless lambdas; lambdas with captures and other stateful functors are
// refused, as bound state belongs in bound arguments.
template <typename Callable>
struct LambdaRunType;
template <typename R, typename Class, typename... Args>
struct LambdaRunType<R (Class::*)(Args...) const> {
  using Type = R(Args...);
};
template <typename R, typename Class, typename... Args>
struct LambdaRunType<R (Class::*)(Args...)> {
  using Type = R(Args...);
};
template <typename R, typename Class, typename... Args>
struct LambdaRunType<R (Class::*)(Args...) const noexcept> {
  using Type = R(Args...);
};
template <typename R, typename Class, typename... Args>
struct LambdaRunType<R (Class::*)(Args...) noexcept> {
  using Type = R(Args...);
};

template <typename Functor>
struct FunctorTraits {
  static_assert(
      std::is_class_v<Functor> && requires { &Functor::operator(); },
      "base::Bind* accepts functions, member functions, stateless "
      "lambdas and callbacks");
  static_assert(std::is_empty_v<Functor>,
                "Capturing lambdas and stateful functors are not supported: "
                "bind the state as arguments instead.");
  using RunType = typename LambdaRunType<decltype(&Functor::operator())>::Type;
  static constexpr bool is_method = false;

  template <typename F, typename... RunArgs>
  static decltype(auto) Invoke(F&& functor, RunArgs&&... args) {
    return std::forward<F>(functor)(std::forward<RunArgs>(args)...);
  }
};

template <typename R, typename... Args>
struct FunctorTraits<R (*)(Args...)> {
  using RunType = R(Args...);
  static constexpr bool is_method = false;

  template <typename F, typename... RunArgs>
  static R Invoke(F function, RunArgs&&... args) {
    return function(std::forward<RunArgs>(args)...);
  }
};

template <typename R, typename... Args>
struct FunctorTraits<R (*)(Args...) noexcept> : FunctorTraits<R (*)(Args...)> {};

// Member functions: the receiver is the first argument.
template <typename R, typename Receiver, typename... Args>
struct FunctorTraits<R (Receiver::*)(Args...)> {
  using RunType = R(Receiver*, Args...);
  using ReceiverType = Receiver;
  static constexpr bool is_method = true;

  template <typename Method, typename ReceiverPtr, typename... RunArgs>
  static R Invoke(Method method, ReceiverPtr&& receiver, RunArgs&&... args) {
    return ((*receiver).*method)(std::forward<RunArgs>(args)...);
  }
};

template <typename R, typename Receiver, typename... Args>
struct FunctorTraits<R (Receiver::*)(Args...) const> {
  using RunType = R(const Receiver*, Args...);
  using ReceiverType = const Receiver;
  static constexpr bool is_method = true;

  template <typename Method, typename ReceiverPtr, typename... RunArgs>
  static R Invoke(Method method, ReceiverPtr&& receiver, RunArgs&&... args) {
    return ((*receiver).*method)(std::forward<RunArgs>(args)...);
  }
};

template <typename R, typename Receiver, typename... Args>
struct FunctorTraits<R (Receiver::*)(Args...) noexcept> : FunctorTraits<R (Receiver::*)(Args...)> {};
template <typename R, typename Receiver, typename... Args>
struct FunctorTraits<R (Receiver::*)(Args...) const noexcept> : FunctorTraits<R (Receiver::*)(Args...) const> {};

template <typename T>
struct FunctorTraits<IgnoreResultHelper<T>> {
  using TargetTraits = FunctorTraits<T>;
  using RunType =
      typename MakeFunctionTypeImpl<void, typename ExtractArgsImpl<typename TargetTraits::RunType>::ArgsList>::Type;
  static constexpr bool is_method = TargetTraits::is_method;

  template <typename IgnoreResultType, typename... RunArgs>
  static void Invoke(IgnoreResultType&& ignore_result_helper, RunArgs&&... args) {
    TargetTraits::Invoke(std::forward<IgnoreResultType>(ignore_result_helper).functor_, std::forward<RunArgs>(args)...);
  }
};

template <typename R, typename... Args>
struct FunctorTraits<OnceCallback<R(Args...)>> {
  using RunType = R(Args...);
  static constexpr bool is_method = false;

  template <typename CallbackType, typename... RunArgs>
  static R Invoke(CallbackType&& callback, RunArgs&&... args) {
    return std::forward<CallbackType>(callback).Run(std::forward<RunArgs>(args)...);
  }
};

template <typename R, typename... Args>
struct FunctorTraits<RepeatingCallback<R(Args...)>> {
  using RunType = R(Args...);
  static constexpr bool is_method = false;

  template <typename CallbackType, typename... RunArgs>
  static R Invoke(CallbackType&& callback, RunArgs&&... args) {
    return std::forward<CallbackType>(callback).Run(std::forward<RunArgs>(args)...);
  }
};

// ---------------------------------------------------------------------------
// Bound argument storage and unwrapping.

// How a bound argument is stored. A raw pointer receiver of a ref-counted
// class is retained for the callback's lifetime.
template <bool is_receiver, typename T>
struct BoundStorage {
  using Type = std::decay_t<T>;
};
template <typename T>
requires IsRawPointerToRefCounted<std::decay_t<T>>::value struct BoundStorage<true, T> {
  using Type = scoped_refptr<std::remove_pointer_t<std::decay_t<T>>>;
};

template <typename T>
struct IsUnwrappedByGet : std::false_type {};
template <typename T>
struct IsUnwrappedByGet<UnretainedWrapper<T>> : std::true_type {};
template <typename T>
struct IsUnwrappedByGet<RetainedRefWrapper<T>> : std::true_type {};
template <typename T, typename Deleter>
struct IsUnwrappedByGet<OwnedWrapper<T, Deleter>> : std::true_type {};
template <typename T>
struct IsUnwrappedByGet<std::reference_wrapper<T>> : std::true_type {};

// What the target receives for a stored argument: wrappers give up their
// pointer (or reference, or passed value); anything else is forwarded.
template <typename T>
decltype(auto) Unwrap(T&& o) {
  using Decayed = std::decay_t<T>;
  if constexpr (IsUnwrappedByGet<Decayed>::value) {
    return o.get();
  } else if constexpr (IsPassedWrapper<Decayed>::value) {
    return o.Take();
  } else {
    return std::forward<T>(o);
  }
}

// The functor and bound arguments of one callback.
template <typename Functor, typename... BoundArgs>
struct BindState final : BindStateBase {
  template <typename ForwardFunctor, typename... ForwardBoundArgs>
  BindState(InvokeFuncStorage invoke, ForwardFunctor&& functor, ForwardBoundArgs&&... bound_args)
      : BindStateBase(invoke),
        functor_(std::forward<ForwardFunctor>(functor)),
        bound_args_(std::forward<ForwardBoundArgs>(bound_args)...) {}

  Functor functor_;
  std::tuple<BoundArgs...> bound_args_;

 private:
  ~BindState() override = default;
};

template <typename StorageType, typename UnboundRunType>
struct Invoker;

template <typename Functor, typename... BoundArgs, typename R, typename... UnboundArgs>
struct Invoker<BindState<Functor, BoundArgs...>, R(UnboundArgs...)> {
  using StorageType = BindState<Functor, BoundArgs...>;
  using Traits = FunctorTraits<Functor>;
  static constexpr size_t kNumBoundArgs = sizeof...(BoundArgs);

  // BindOnce: everything bound is moved into the call.
  static R RunOnce(BindStateBase* base, PassingType<UnboundArgs>... unbound_args) {
    StorageType* storage = static_cast<StorageType*>(base);
    return RunImpl(std::move(storage->functor_), std::move(storage->bound_args_),
                   std::make_index_sequence<kNumBoundArgs>(), std::forward<UnboundArgs>(unbound_args)...);
  }

  // BindRepeating: bound values are passed by const reference.
  static R Run(BindStateBase* base, PassingType<UnboundArgs>... unbound_args) {
    const StorageType* storage = static_cast<const StorageType*>(base);
    return RunImpl(storage->functor_, storage->bound_args_, std::make_index_sequence<kNumBoundArgs>(),
                   std::forward<UnboundArgs>(unbound_args)...);
  }

 private:
  template <typename FunctorType, typename BoundArgsTuple, size_t... indices>
  static R RunImpl(FunctorType&& functor,
                   BoundArgsTuple&& bound,
                   std::index_sequence<indices...>,
                   PassingType<UnboundArgs>... unbound_args) {
    if constexpr (std::is_void_v<R>) {
      Traits::Invoke(std::forward<FunctorType>(functor),
                     Unwrap(std::get<indices>(std::forward<BoundArgsTuple>(bound)))...,
                     std::forward<UnboundArgs>(unbound_args)...);
    } else {
      return Traits::Invoke(std::forward<FunctorType>(functor),
                            Unwrap(std::get<indices>(std::forward<BoundArgsTuple>(bound)))...,
                            std::forward<UnboundArgs>(unbound_args)...);
    }
  }
};

template <typename List>
struct TypeListSize;
template <typename... Types>
struct TypeListSize<TypeList<Types...>> : std::integral_constant<size_t, sizeof...(Types)> {};

template <bool is_method, size_t index, typename T>
constexpr void CheckBoundArgument() {
  using Decayed = std::decay_t<T>;
  if constexpr (is_method && index == 0) {
    static_assert(!std::is_pointer_v<Decayed> || IsRefCountedType<std::remove_pointer_t<Decayed>>,
                  "Receivers may not be raw pointers to classes that are not "
                  "reference counted. Use base::Unretained() if the object "
                  "outlives the callback.");
  } else {
    static_assert(!IsRawPointerToRefCounted<Decayed>::value,
                  "A parameter is a refcounted type and needs scoped_refptr.");
  }
}

template <bool is_method, typename Functor, typename... Args, size_t... indices>
constexpr void CheckBoundArguments(std::index_sequence<indices...>) {
  (CheckBoundArgument<is_method, indices, Args>(), ...);
}

template <bool is_method, typename Seq, typename... Args>
struct MakeBindStateTypeImpl;
template <bool is_method, size_t... indices, typename Functor, typename... Args>
struct MakeBindStateTypeImpl<is_method, std::index_sequence<indices...>, Functor, Args...> {
  using Type = BindState<std::decay_t<Functor>, typename BoundStorage<is_method && indices == 0, Args>::Type...>;
};

template <typename Functor, typename... Args>
using MakeBindStateType = typename MakeBindStateTypeImpl<FunctorTraits<std::decay_t<Functor>>::is_method,
                                                         std::make_index_sequence<sizeof...(Args)>,
                                                         Functor,
                                                         Args...>::Type;

template <typename Functor, typename... Args>
using MakeUnboundRunType =
    MakeUnboundRunTypeFromSignature<sizeof...(Args), typename FunctorTraits<std::decay_t<Functor>>::RunType>;

template <template <typename> class CallbackT, typename Functor, typename... Args>
auto BindImpl(Functor&& functor, Args&&... args) {
  using Traits = FunctorTraits<std::decay_t<Functor>>;
  using RunType = typename Traits::RunType;
  static_assert(sizeof...(Args) <= TypeListSize<typename ExtractArgsImpl<RunType>::ArgsList>::value,
                "more arguments bound than the target takes");
  if constexpr (Traits::is_method) {
    static_assert(sizeof...(Args) > 0, "a member function needs its receiver bound");
  }
  CheckBoundArguments<Traits::is_method, Functor, Args...>(std::make_index_sequence<sizeof...(Args)>());

  using BindStateType = MakeBindStateType<Functor, Args...>;
  using UnboundRunType = MakeUnboundRunType<Functor, Args...>;
  using CallbackType = CallbackT<UnboundRunType>;
  using InvokerType = Invoker<BindStateType, UnboundRunType>;

  typename CallbackType::PolymorphicInvoke invoke;
  if constexpr (IsOnceCallback<CallbackType>::value) {
    invoke = &InvokerType::RunOnce;
  } else {
    invoke = &InvokerType::Run;
  }
  return CallbackType(new BindStateType(reinterpret_cast<BindStateBase::InvokeFuncStorage>(invoke),
                                        std::forward<Functor>(functor), std::forward<Args>(args)...));
}

}  // namespace internal
}  // namespace base

#endif  // CEF_INCLUDE_BASE_INTERNAL_CEF_BIND_INTERNAL_H_
