// Request contexts, their preferences and scheme handler factories, and the
// test driver's preference faults, on one running runtime.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "core/message_loop.h"
#include "include/cef_request_context.h"
#include "include/cef_scheme.h"
#include "runtime/request_context_impl.h"
#include "testing/preferences.h"
#include "testing/runtime.h"

namespace {

using cef_testing::ContextSelector;

cef_testing::ScopedRuntime* g_runtime = nullptr;

class RuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { g_runtime = new cef_testing::ScopedRuntime(); }
  void TearDown() override {
    delete g_runtime;
    g_runtime = nullptr;
  }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new RuntimeEnvironment());

CefRefPtr<CefValue> Proxy(const char* mode) {
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  dict->SetString("mode", mode);
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetDictionary(dict);
  return value;
}

CefRefPtr<CefValue> String(const char* text) {
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetString(text);
  return value;
}

std::string Mode(CefRefPtr<CefValue> proxy) {
  return proxy && proxy->GetType() == VTYPE_DICTIONARY ? proxy->GetDictionary()->GetString("mode").ToString()
                                                       : "<none>";
}

class RecordingHandler : public CefRequestContextHandler {
 public:
  void OnRequestContextInitialized(CefRefPtr<CefRequestContext> context) override {
    ++calls;
    on_ui = CefCurrentlyOn(TID_UI);
    reported = context;
    if (write_direct_proxy) {
      CefString error;
      write_ok = context->SetPreference("proxy", Proxy("direct"), error);
      write_error = error.ToString();
    }
  }

  int calls = 0;
  bool on_ui = false;
  CefRefPtr<CefRequestContext> reported;
  bool write_direct_proxy = false;
  bool write_ok = false;
  std::string write_error;

  IMPLEMENT_REFCOUNTING(RecordingHandler);
};

class NullFactory : public CefSchemeHandlerFactory {
 public:
  CefRefPtr<CefResourceHandler> Create(CefRefPtr<CefBrowser>,
                                       CefRefPtr<CefFrame>,
                                       const CefString&,
                                       CefRefPtr<CefRequest>) override {
    return nullptr;
  }
  IMPLEMENT_REFCOUNTING(NullFactory);
};

CefRefPtr<CefRequestContext> Create(const std::string& cache_path, CefRefPtr<RecordingHandler> handler = nullptr) {
  CefRequestContextSettings settings;
  CefString(&settings.cache_path) = cache_path;
  CefRefPtr<CefRequestContext> context = CefRequestContext::CreateContext(settings, handler);
  if (handler) {
    cef_testing::RunUntil([&] { return handler->calls > 0; });
  }
  return context;
}

TEST(RequestContext, RuntimeStarted) {
  ASSERT_TRUE(g_runtime->initialized()) << "exit code " << g_runtime->exit_code();
}

TEST(RequestContext, InitialisationIsReportedLaterOnTheUIThread) {
  CefRefPtr<RecordingHandler> handler = new RecordingHandler();
  CefRequestContextSettings settings;
  CefRefPtr<CefRequestContext> context = CefRequestContext::CreateContext(settings, handler);
  ASSERT_TRUE(context);
  EXPECT_EQ(0, handler->calls);
  EXPECT_TRUE(context->GetHandler() == handler);
  ASSERT_TRUE(cef_testing::RunUntil([&] { return handler->calls > 0; }));
  cef_testing::RunPending();
  EXPECT_EQ(1, handler->calls);
  EXPECT_TRUE(handler->on_ui);
  EXPECT_TRUE(handler->reported == context);
}

