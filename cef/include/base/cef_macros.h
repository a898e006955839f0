// Small helper macros shared by the base headers.
#ifndef CEF_INCLUDE_BASE_CEF_MACROS_H_
#define CEF_INCLUDE_BASE_CEF_MACROS_H_
#pragma once

#include <cstddef>

#include "include/base/cef_build.h"

// Older client code still spells out the deleted copy members this way.
#ifndef DISALLOW_COPY_AND_ASSIGN
#define DISALLOW_COPY_AND_ASSIGN(TypeName) \
  TypeName(const TypeName&) = delete;      \
  void operator=(const TypeName&) = delete
#endif

#ifndef DISALLOW_IMPLICIT_CONSTRUCTORS
#define DISALLOW_IMPLICIT_CONSTRUCTORS(TypeName) \
  TypeName() = delete;                           \
  DISALLOW_COPY_AND_ASSIGN(TypeName)
#endif

#ifndef ALLOW_UNUSED_LOCAL
#define ALLOW_UNUSED_LOCAL(x) (void)(x)
#endif

#ifndef ALLOW_UNUSED_TYPE
#define ALLOW_UNUSED_TYPE [[maybe_unused]]
#endif

#ifndef WARN_UNUSED_RESULT
#define WARN_UNUSED_RESULT [[nodiscard]]
#endif

#endif  // CEF_INCLUDE_BASE_CEF_MACROS_H_
