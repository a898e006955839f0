// Forward declarations of the callback types.
#ifndef CEF_INCLUDE_BASE_CEF_CALLBACK_FORWARD_H_
#define CEF_INCLUDE_BASE_CEF_CALLBACK_FORWARD_H_
#pragma once

namespace base {

template <typename Signature>
class OnceCallback;

template <typename Signature>
class RepeatingCallback;

// Syntactic sugar for the common case of a callback without arguments or
// result.
using OnceClosure = OnceCallback<void()>;
using RepeatingClosure = RepeatingCallback<void()>;

}  // namespace base

#endif  // CEF_INCLUDE_BASE_CEF_CALLBACK_FORWARD_H_
