#include "runtime/request_context_impl.h"

#include <algorithm>
#include <atomic>

#include "include/base/cef_logging.h"
#include "include/cef_task.h"
#include "runtime/paths.h"
#include "runtime/runtime_state.h"

namespace cef_internal {

namespace {

// Guards the registry below.
std::mutex g_registry_mutex;
// Storages by key; weak so that a storage lives exactly as long as a
// context (or the runtime) uses it.
std::map<std::string, std::weak_ptr<ContextStorage>> g_storages;
std::function<void(ContextStorage&)> g_storage_created;
CefRefPtr<CefRequestContextImpl> g_global;
std::shared_ptr<ContextStorage> g_global_storage;
int g_memory_storages = 0;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
  return text;
}

// Chromium's built-in profile preferences that the client writes.
void RegisterBuiltInPreferences(PreferenceStore& store) {
  // Chromium's default: use the system's proxy settings (for this
  // runtime, which reads no system settings, a direct connection).
  CefRefPtr<CefDictionaryValue> system = CefDictionaryValue::Create();
  system->SetString("mode", "system");
  CefRefPtr<CefValue> proxy = CefValue::Create();
  proxy->SetDictionary(system);
  store.Register("proxy", proxy);

  CefRefPtr<CefValue> policy = CefValue::Create();
  policy->SetString("default");
  store.Register("webrtc.ip_handling_policy", policy);

  CefRefPtr<CefValue> urls = CefValue::Create();
  urls->SetList(CefListValue::Create());
  store.Register("webrtc.ip_handling_url", urls);
}

// Hands OnRegisterCustomPreferences a registrar for one storage.
class Registrar : public CefPreferenceRegistrar {
 public:
  explicit Registrar(PreferenceStore& store) : store_(store) {}
  bool AddPreference(const CefString& name, CefRefPtr<CefValue> default_value) override {
    return store_.Register(name.ToString(), default_value);
  }

 private:
  PreferenceStore& store_;
};

void RegisterCustomPreferences(PreferenceStore& store) {
  CefRefPtr<CefBrowserProcessHandler> handler = GetBrowserProcessHandler();
  if (handler) {
    Registrar registrar(store);
    handler->OnRegisterCustomPreferences(CEF_PREFERENCES_TYPE_REQUEST_CONTEXT, &registrar);
  }
}

// Reports a new context to its handler on the UI thread.
class InitializedTask : public CefTask {
 public:
  InitializedTask(CefRefPtr<CefRequestContextImpl> context, bool register_custom)
      : context_(context), register_custom_(register_custom) {}
  void Execute() override {
    if (!IsRuntimeRunning()) {
      return;
    }
    if (register_custom_) {
      RegisterCustomPreferences(context_->storage().preferences);
    }
    CefRefPtr<CefRequestContextHandler> handler = context_->GetHandler();
    if (handler) {
      handler->OnRequestContextInitialized(context_.get());
    }
  }

 private:
  CefRefPtr<CefRequestContextImpl> context_;
  const bool register_custom_;
  IMPLEMENT_REFCOUNTING(InitializedTask);
};

class ObserverRegistration : public CefRegistration {
 public:
  ObserverRegistration(std::weak_ptr<ContextStorage> storage, int id) : storage_(storage), id_(id) {}
  ~ObserverRegistration() override {
    std::shared_ptr<ContextStorage> storage = storage_.lock();
    if (!storage) {
      return;
    }
    std::lock_guard<std::mutex> lock(storage->observers_mutex);
    auto& list = storage->observers;
    list.erase(
        std::remove_if(list.begin(), list.end(), [this](const ContextStorage::Observer& o) { return o.id == id_; }),
        list.end());
  }

 private:
  std::weak_ptr<ContextStorage> storage_;
  const int id_;
  IMPLEMENT_REFCOUNTING(ObserverRegistration);
};

CefRefPtr<CefRequestContext> MakeContext(std::shared_ptr<ContextStorage> storage,
                                         bool created,
                                         CefRefPtr<CefRequestContextHandler> handler) {
  CefRefPtr<CefRequestContextImpl> context = new CefRequestContextImpl(storage, false, handler);
  // Custom preferences are registered once per new storage, on the UI
  // thread; the handler always hears about the context later, from the
  // message loop, as CEF reports it.
  bool register_now = created && CefCurrentlyOn(TID_UI);
  if (register_now) {
    RegisterCustomPreferences(storage->preferences);
  }
  CefPostTask(TID_UI, new InitializedTask(context, created && !register_now));
  return context.get();
}

}  // namespace

