// The three request contexts (game, web, local), the initial state applied
// to them, and the glue through which every service state reaches the
// network policy.
#include <cstdio>
#include <stdexcept>
#include <string>

#include "desktop/desktop.h"
#include "desktop/desktop_flow.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "desktop/local_handler.h"
#include "include/cef_request_context.h"
#include "include/cef_request_context_handler.h"
#include "include/cef_values.h"

namespace kesta::desktop {

namespace {

// The local context: in memory, and always direct, so the scheme handler's
// requests reach the service on loopback even when the browser is made to
// use a proxy.
class DirectContextHandler : public CefRequestContextHandler {
 public:
  void OnRequestContextInitialized(CefRefPtr<CefRequestContext> context) override {
    CefRefPtr<CefDictionaryValue> direct = CefDictionaryValue::Create();
    direct->SetString("mode", "direct");
    CefRefPtr<CefValue> value = CefValue::Create();
    value->SetDictionary(direct);
    CefString error;
    if (!context->SetPreference("proxy", value, error))
      throw std::runtime_error("Cannot configure direct loopback context: " + error.ToString());
  }

 private:
  IMPLEMENT_REFCOUNTING(DirectContextHandler);
};

// The web context: the policy reaches it only once CEF reports it ready.
class PolicyWebContextHandler : public CefRequestContextHandler {
 public:
  void OnRequestContextInitialized(CefRefPtr<CefRequestContext> context) override {
    if (!running.load())
      return;
    webContext = context;
    webContextReady = true;
    if (desiredProxyState)
      proxy(desiredProxyState);
  }

 private:
  IMPLEMENT_REFCOUNTING(PolicyWebContextHandler);
};

}  // namespace

void proxy(CefRefPtr<CefDictionaryValue> state) {
  desiredProxyState = state->Copy(false);
  CefRefPtr<CefRequestContext> web = webContextReady && webContext ? webContext : nullptr;
  networkPolicy.Apply(state, gameContext, web, token);
  revision = networkPolicy.confirmedActivation;

  // One line per new error; a recovery says nothing.
  const std::string error = networkPolicy.networkError;
  if (!error.empty() && error != proxyError) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::fflush(stderr);
  }
  proxyError = error;
}

}  // namespace kesta::desktop

using namespace kesta::desktop;

void DesktopContextInitialized() {
  gameContext = CefRequestContext::GetGlobalContext();

  CefRequestContextSettings localSettings;
  setLocalContext(CefRequestContext::CreateContext(localSettings, new DirectContextHandler()));

  CefRequestContextSettings webSettings;
  CefString(&webSettings.cache_path) = DesktopDataDir() + "\\browser\\web";
  webContext = CefRequestContext::CreateContext(webSettings, new PolicyWebContextHandler());

  // Start-up has checked that the initial answer parses and has a state.
  // The answer is kept while its state is used: a child dictionary lives
  // only as long as its parent.
  CefRefPtr<CefDictionaryValue> answer = parse(initialState);
  CefRefPtr<CefDictionaryValue> state = answer->GetDictionary("state");
  generation = state->GetString("generation").ToString();
  activation = number(state, "activation");
  proxy(state);
  updateResourceRoots(state);
  // No game browser and no scheme handler exist yet: nothing else reads the
  // launch gate or the generation, so no lock.
  resourceLaunch.Observe(generation, origin, state->GetBool("updateGate"));

  if (!gameContext->RegisterSchemeHandlerFactory("https", "", new LocalFactory()))
    throw std::runtime_error("Cannot register local HTTPS content handler");
}

bool DesktopProxyAuthentication(bool isProxy,
                                const CefString& host,
                                int port,
                                const CefString& scheme,
                                CefRefPtr<CefAuthCallback> callback) {
  return networkPolicy.Authenticate(isProxy, host.ToString(), port, scheme.ToString(), token, callback);
}
