// Start-up preparation: everything the client must know before CEF starts.
#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <shlobj.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

#include "desktop/desktop.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "include/cef_command_line.h"
#include "include/cef_values.h"

namespace kesta::desktop {
namespace {

constexpr DWORD kModulePathSize = 32768;
constexpr char kDefaultDataDirectoryName[] = "KESTA Client";
constexpr std::chrono::seconds kServiceStartWait(30);
constexpr std::chrono::seconds kServiceUpgradeWait(10);
constexpr std::chrono::milliseconds kPollPause(100);

// Frees a buffer the shell allocated for us.
class CoTaskMemory {
 public:
  CoTaskMemory() = default;
  ~CoTaskMemory() { CoTaskMemFree(pointer_); }
  CoTaskMemory(const CoTaskMemory&) = delete;
  CoTaskMemory& operator=(const CoTaskMemory&) = delete;
  PWSTR* out() { return &pointer_; }
  PWSTR get() const { return pointer_; }

 private:
  PWSTR pointer_ = nullptr;
};

// Members of another type read as absent.
std::string stringMember(CefRefPtr<CefDictionaryValue> dictionary, const char* key) {
  if (dictionary->GetType(key) != VTYPE_STRING)
    return std::string();
  return dictionary->GetString(key).ToString();
}

// The "state" object of an info document, or null.
CefRefPtr<CefDictionaryValue> infoState(CefRefPtr<CefDictionaryValue> info) {
  if (!info || info->GetType("state") != VTYPE_DICTIONARY)
    return nullptr;
  return info->GetDictionary("state");
}

}  // namespace

void reloadToken() {
  token = trimTrailingWhiteSpace(readFile(dataDir + "/local-token"));
}

}  // namespace kesta::desktop

bool DesktopPrepare(scoped_refptr<CefCommandLine> commandLine) {
  using namespace kesta::desktop;

  std::vector<wchar_t> modulePath(kModulePathSize);
  DWORD length = moduleFileName(nullptr, modulePath.data(), kModulePathSize);
  // Filling the whole buffer means the path was cut.
  if (length == 0 || length >= kModulePathSize) {
    fail("无法确定客户端目录");
    return false;
  }
  std::wstring executable(modulePath.data(), length);
  std::wstring::size_type lastSeparator = executable.find_last_of(L"\\/");
  appDirectory = utf8(lastSeparator == std::wstring::npos ? std::wstring() : executable.substr(0, lastSeparator));
  std::string resources = appDirectory + "/resources";
  restartExecutable = utf8(executable);

  std::vector<CefString> argv;
  commandLine->GetArgv(argv);
  for (size_t i = 1; i < argv.size(); ++i)
    restartArguments.push_back(argv[i].ToString());

  CefRefPtr<CefDictionaryValue> bootstrap = parse(readFile(resources + "/bootstrap.json"));
  if (!bootstrap) {
    fail("客户端缺少有效的 bootstrap.json，请重新解压完整安装包。");
    return false;
  }
  // A missing or non-integer member reads as 0.
  int port = bootstrap->GetType("port") == VTYPE_INT ? bootstrap->GetInt("port") : 0;
  if (port < 1 || port > 65535) {
    fail("本地服务端口配置无效");
    return false;
  }
  localOrigin = "http://127.0.0.1:" + std::to_string(port);
  origin = localOrigin;

  dataDir = commandLine->GetSwitchValue("data-dir").ToString();
  if (dataDir.empty()) {
    std::string name = stringMember(bootstrap, "dataDirectoryName");
    if (name.empty())
      name = kDefaultDataDirectoryName;
    if (!dataDirectoryNameAllowed(name)) {
      fail("数据目录名称无效");
      return false;
    }
    CoTaskMemory folder;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, folder.out()))) {
      fail("无法确定本地数据目录");
      return false;
    }
    dataDir = utf8(folder.get()) + "/" + name;
  }

  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(wide(dataDir)), error);
  if (error) {
    fail("无法创建客户端数据目录：" + error.message());
    return false;
  }

  reloadToken();
  initialState = HTTP(kInfoPath, "");
  if (initialState.empty()) {
    if (!spawn(appDirectory + "/kesta-service.exe", {"--data-dir", dataDir, "--bundle", resources}, true)) {
      unsigned long code = GetLastError();
      fail("无法启动本地资源服务：" + std::to_string(code));
      return false;
    }
    auto deadline = std::chrono::steady_clock::now() + kServiceStartWait;
    while (std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(kPollPause);
      // The service may write its token only once it runs.
      reloadToken();
      initialState = HTTP(kInfoPath, "");
      if (!initialState.empty())
        break;
    }
    if (initialState.empty()) {
      fail("本地资源服务未能启动。请查看 service.log。");
      return false;
    }
  }

  CefRefPtr<CefDictionaryValue> info = parse(initialState);
  CefRefPtr<CefDictionaryValue> state = infoState(info);
  if (!state) {
    fail("本地服务返回了无效状态");
    return false;
  }
  std::string siteOrigin = stringMember(state, "siteOrigin");
  if (!siteOrigin.empty())
    origin = siteOrigin;

  std::string clientPath = stringMember(state, "clientPath");
  std::string client = stringMember(state, "client");
  if (!clientPath.empty() && client != kClientVersion) {
    // Hand over to the updated client; this process ends either way.
    if (!spawn(clientPath + "/KESTA.exe", {"--data-dir=" + dataDir}, false))
      fail("无法启动已更新的客户端");
    return false;
  }
  if (!clientPath.empty() && stringMember(info, "serviceVersion") != kClientVersion) {
    if (HTTP(kServiceUpgradePath, kEmptyObject).empty()) {
      fail("资源服务升级请求失败");
      return false;
    }
    bool ready = false;
    auto deadline = std::chrono::steady_clock::now() + kServiceUpgradeWait;
    while (std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(kPollPause);
      std::string body = HTTP(kInfoPath, "");
      CefRefPtr<CefDictionaryValue> answer = parse(body);
      if (answer && stringMember(answer, "serviceVersion") == kClientVersion) {
        initialState = body;
        ready = true;
        break;
      }
    }
    if (!ready) {
      fail("更新后的资源服务未能就绪");
      return false;
    }
  }

  info = parse(initialState);
  state = infoState(info);
  if (!state) {
    fail("本地服务返回了无效网络状态");
    return false;
  }
  if (state->GetType("migrationSources") == VTYPE_LIST) {
    CefRefPtr<CefListValue> sources = state->GetList("migrationSources");
    for (size_t i = 0; i < sources->GetSize(); ++i)
      migrationSources.push_back(sources->GetString(i).ToString());
  }
  accessRootSPKI = stringMember(state, "accessRootSPKI");
  bool enforced = state->GetType("networkEnforced") == VTYPE_BOOL && state->GetBool("networkEnforced");
  networkPolicy.startupNetworkEnforced = enforced;
  networkPolicy.restartNeededForEnforcement = !enforced;
  return true;
}

std::string DesktopDataDir() {
  using namespace kesta::desktop;
  std::wstring path = wide(dataDir);
  for (wchar_t& c : path) {
    if (c == L'/')
      c = L'\\';
  }
  return utf8(path);
}