bool ResolveContextCachePath(const std::string& cache_path, const std::string& root, std::string* normalized) {
  normalized->clear();
  if (cache_path.empty()) {
    return true;
  }
  std::string path = NormalizePath(cache_path);
  if (path.empty() || root.empty() || !IsSameOrChildPath(path, root)) {
    return false;
  }
  *normalized = path;
  return true;
}

// static
std::shared_ptr<ContextStorage> CefRequestContextImpl::GetOrCreateStorage(const std::string& cache_path,
                                                                          bool* created) {
  std::unique_lock<std::mutex> lock(g_registry_mutex);
  std::string key = cache_path.empty() ? "memory:" + std::to_string(++g_memory_storages) : Lower(cache_path);
  auto it = g_storages.find(key);
  if (it != g_storages.end()) {
    if (std::shared_ptr<ContextStorage> existing = it->second.lock()) {
      *created = false;
      return existing;
    }
  }
  auto storage = std::make_shared<ContextStorage>();
  storage->key = key;
  storage->cache_path = cache_path;
  RegisterBuiltInPreferences(storage->preferences);
  g_storages[key] = storage;
  // Drop registry entries of storages that are gone.
  for (auto i = g_storages.begin(); i != g_storages.end();) {
    i = i->second.expired() ? g_storages.erase(i) : std::next(i);
  }
  std::function<void(ContextStorage&)> callback = g_storage_created;
  lock.unlock();
  if (callback) {
    callback(*storage);
  }
  *created = true;
  return storage;
}

// static
void CefRequestContextImpl::CreateGlobal(const std::string& cache_path) {
  bool created = false;
  std::shared_ptr<ContextStorage> storage = GetOrCreateStorage(cache_path, &created);
  CefRefPtr<CefBrowserProcessHandler> process_handler = GetBrowserProcessHandler();
  CefRefPtr<CefRequestContextHandler> handler =
      process_handler ? process_handler->GetDefaultRequestContextHandler() : nullptr;
  CefRefPtr<CefRequestContextImpl> global = new CefRequestContextImpl(storage, true, handler);
  RegisterCustomPreferences(storage->preferences);
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  g_global = global;
  g_global_storage = storage;
}

// static
void CefRequestContextImpl::DestroyAll() {
  CefRefPtr<CefRequestContextImpl> global;
  std::shared_ptr<ContextStorage> global_storage;
  std::vector<std::shared_ptr<ContextStorage>> storages = LiveStorages();
  {
    std::lock_guard<std::mutex> lock(g_registry_mutex);
    global.swap(g_global);
    global_storage.swap(g_global_storage);
  }
  // Factories and observers are the application's objects, which may hold
  // contexts in turn: drop them all so that nothing outlives the runtime.
  for (const auto& storage : storages) {
    std::map<std::pair<std::string, std::string>, CefRefPtr<CefSchemeHandlerFactory>> factories;
    std::vector<ContextStorage::Observer> observers;
    {
      std::lock_guard<std::mutex> lock(storage->factories_mutex);
      factories.swap(storage->factories);
    }
    {
      std::lock_guard<std::mutex> lock(storage->observers_mutex);
      observers.swap(storage->observers);
    }
  }
}

// static
std::vector<std::shared_ptr<ContextStorage>> CefRequestContextImpl::LiveStorages() {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  std::vector<std::shared_ptr<ContextStorage>> out;
  for (const auto& [key, weak] : g_storages) {
    if (std::shared_ptr<ContextStorage> storage = weak.lock()) {
      out.push_back(storage);
    }
  }
  return out;
}

// static
void CefRequestContextImpl::SetStorageCreatedCallback(std::function<void(ContextStorage&)> callback) {
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  g_storage_created = std::move(callback);
}

// static
CefRefPtr<CefRequestContextImpl> CefRequestContextImpl::From(CefRefPtr<CefRequestContext> context) {
  if (!context) {
    std::lock_guard<std::mutex> lock(g_registry_mutex);
    return g_global;
  }
  // Every CefRequestContext in this process is one of ours.
  return static_cast<CefRequestContextImpl*>(context.get());
}

