// Steps of the heartbeat and the context set-up that several desktop files
// share. UI thread unless noted.
#pragma once

#include "include/internal/cef_ptr.h"

class CefDictionaryValue;

namespace kesta::desktop {

// Applies a service state's network part to the request contexts and
// refreshes `revision` and `proxyError`.
void proxy(CefRefPtr<CefDictionaryValue> state);

// Builds the pool bindings of every generation the state lists for the first
// time. Takes browserMutex for its whole run.
void updateResourceRoots(CefRefPtr<CefDictionaryValue> state);

// Refreshes the update window from a service state. Takes browserMutex
// itself.
void receiveUpdates(CefRefPtr<CefDictionaryValue> state);

}  // namespace kesta::desktop