TEST(RequestContext, IdentityFollowsStorage) {
  CefRefPtr<CefRequestContext> global = CefRequestContext::GetGlobalContext();
  ASSERT_TRUE(global);
  EXPECT_TRUE(global->IsGlobal());
  EXPECT_EQ(g_runtime->cache_path(), global->GetCachePath().ToString());
  EXPECT_TRUE(global->IsSame(CefRequestContext::GetGlobalContext()));
  EXPECT_FALSE(global->IsSame(nullptr));

  // The global cache path again: the global profile, shared.
  CefRefPtr<CefRequestContext> same_path = Create(g_runtime->cache_path());
  EXPECT_FALSE(same_path->IsGlobal());
  EXPECT_TRUE(same_path->IsSame(global));
  EXPECT_TRUE(global->IsSharingWith(same_path));

  // A cache of its own ("/" separators and ".." are normalised).
  CefRefPtr<CefRequestContext> web = Create(g_runtime->root_cache_path() + "/web/../web");
  EXPECT_EQ(g_runtime->root_cache_path() + "\\web", web->GetCachePath().ToString());
  EXPECT_TRUE(std::filesystem::is_directory(g_runtime->root_cache_path() + "\\web"));
  EXPECT_FALSE(web->IsSame(global));

  // In memory: every one is separate.
  CefRefPtr<CefRequestContext> memory_a = Create("");
  CefRefPtr<CefRequestContext> memory_b = Create("");
  EXPECT_TRUE(memory_a->GetCachePath().empty());
  EXPECT_FALSE(memory_a->IsSame(memory_b));

  // A path outside the root gives an in-memory context, as CEF does.
  CefRefPtr<CefRequestContext> outside = Create(g_runtime->root_cache_path() + "\\..\\elsewhere");
  ASSERT_TRUE(outside);
  EXPECT_TRUE(outside->GetCachePath().empty());

  // Made from another: shares its storage, has its own handler.
  CefRefPtr<RecordingHandler> handler = new RecordingHandler();
  CefRefPtr<CefRequestContext> derived = CefRequestContext::CreateContext(web, handler);
  EXPECT_TRUE(derived->IsSharingWith(web));
  EXPECT_TRUE(derived->GetHandler() == handler);
  EXPECT_TRUE(cef_testing::RunUntil([&] { return handler->calls == 1; }));
}

TEST(RequestContextPreferences, BuiltInPreferencesAndTheirDefaults) {
  CefRefPtr<CefRequestContext> context = Create("");
  for (const char* name : {"proxy", "webrtc.ip_handling_policy", "webrtc.ip_handling_url"}) {
    EXPECT_TRUE(context->HasPreference(name)) << name;
    EXPECT_TRUE(context->CanSetPreference(name)) << name;
  }
  CefRefPtr<CefValue> proxy = context->GetPreference("proxy");
  ASSERT_TRUE(proxy);
  ASSERT_EQ(VTYPE_DICTIONARY, proxy->GetType());
  EXPECT_EQ(1u, proxy->GetDictionary()->GetSize());
  EXPECT_EQ("system", Mode(proxy));
  EXPECT_EQ("default", context->GetPreference("webrtc.ip_handling_policy")->GetString().ToString());
  CefRefPtr<CefValue> urls = context->GetPreference("webrtc.ip_handling_url");
  ASSERT_EQ(VTYPE_LIST, urls->GetType());
  EXPECT_EQ(0u, urls->GetList()->GetSize());
  EXPECT_FALSE(context->HasPreference("no.such.preference"));
  EXPECT_FALSE(context->GetPreference("no.such.preference"));
}

TEST(RequestContextPreferences, WritesAreTypeCheckedAndReadBack) {
  CefRefPtr<CefRequestContext> context = Create("");
  CefString error;
  EXPECT_FALSE(context->SetPreference("proxy", String("direct"), error));
  EXPECT_EQ("Trying to set a preference of type DICTIONARY to value of type STRING", error.ToString());
  EXPECT_FALSE(context->SetPreference("webrtc.ip_handling_url", String(""), error));
  EXPECT_EQ("Trying to set a preference of type LIST to value of type STRING", error.ToString());
  EXPECT_FALSE(context->SetPreference("webrtc.ip_handling_policy", Proxy("x"), error));
  EXPECT_EQ("Trying to set a preference of type STRING to value of type DICTIONARY", error.ToString());
  EXPECT_FALSE(context->SetPreference("no.such.preference", String("x"), error));
  EXPECT_EQ("Trying to modify an unregistered preference", error.ToString());

  ASSERT_TRUE(context->SetPreference("proxy", Proxy("direct"), error));
  EXPECT_EQ("direct", Mode(context->GetPreference("proxy")));
  // Null restores the default.
  ASSERT_TRUE(context->SetPreference("proxy", nullptr, error));
  EXPECT_EQ("system", Mode(context->GetPreference("proxy")));
}