CefRequestContextImpl::CefRequestContextImpl(std::shared_ptr<ContextStorage> storage,
                                             bool global,
                                             CefRefPtr<CefRequestContextHandler> handler)
    : storage_(std::move(storage)), global_(global), handler_(handler) {}

CefRequestContextImpl::~CefRequestContextImpl() = default;

CefRefPtr<CefDictionaryValue> CefRequestContextImpl::ProxySettings() {
  CefRefPtr<CefValue> value = storage_->preferences.Get("proxy");
  if (value && value->GetType() == VTYPE_DICTIONARY) {
    return value->GetDictionary();
  }
  return CefDictionaryValue::Create();
}

CefRefPtr<CefSchemeHandlerFactory> CefRequestContextImpl::FindSchemeHandlerFactory(const std::string& scheme,
                                                                                   const std::string& host) {
  std::lock_guard<std::mutex> lock(storage_->factories_mutex);
  const std::string s = Lower(scheme);
  auto it = storage_->factories.find({s, Lower(host)});
  if (it == storage_->factories.end()) {
    it = storage_->factories.find({s, std::string()});
  }
  return it == storage_->factories.end() ? nullptr : it->second;
}

namespace {

// Preference access belongs to the UI thread, as in CEF.
bool VerifyPreferenceThread(const char* method) {
  if (CefCurrentlyOn(TID_UI)) {
    return true;
  }
  LOG(ERROR) << "CefPreferenceManager::" << method << " called on invalid thread";
  return false;
}

}  // namespace

bool CefRequestContextImpl::HasPreference(const CefString& name) {
  return VerifyPreferenceThread("HasPreference") && storage_->preferences.Has(name.ToString());
}

CefRefPtr<CefValue> CefRequestContextImpl::GetPreference(const CefString& name) {
  if (!VerifyPreferenceThread("GetPreference")) {
    return nullptr;
  }
  return storage_->preferences.Get(name.ToString());
}

CefRefPtr<CefDictionaryValue> CefRequestContextImpl::GetAllPreferences(bool include_defaults) {
  if (!VerifyPreferenceThread("GetAllPreferences")) {
    return nullptr;
  }
  return storage_->preferences.GetAll(include_defaults);
}

bool CefRequestContextImpl::CanSetPreference(const CefString& name) {
  return VerifyPreferenceThread("CanSetPreference") && storage_->preferences.CanSet(name.ToString());
}

bool CefRequestContextImpl::SetPreference(const CefString& name, CefRefPtr<CefValue> value, CefString& error) {
  if (!VerifyPreferenceThread("SetPreference")) {
    error = "Called on invalid thread";
    return false;
  }
  const std::string key = name.ToString();
  CefRefPtr<CefValue> before = storage_->preferences.Get(key);
  std::string message;
  if (!storage_->preferences.Set(key, value, message)) {
    error = message;
    return false;
  }
  CefRefPtr<CefValue> after = storage_->preferences.Get(key);
  if (before && after && before->IsEqual(after)) {
    return true;
  }
  std::vector<CefRefPtr<CefPreferenceObserver>> to_notify;
  {
    std::lock_guard<std::mutex> lock(storage_->observers_mutex);
    for (const auto& o : storage_->observers) {
      if (o.name.empty() || o.name == key) {
        to_notify.push_back(o.observer);
      }
    }
  }
  for (const auto& observer : to_notify) {
    observer->OnPreferenceChanged(name);
  }
  return true;
}

CefRefPtr<CefRegistration> CefRequestContextImpl::AddPreferenceObserver(const CefString& name,
                                                                        CefRefPtr<CefPreferenceObserver> observer) {
  if (!observer || !VerifyPreferenceThread("AddPreferenceObserver")) {
    return nullptr;
  }
  static std::atomic<int> next_id{0};
  int id = ++next_id;
  {
    std::lock_guard<std::mutex> lock(storage_->observers_mutex);
    storage_->observers.push_back({id, name.ToString(), observer});
  }
  return new ObserverRegistration(storage_, id);
}

bool CefRequestContextImpl::IsSame(CefRefPtr<CefRequestContext> other) {
  if (!other) {
    return false;
  }
  CefRefPtr<CefRequestContextImpl> impl = From(other);
  return impl && impl->storage_ == storage_;
}

