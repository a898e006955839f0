// Preferences: registration of custom ones, observation and access.
#ifndef CEF_INCLUDE_CEF_PREFERENCE_H_
#define CEF_INCLUDE_CEF_PREFERENCE_H_
#pragma once

#include <vector>

#include "include/cef_api_hash.h"
#include "include/cef_base.h"
#include "include/cef_registration.h"
#include "include/cef_values.h"

// Adds custom preferences; valid only inside
// CefBrowserProcessHandler::OnRegisterCustomPreferences.
class CefPreferenceRegistrar : public CefBaseScoped {
 public:
  // Registers |name| (an application prefix and a dot, e.g. "myapp.flag")
  // with |default_value|, whose type every later value must have. Returns
  // false when the name is taken or the value's type cannot be stored.
  virtual bool AddPreference(const CefString& name, CefRefPtr<CefValue> default_value) = 0;
};

#if CEF_API_ADDED(13401)
// Told about preference changes. Called on the UI thread.
class CefPreferenceObserver : public virtual CefBaseRefCounted {
 public:
  virtual void OnPreferenceChanged(const CefString& name) = 0;
};
#endif

// Access to a set of preferences: the global ones, or a request context's.
// Instance methods are called on the UI thread.
class CefPreferenceManager : public virtual CefBaseRefCounted {
 public:
#if CEF_API_ADDED(13401)
  // Chrome field-trial state; this library has none.
  static void GetChromeVariationsAsSwitches(std::vector<CefString>& switches);
  static void GetChromeVariationsAsStrings(std::vector<CefString>& strings);
#endif

  // The manager of the global (local-state) preferences.
  static CefRefPtr<CefPreferenceManager> GetGlobalPreferenceManager();

  virtual bool HasPreference(const CefString& name) = 0;

  // A copy of the current value, or null when |name| is not registered.
  virtual CefRefPtr<CefValue> GetPreference(const CefString& name) = 0;

  // A copy of every preference; with |include_defaults| false only those
  // that differ from their default.
  virtual CefRefPtr<CefDictionaryValue> GetAllPreferences(bool include_defaults) = 0;

  // False when the preference is managed elsewhere (a switch, a policy).
  virtual bool CanSetPreference(const CefString& name) = 0;

  // Sets |name| to |value|; a null |value| restores the default. On
  // failure returns false with |error| describing it.
  virtual bool SetPreference(const CefString& name, CefRefPtr<CefValue> value, CefString& error) = 0;

#if CEF_API_ADDED(13401)
  // Observes |name|, or every preference when |name| is empty, until the
  // returned registration is released.
  virtual CefRefPtr<CefRegistration> AddPreferenceObserver(const CefString& name,
                                                           CefRefPtr<CefPreferenceObserver> observer) = 0;
#endif
};

#endif  // CEF_INCLUDE_CEF_PREFERENCE_H_
