// A set of registered preferences with Chromium's rules: every preference
// has a default value whose type every later value must have; values are
// copied in and out; a preference can be managed (not user-modifiable).
// Thread-safe: the UI thread writes, the IO thread reads copies.
#ifndef CEF_SRC_CORE_PREFERENCE_STORE_H_
#define CEF_SRC_CORE_PREFERENCE_STORE_H_
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "include/cef_values.h"

namespace cef_internal {

class PreferenceStore {
 public:
  PreferenceStore();
  ~PreferenceStore();
  PreferenceStore(const PreferenceStore&) = delete;
  PreferenceStore& operator=(const PreferenceStore&) = delete;

  // Registers |name| with a copy of |default_value|. False when the name is
  // empty or taken, or the value is null, invalid or of type NULL/BINARY.
  bool Register(const std::string& name, CefRefPtr<CefValue> default_value);

  bool Has(const std::string& name) const;

  // A copy of the current value (the default when none was set), or null
  // when |name| is not registered.
  CefRefPtr<CefValue> Get(const std::string& name) const;

  // Every preference, nested by the dots of their names; with
  // |include_defaults| false only the ones set to a value of their own.
  CefRefPtr<CefDictionaryValue> GetAll(bool include_defaults) const;

  bool CanSet(const std::string& name) const;

  // Sets |name| to a copy of |value|, or back to its default when |value|
  // is null. On failure returns false with |error| set to the reason.
  bool Set(const std::string& name, CefRefPtr<CefValue> value, std::string& error);

  // How many writes Set() has accepted for |name| (faulty ones included).
  int WriteCount(const std::string& name) const;

  // Faults that the test driver injects.
  struct Faults {
    bool unsettable = false;               // CanSet() false, Set() refuses
    std::optional<std::string> fail_text;  // Set() fails with this text
    bool drop_writes = false;              // Set() succeeds, value unchanged
  };
  void Unregister(const std::string& name);
  void SetFaults(const std::string& name, const Faults& faults);
  Faults GetFaults(const std::string& name) const;

 private:
  struct Entry {
    CefRefPtr<CefValue> default_value;
    CefRefPtr<CefValue> user_value;  // null: the default applies
    Faults faults;
    int writes = 0;
  };

  // Guards entries_ and every value in it; values never leave uncopied.
  mutable std::mutex mutex_;
  std::map<std::string, Entry> entries_;
  // Faults set for names not registered (yet).
  std::map<std::string, Faults> pending_faults_;
};

// The Chromium name of a value type in preference error texts
// ("DICTIONARY", "LIST", "STRING" ...).
const char* PreferenceTypeName(cef_value_type_t type);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_PREFERENCE_STORE_H_