bool CefRequestContextImpl::IsSharingWith(CefRefPtr<CefRequestContext> other) {
  return IsSame(other);
}

bool CefRequestContextImpl::IsGlobal() {
  return global_;
}

CefRefPtr<CefRequestContextHandler> CefRequestContextImpl::GetHandler() {
  return handler_;
}

CefString CefRequestContextImpl::GetCachePath() {
  return CefString(storage_->cache_path);
}

namespace {
std::atomic<bool> g_refuse_scheme_factories{false};
}  // namespace

void CefRequestContextImpl::RefuseSchemeHandlerFactories() {
  g_refuse_scheme_factories = true;
}

bool CefRequestContextImpl::RegisterSchemeHandlerFactory(const CefString& scheme_name,
                                                         const CefString& domain_name,
                                                         CefRefPtr<CefSchemeHandlerFactory> factory) {
  const std::string scheme = Lower(scheme_name.ToString());
  if (scheme.empty() || IsRuntimeShuttingDown() || g_refuse_scheme_factories.load()) {
    return false;
  }
  const std::pair<std::string, std::string> key{scheme, Lower(domain_name.ToString())};
  CefRefPtr<CefSchemeHandlerFactory> replaced;
  std::lock_guard<std::mutex> lock(storage_->factories_mutex);
  auto it = storage_->factories.find(key);
  if (it != storage_->factories.end()) {
    replaced = it->second;  // released after the lock
    storage_->factories.erase(it);
  }
  if (factory) {
    storage_->factories[key] = factory;
  }
  return true;
}

bool CefRequestContextImpl::ClearSchemeHandlerFactories() {
  std::map<std::pair<std::string, std::string>, CefRefPtr<CefSchemeHandlerFactory>> old;
  std::lock_guard<std::mutex> lock(storage_->factories_mutex);
  old.swap(storage_->factories);
  return true;
}

}  // namespace cef_internal

// Public entry points.

// static
CefRefPtr<CefRequestContext> CefRequestContext::GetGlobalContext() {
  return cef_internal::CefRequestContextImpl::From(nullptr).get();
}

// static
CefRefPtr<CefRequestContext> CefRequestContext::CreateContext(const CefRequestContextSettings& settings,
                                                              CefRefPtr<CefRequestContextHandler> handler) {
  using namespace cef_internal;
  if (!IsRuntimeRunning()) {
    LOG(ERROR) << "CefRequestContext::CreateContext called while the runtime is not running";
    return nullptr;
  }
  std::string requested = CefString(&settings.cache_path).ToString();
  std::string path;
  if (!ResolveContextCachePath(requested, GetRootCachePath(), &path)) {
    // As CEF does: a cache path outside the root gives an in-memory context.
    LOG(ERROR) << "The cache_path directory (" << requested << ") is not a child of the root_cache_path directory ("
               << GetRootCachePath() << "); using in-memory storage";
    path.clear();
  }
  if (!path.empty() && !CreateDirectories(path)) {
    LOG(ERROR) << "Cannot create the cache_path directory (" << path << "); using in-memory storage";
    path.clear();
  }
  bool created = false;
  std::shared_ptr<ContextStorage> storage = CefRequestContextImpl::GetOrCreateStorage(path, &created);
  return MakeContext(storage, created, handler);
}

// static
CefRefPtr<CefRequestContext> CefRequestContext::CreateContext(CefRefPtr<CefRequestContext> other,
                                                              CefRefPtr<CefRequestContextHandler> handler) {
  using namespace cef_internal;
  if (!IsRuntimeRunning() || !other) {
    return nullptr;
  }
  CefRefPtr<CefRequestContextImpl> impl = CefRequestContextImpl::From(other);
  return MakeContext(impl->shared_storage(), false, handler);
}

bool CefRegisterSchemeHandlerFactory(const CefString& scheme_name,
                                     const CefString& domain_name,
                                     CefRefPtr<CefSchemeHandlerFactory> factory) {
  CefRefPtr<CefRequestContext> global = CefRequestContext::GetGlobalContext();
  return global && global->RegisterSchemeHandlerFactory(scheme_name, domain_name, factory);
}

bool CefClearSchemeHandlerFactories() {
  CefRefPtr<CefRequestContext> global = CefRequestContext::GetGlobalContext();
  return global && global->ClearSchemeHandlerFactories();
}
