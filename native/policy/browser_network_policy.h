// The network part of the local service's state, applied to the browser:
// validates the authenticated loopback proxy, publishes the endpoint that may
// receive the client's credentials, writes and verifies the proxy and WebRTC
// preferences of the game and web request contexts, and keeps the outcome
// for the heartbeat.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "include/cef_auth_callback.h"
#include "include/cef_request_context.h"
#include "include/cef_values.h"
#include "policy/plain_mutex.h"
#include "policy/proxy_auth_endpoint.h"

namespace kesta {

// Plain structure, constant-initialised so the process-wide instance holds its
// initial values before any code runs. Everything except Authenticate runs on
// CEF's UI thread, where preferences must be read and written.
struct BrowserNetworkPolicy {
  // Applies the service state to the game context and, once it is ready, the
  // web context (null before). Only the token's length is used here. The
  // outcome is left in the fields below.
  void Apply(CefRefPtr<CefDictionaryValue> state,
             CefRefPtr<CefRequestContext> gameContext,
             CefRefPtr<CefRequestContext> webContext,
             const std::string& token);

  // Writes the WebRTC and proxy preferences of one context; label ("Game" or
  // "Web window") names it in the error text. True when every preference
  // holds its value.
  bool ApplyContext(CefRefPtr<CefRequestContext> context,
                    CefRefPtr<CefDictionaryValue> browserProxy,
                    bool enforced,
                    const std::string& label);

  // Writes one preference unless it already holds the value, then reads it
  // back. On failure the reason is left in networkError.
  bool SetChecked(CefRefPtr<CefRequestContext> context,
                  const char* name,
                  CefRefPtr<CefValue> value,
                  const std::string& label);

  // A JSON number as double, whether it was parsed as an integer or not;
  // 0 when missing.
  static double Number(CefRefPtr<CefDictionaryValue> dictionary, const char* key);

  // Adds "networkRevision" (once one is in force), "networkRestartRequired",
  // "browserNetworkEnforced" and "networkError" to a heartbeat.
  void WriteHeartbeat(CefRefPtr<CefDictionaryValue> heartbeat) const;

  // IO thread. Answers a proxy challenge from the published endpoint with the
  // user name "kesta" and the token; declines every other challenge without
  // touching the callback. True when the credentials went to the callback.
  bool Authenticate(bool isProxy,
                    const std::string& host,
                    int32_t port,
                    const std::string& scheme,
                    const std::string& token,
                    CefRefPtr<CefAuthCallback> callback);

  // Set before CEF starts from the initial state: QUIC can only be switched
  // off at start-up, so enforcing later needs a restart.
  bool startupNetworkEnforced = false;

  // Snapshot of the last successful Apply, for the unchanged-state check.
  bool applied = false;
  bool appliedEnforced = false;
  bool appliedWithWebContext = false;
  double appliedActivation = -1;
  double appliedRevision = -1;

  // "activation" of the last Apply that succeeded with the web context.
  double confirmedActivation = -1;

  // Never set back to false once the process has run without enforcement.
  bool restartNeededForEnforcement = true;

  // Heartbeat fields.
  bool networkRestartRequired = false;
  bool browserNetworkEnforced = false;
  double networkRevision = -1;
  std::string networkError;

  std::string appliedFingerprint;

  // Guards endpoint between Apply (UI thread) and Authenticate (IO thread).
  // Held only while the three fields are copied or compared.
  PlainMutex endpointMutex;
  ProxyAuthEndpoint endpoint;

  // Every context present at the last Apply carries the policy. Read on the
  // IO thread by the request access rules.
  std::atomic<bool> contextsApplied = false;
};

}  // namespace kesta
