#include "policy/browser_network_policy.h"

#include "include/cef_command_line.h"
#include "include/cef_parser.h"

namespace kesta {

namespace {

constexpr char kProxyPreference[] = "proxy";
constexpr char kIpHandlingPolicy[] = "webrtc.ip_handling_policy";
constexpr char kIpHandlingUrl[] = "webrtc.ip_handling_url";

// The text that identifies a proxy description in the unchanged-state check.
std::string Fingerprint(CefRefPtr<CefDictionaryValue> browserProxy, CefRefPtr<CefDictionaryValue> browserProxyAuth) {
  CefRefPtr<CefDictionaryValue> description = CefDictionaryValue::Create();
  if (browserProxy) {
    description->SetDictionary("proxy", browserProxy->Copy(false));
  }
  if (browserProxyAuth) {
    description->SetDictionary("auth", browserProxyAuth->Copy(false));
  }
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetDictionary(description);
  return CefWriteJSON(value, JSON_WRITER_DEFAULT).ToString();
}

std::string GetString(CefRefPtr<CefDictionaryValue> dictionary, const char* key) {
  return dictionary ? dictionary->GetString(key).ToString() : std::string();
}

bool IsLoopbackHost(const std::string& host) {
  return host == "::1" || host == "127.0.0.1";
}

// The only proxy description under enforcement that may get the credentials:
// a fixed HTTP proxy on a loopback address that the loopback traffic goes
// through too, named "kesta", and a token long enough to be a password.
bool IsValidLoopbackProxy(CefRefPtr<CefDictionaryValue> browserProxy,
                          CefRefPtr<CefDictionaryValue> browserProxyAuth,
                          const std::string& host,
                          int32_t port,
                          const std::string& token) {
  const std::string expectedServer =
      "http://" + (host == "::1" ? std::string("[::1]") : host) + ":" + std::to_string(port);
  return browserProxyAuth && GetString(browserProxyAuth, "username") == "kesta" && token.size() >= 32 &&
         IsLoopbackHost(host) && port >= 1 && port <= 65535 && browserProxy &&
         GetString(browserProxy, "mode") == "fixed_servers" && GetString(browserProxy, "server") == expectedServer &&
         GetString(browserProxy, "bypass_list") == "<-loopback>";
}

bool QuicDisabledAtStartup(bool startupNetworkEnforced) {
  if (!startupNetworkEnforced) {
    return false;
  }
  CefRefPtr<CefCommandLine> commandLine = CefCommandLine::GetGlobalCommandLine();
  return commandLine && commandLine->HasSwitch("disable-quic");
}

}  // namespace

void BrowserNetworkPolicy::Apply(CefRefPtr<CefDictionaryValue> state,
                                 CefRefPtr<CefRequestContext> gameContext,
                                 CefRefPtr<CefRequestContext> webContext,
                                 const std::string& token) {
  // Callers always hand a state; an absent one reads as a state without any
  // member, which fails below with a message instead of crashing the UI thread.
  if (!state) {
    state = CefDictionaryValue::Create();
  }
  const double activation = Number(state, "activation");
  const double revision = Number(state, "networkRevision");
  const bool enforced = state->GetBool("networkEnforced");
  const bool hasWeb = webContext != nullptr;
  CefRefPtr<CefDictionaryValue> browserProxy = state->GetDictionary("browserProxy");
  CefRefPtr<CefDictionaryValue> browserProxyAuth = state->GetDictionary("browserProxyAuth");
  const std::string fingerprint = Fingerprint(browserProxy, browserProxyAuth);

  // A heartbeat reply arrives every second and mostly repeats the last state.
  if (applied && networkError.empty() && activation == appliedActivation && revision == appliedRevision &&
      enforced == appliedEnforced && hasWeb == appliedWithWebContext && fingerprint == appliedFingerprint) {
    return;
  }

  if (enforced) {
    networkRestartRequired = restartNeededForEnforcement;
  } else {
    restartNeededForEnforcement = true;
    networkRestartRequired = false;
  }
  browserNetworkEnforced = false;
  contextsApplied.store(false);
  networkError.clear();

  std::string host;
  int32_t port = 0;
  bool valid = false;
  if (enforced) {
    if (browserProxyAuth) {
      host = GetString(browserProxyAuth, "host");
      port = browserProxyAuth->GetInt("port");
    }
    valid = IsValidLoopbackProxy(browserProxy, browserProxyAuth, host, port, token);
    if (!valid) {
      networkError = "Invalid authenticated loopback proxy configuration";
    }
  }

  {
    std::lock_guard<PlainMutex> lock(endpointMutex);
    endpoint.host = host;
    endpoint.port = port;
    endpoint.enabled = valid;
  }

  if (!browserProxy && networkError.empty()) {
    networkError = "Local service is missing browser proxy configuration";
  }

  const bool quicDisabled = QuicDisabledAtStartup(startupNetworkEnforced);
  if (enforced && !networkRestartRequired && !quicDisabled && networkError.empty()) {
    networkError = "Required QUIC startup restriction is unavailable";
  }

  bool ok = false;
  if (networkError.empty()) {
    ok = ApplyContext(gameContext, browserProxy, enforced, "Game");
    if (ok && hasWeb) {
      ok = ApplyContext(webContext, browserProxy, enforced, "Web window");
    }
  }

  browserNetworkEnforced = enforced && hasWeb && quicDisabled && ok && !networkRestartRequired;
  if (hasWeb && ok && (browserNetworkEnforced || !enforced)) {
    networkRevision = revision;
  }
  contextsApplied.store(ok);
  if (hasWeb && ok) {
    confirmedActivation = activation;
  }
  if (ok) {
    applied = true;
    appliedActivation = activation;
    appliedRevision = revision;
    appliedEnforced = enforced;
    appliedWithWebContext = hasWeb;
    appliedFingerprint = fingerprint;
  }
}

bool BrowserNetworkPolicy::ApplyContext(CefRefPtr<CefRequestContext> context,
                                        CefRefPtr<CefDictionaryValue> browserProxy,
                                        bool enforced,
                                        const std::string& label) {
  if (!context) {
    networkError = label + " request context is unavailable";
    return false;
  }
  // Apply only gets here with a proxy description. Without one nothing is
  // written: a null value would reset the proxy to the browser's default.
  if (!browserProxy) {
    networkError = label + " preference failed: " + kProxyPreference;
    return false;
  }

  CefRefPtr<CefValue> policy = CefValue::Create();
  policy->SetString(enforced ? "disable_non_proxied_udp" : "default");
  CefRefPtr<CefValue> urls = CefValue::Create();
  urls->SetList(CefListValue::Create());

  if (enforced) {
    if (!SetChecked(context, kIpHandlingPolicy, policy, label) || !SetChecked(context, kIpHandlingUrl, urls, label)) {
      return false;
    }
  } else if (context->HasPreference(kIpHandlingPolicy)) {
    // Without enforcement a context lacking WebRTC is left as it is.
    if (!SetChecked(context, kIpHandlingPolicy, policy, label)) {
      return false;
    }
    if (context->HasPreference(kIpHandlingUrl) && !SetChecked(context, kIpHandlingUrl, urls, label)) {
      return false;
    }
  }

  CefRefPtr<CefValue> proxy = CefValue::Create();
  proxy->SetDictionary(browserProxy->Copy(false));
  return SetChecked(context, kProxyPreference, proxy, label);
}

bool BrowserNetworkPolicy::SetChecked(CefRefPtr<CefRequestContext> context,
                                      const char* name,
                                      CefRefPtr<CefValue> value,
                                      const std::string& label) {
  if (!context->HasPreference(name)) {
    networkError = label + " preference is unsupported: " + name;
    return false;
  }
  CefRefPtr<CefValue> current = context->GetPreference(name);
  if (current && current->IsEqual(value)) {
    return true;
  }
  CefString error;
  if (!context->CanSetPreference(name) || !context->SetPreference(name, value, error)) {
    networkError = label + " preference failed: " + name;
    const std::string reason = error.ToString();
    if (!reason.empty()) {
      networkError += " (" + reason + ")";
    }
    return false;
  }
  CefRefPtr<CefValue> written = context->GetPreference(name);
  if (!written || !written->IsEqual(value)) {
    networkError = label + " preference was not applied: " + name;
    return false;
  }
  return true;
}

double BrowserNetworkPolicy::Number(CefRefPtr<CefDictionaryValue> dictionary, const char* key) {
  if (dictionary->GetType(key) == VTYPE_INT) {
    return static_cast<double>(dictionary->GetInt(key));
  }
  return dictionary->GetDouble(key);
}

void BrowserNetworkPolicy::WriteHeartbeat(CefRefPtr<CefDictionaryValue> heartbeat) const {
  if (!heartbeat) {
    return;
  }
  if (networkRevision >= 0) {
    heartbeat->SetDouble("networkRevision", networkRevision);
  }
  heartbeat->SetBool("networkRestartRequired", networkRestartRequired);
  heartbeat->SetBool("browserNetworkEnforced", browserNetworkEnforced);
  heartbeat->SetString("networkError", networkError);
}

}  // namespace kesta