TEST(RequestContextPreferences, SharedStorageSharesPreferences) {
  CefRefPtr<CefRequestContext> web = Create(g_runtime->root_cache_path() + "\\shared");
  CefRefPtr<CefRequestContext> again = Create(g_runtime->root_cache_path() + "\\SHARED");
  CefRefPtr<CefRequestContext> other = Create("");
  CefString error;
  ASSERT_TRUE(web->SetPreference("proxy", Proxy("fixed_servers"), error));
  EXPECT_EQ("fixed_servers", Mode(again->GetPreference("proxy")));
  EXPECT_EQ("system", Mode(other->GetPreference("proxy")));
}

TEST(RequestContextPreferences, IOThreadSeesCopiesAndUIThreadOnlyWrites) {
  CefRefPtr<CefRequestContext> context = Create("");
  CefString error;
  ASSERT_TRUE(context->SetPreference("proxy", Proxy("fixed_servers"), error));
  CefRefPtr<cef_internal::CefRequestContextImpl> impl = cef_internal::CefRequestContextImpl::From(context);

  std::atomic<bool> done{false};
  std::string io_mode;
  bool io_has = true;
  bool io_set = true;
  std::string io_error;
  cef_internal::PostFunction(TID_IO, [&] {
    CefRefPtr<CefDictionaryValue> proxy = impl->ProxySettings();
    io_mode = proxy->GetString("mode").ToString();
    proxy->SetString("mode", "direct");  // a copy: changes nothing
    io_has = context->HasPreference("proxy");
    CefString set_error;
    io_set = context->SetPreference("proxy", Proxy("direct"), set_error);
    io_error = set_error.ToString();
    done = true;
  });
  ASSERT_TRUE(cef_testing::RunUntil([&] { return done.load(); }));
  EXPECT_EQ("fixed_servers", io_mode);
  EXPECT_FALSE(io_has);
  EXPECT_FALSE(io_set);
  EXPECT_FALSE(io_error.empty());
  EXPECT_EQ("fixed_servers", Mode(context->GetPreference("proxy")));
}

TEST(RequestContextPreferences, ObserversHearChangesUntilReleased) {
  class Observer : public CefPreferenceObserver {
   public:
    void OnPreferenceChanged(const CefString& name) override { names.push_back(name.ToString()); }
    std::vector<std::string> names;
    IMPLEMENT_REFCOUNTING(Observer);
  };
  CefRefPtr<CefRequestContext> context = Create("");
  CefRefPtr<Observer> observer = new Observer();
  CefRefPtr<CefRegistration> registration = context->AddPreferenceObserver("proxy", observer);
  ASSERT_TRUE(registration);
  CefString error;
  context->SetPreference("proxy", Proxy("direct"), error);
  context->SetPreference("proxy", Proxy("direct"), error);  // unchanged: no report
  context->SetPreference("webrtc.ip_handling_policy", String("default_public_interface_only"), error);
  registration = nullptr;
  context->SetPreference("proxy", Proxy("system"), error);
  EXPECT_EQ(std::vector<std::string>{"proxy"}, observer->names);
}

TEST(RequestContextFactories, LookupPrefersTheHostThenAnyHost) {
  CefRefPtr<CefRequestContext> context = Create(g_runtime->root_cache_path() + "\\factories");
  CefRefPtr<cef_internal::CefRequestContextImpl> impl = cef_internal::CefRequestContextImpl::From(context);
  CefRefPtr<CefSchemeHandlerFactory> any = new NullFactory();
  CefRefPtr<CefSchemeHandlerFactory> game = new NullFactory();
  EXPECT_TRUE(context->RegisterSchemeHandlerFactory("HTTPS", "", any));
  EXPECT_TRUE(context->RegisterSchemeHandlerFactory("https", "Game.Local", game));
  EXPECT_FALSE(context->RegisterSchemeHandlerFactory("", "", any));

  EXPECT_TRUE(impl->FindSchemeHandlerFactory("https", "game.local") == game);
  EXPECT_TRUE(impl->FindSchemeHandlerFactory("HTTPS", "GAME.LOCAL") == game);
  EXPECT_TRUE(impl->FindSchemeHandlerFactory("https", "example.com") == any);
  EXPECT_FALSE(impl->FindSchemeHandlerFactory("http", "game.local"));

  // A context sharing the storage sees the same factories.
  CefRefPtr<CefRequestContext> sharing = CefRequestContext::CreateContext(context, nullptr);
  EXPECT_TRUE(cef_internal::CefRequestContextImpl::From(sharing)->FindSchemeHandlerFactory("https", "game.local") ==
              game);

  // A null factory removes one registration; Clear removes them all.
  EXPECT_TRUE(context->RegisterSchemeHandlerFactory("https", "game.local", nullptr));
  EXPECT_TRUE(impl->FindSchemeHandlerFactory("https", "game.local") == any);
  EXPECT_TRUE(context->ClearSchemeHandlerFactories());
  EXPECT_FALSE(impl->FindSchemeHandlerFactory("https", "example.com"));
  EXPECT_TRUE(any->HasOneRef());
  EXPECT_TRUE(game->HasOneRef());
}

