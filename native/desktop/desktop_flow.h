// Steps of the heartbeat and the context set-up that several desktop files
// share. UI thread unless noted.
#pragma once

#include <string>

#include "include/internal/cef_ptr.h"

class CefDictionaryValue;
class SimpleHandler;

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

// The body of one heartbeat exchange (request thread).
void heartbeatRequest(std::string heartbeat, CefRefPtr<SimpleHandler> handler, bool needLaunch);

}  // namespace kesta::desktop
