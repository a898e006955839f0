// Request contexts for the policy tests, with the faults a browser's
// preference store can show. The Windows build uses the stand-in runtime's
// real contexts; the native build, which has no runtime, a small double.
#pragma once

#include <string>

#include "include/cef_request_context.h"

namespace policy_test {

// Starts whatever the contexts need (the runtime and its UI thread on
// Windows). Preferences are touched on the calling thread afterwards.
void SetUpContexts();
void TearDownContexts();

// A fresh context with the proxy and, when webrtc is true, both WebRTC
// preferences registered at their defaults.
CefRefPtr<CefRequestContext> NewContext(bool webrtc = true);

// The preference is not registered in this context.
void Unregister(CefRefPtr<CefRequestContext> context, const std::string& name);
// The preference exists but CanSetPreference answers false.
void MakeUnsettable(CefRefPtr<CefRequestContext> context, const std::string& name);
// SetPreference answers false with this error text (possibly empty).
void FailWrites(CefRefPtr<CefRequestContext> context, const std::string& name, const std::string& error);
// SetPreference answers true but the value does not stick.
void DropWrites(CefRefPtr<CefRequestContext> context, const std::string& name);
// Successful SetPreference calls so far.
int WriteCount(CefRefPtr<CefRequestContext> context, const std::string& name);

// Replaces the browser process's global command line, with or without the
// switch that turns QUIC off.
void SetGlobalSwitches(bool disableQuic);

}  // namespace policy_test
