// The runtime's own request contexts, with faults injected by the test
// driver. The runtime runs for the whole test program; this thread is its UI
// thread, where preferences are read and written.
#include <memory>

#include "include/cef_request_context.h"
#include "test_contexts.h"
#include "testing/preferences.h"
#include "testing/runtime.h"

namespace policy_test {

namespace {

std::unique_ptr<cef_testing::ScopedRuntime> runtime;

}  // namespace

void SetUpContexts() {
  cef_testing::ScopedRuntime::Options options;
  options.in_memory = true;
  runtime = std::make_unique<cef_testing::ScopedRuntime>(options);
}

void TearDownContexts() {
  runtime.reset();
}

CefRefPtr<CefRequestContext> NewContext(bool webrtc) {
  CefRequestContextSettings settings;
  CefRefPtr<CefRequestContext> context = CefRequestContext::CreateContext(settings, nullptr);
  if (!webrtc) {
    Unregister(context, "webrtc.ip_handling_policy");
    Unregister(context, "webrtc.ip_handling_url");
  }
  return context;
}

void Unregister(CefRefPtr<CefRequestContext> context, const std::string& name) {
  cef_testing::UnregisterPreference(context, name);
}

void MakeUnsettable(CefRefPtr<CefRequestContext> context, const std::string& name) {
  cef_testing::MakePreferenceUnsettable(context, name);
}

void FailWrites(CefRefPtr<CefRequestContext> context, const std::string& name, const std::string& error) {
  cef_testing::FailPreferenceWrites(context, name, error);
}

void DropWrites(CefRefPtr<CefRequestContext> context, const std::string& name) {
  cef_testing::DropPreferenceWrites(context, name);
}

int WriteCount(CefRefPtr<CefRequestContext> context, const std::string& name) {
  return cef_testing::PreferenceWriteCount(context, name);
}

}  // namespace policy_test
