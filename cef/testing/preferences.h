// Test driver: preference faults per request context. A fault applies to
// one context, or to every context with a given cache path, including
// contexts created later (so that a context's first writes, made from its
// OnRequestContextInitialized, can be made to fail). Any thread.
#ifndef CEF_TESTING_PREFERENCES_H_
#define CEF_TESTING_PREFERENCES_H_
#pragma once

#include <string>

#include "include/cef_request_context.h"

namespace cef_testing {

// Which contexts a fault applies to.
class ContextSelector {
 public:
  // That context alone.
  ContextSelector(CefRefPtr<CefRequestContext> context);
  // Every context, now or later, whose cache path is |cache_path|
  // (empty: every in-memory context).
  static ContextSelector CachePath(const CefString& cache_path);
  // The global context.
  static ContextSelector Global();

  CefRefPtr<CefRequestContext> context;
  bool by_cache_path = false;
  std::string cache_path;  // UTF-8
};

// HasPreference() false, GetPreference() null, SetPreference() refused as
// unregistered.
void UnregisterPreference(const ContextSelector& where, const std::string& name);

// CanSetPreference() false; SetPreference() refused as not modifiable.
void MakePreferenceUnsettable(const ContextSelector& where, const std::string& name);

// SetPreference() returns false with |error_text| (may be empty).
void FailPreferenceWrites(const ContextSelector& where, const std::string& name, const std::string& error_text);

// SetPreference() returns true, but the value read back stays the old one.
void DropPreferenceWrites(const ContextSelector& where, const std::string& name);

// Removes every fault of |name| (registration is not restored).
void ClearPreferenceFaults(const ContextSelector& where, const std::string& name);

// Number of SetPreference() calls that were accepted for |name| in
// |context| (dropped writes included; refused ones not).
int PreferenceWriteCount(CefRefPtr<CefRequestContext> context, const std::string& name);

// Forgets all cache-path faults (called by ScopedRuntime between tests).
void ResetPreferenceFaults();

}  // namespace cef_testing

#endif  // CEF_TESTING_PREFERENCES_H_