TEST(RequestContextFactories, GlobalRegistrationGoesToTheGlobalContext) {
  CefRefPtr<CefSchemeHandlerFactory> factory = new NullFactory();
  ASSERT_TRUE(CefRegisterSchemeHandlerFactory("kesta", "", factory));
  EXPECT_TRUE(cef_internal::CefRequestContextImpl::From(nullptr)->FindSchemeHandlerFactory("kesta", "anything") ==
              factory);
  EXPECT_TRUE(CefClearSchemeHandlerFactories());
  EXPECT_FALSE(cef_internal::CefRequestContextImpl::From(nullptr)->FindSchemeHandlerFactory("kesta", "anything"));
}

TEST(PreferenceFaults, PerContextFaults) {
  CefRefPtr<CefRequestContext> context = Create("");
  CefRefPtr<CefRequestContext> bystander = Create("");
  CefString error;

  cef_testing::FailPreferenceWrites(context, "proxy", "refused by test");
  EXPECT_TRUE(context->CanSetPreference("proxy"));
  EXPECT_FALSE(context->SetPreference("proxy", Proxy("direct"), error));
  EXPECT_EQ("refused by test", error.ToString());
  EXPECT_TRUE(bystander->SetPreference("proxy", Proxy("direct"), error));

  cef_testing::ClearPreferenceFaults(context, "proxy");
  cef_testing::DropPreferenceWrites(context, "proxy");
  EXPECT_TRUE(context->SetPreference("proxy", Proxy("direct"), error));
  EXPECT_EQ("system", Mode(context->GetPreference("proxy")));
  EXPECT_EQ(1, cef_testing::PreferenceWriteCount(context, "proxy"));

  cef_testing::MakePreferenceUnsettable(context, "webrtc.ip_handling_policy");
  EXPECT_FALSE(context->CanSetPreference("webrtc.ip_handling_policy"));
  EXPECT_TRUE(context->HasPreference("webrtc.ip_handling_policy"));

  cef_testing::UnregisterPreference(context, "webrtc.ip_handling_url");
  EXPECT_FALSE(context->HasPreference("webrtc.ip_handling_url"));
  EXPECT_FALSE(context->SetPreference("webrtc.ip_handling_url", nullptr, error));
  EXPECT_EQ("Trying to modify an unregistered preference", error.ToString());
  EXPECT_TRUE(bystander->HasPreference("webrtc.ip_handling_url"));
}

TEST(PreferenceFaults, CachePathFaultsReachContextsBeforeTheyAreReported) {
  // The context's first write happens in OnRequestContextInitialized.
  cef_testing::FailPreferenceWrites(ContextSelector::CachePath(""), "proxy", "no direct for you");
  CefRefPtr<RecordingHandler> handler = new RecordingHandler();
  handler->write_direct_proxy = true;
  CefRefPtr<CefRequestContext> memory = Create("", handler);
  EXPECT_FALSE(handler->write_ok);
  EXPECT_EQ("no direct for you", handler->write_error);

  // Contexts with a cache path are not touched by an in-memory selector.
  CefRefPtr<RecordingHandler> disk_handler = new RecordingHandler();
  disk_handler->write_direct_proxy = true;
  Create(g_runtime->root_cache_path() + "\\disk", disk_handler);
  EXPECT_TRUE(disk_handler->write_ok);
  cef_testing::ResetPreferenceFaults();

  cef_testing::UnregisterPreference(ContextSelector::CachePath(g_runtime->root_cache_path() + "/later"),
                                    "webrtc.ip_handling_policy");
  CefRefPtr<CefRequestContext> later = Create(g_runtime->root_cache_path() + "\\later");
  EXPECT_FALSE(later->HasPreference("webrtc.ip_handling_policy"));
  EXPECT_TRUE(later->HasPreference("proxy"));
  cef_testing::ResetPreferenceFaults();
}

}  // namespace
