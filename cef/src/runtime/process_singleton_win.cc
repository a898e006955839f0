#include "runtime/process_singleton.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <vector>

#include "core/message_loop.h"
#include "include/base/cef_logging.h"
#include "include/cef_command_line.h"
#include "runtime/runtime_state.h"

namespace cef_internal {

namespace {

constexpr wchar_t kWindowClass[] = L"KestaCefProcessSingleton";
// Marks our WM_COPYDATA payload: "RLCH".
constexpr ULONG_PTR kRelaunchMagic = 0x524C4348;

// UI thread only.
HANDLE g_mutex = nullptr;
HWND g_window = nullptr;

std::atomic<int> g_relaunch_count{0};
std::atomic<bool> g_last_handled{false};

std::wstring Wide(const std::string& text) {
  if (text.empty()) {
    return {};
  }
  int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

// A name derived from the root path, the same in every process: FNV-1a
// over the lower-cased UTF-16 path.
std::wstring SingletonKey(const std::string& root) {
  std::wstring path = Wide(root);
  if (!path.empty()) {
    CharLowerBuffW(path.data(), static_cast<DWORD>(path.size()));
  }
  uint64_t hash = 1469598103934665603ull;
  for (wchar_t c : path) {
    hash ^= static_cast<uint16_t>(c);
    hash *= 1099511628211ull;
  }
  wchar_t text[17];
  swprintf(text, 17, L"%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// A command line the handler can read but not change.
class ReadOnlyCommandLine : public CefCommandLine {
 public:
  explicit ReadOnlyCommandLine(CefRefPtr<CefCommandLine> inner) : inner_(inner) {}

  bool IsValid() override { return inner_->IsValid(); }
  bool IsReadOnly() override { return true; }
  CefRefPtr<CefCommandLine> Copy() override { return inner_->Copy(); }
  void InitFromArgv(int, const char* const*) override { Refuse("InitFromArgv"); }
  void InitFromString(const CefString&) override { Refuse("InitFromString"); }
  void Reset() override { Refuse("Reset"); }
  void GetArgv(std::vector<CefString>& argv) override { inner_->GetArgv(argv); }
  CefString GetCommandLineString() override { return inner_->GetCommandLineString(); }
  CefString GetProgram() override { return inner_->GetProgram(); }
  void SetProgram(const CefString&) override { Refuse("SetProgram"); }
  bool HasSwitches() override { return inner_->HasSwitches(); }
  bool HasSwitch(const CefString& name) override { return inner_->HasSwitch(name); }
  CefString GetSwitchValue(const CefString& name) override { return inner_->GetSwitchValue(name); }
  void GetSwitches(SwitchMap& switches) override { inner_->GetSwitches(switches); }
  void AppendSwitch(const CefString&) override { Refuse("AppendSwitch"); }
  void AppendSwitchWithValue(const CefString&, const CefString&) override { Refuse("AppendSwitchWithValue"); }
  void RemoveSwitch(const CefString&) override { Refuse("RemoveSwitch"); }
  bool HasArguments() override { return inner_->HasArguments(); }
  void GetArguments(ArgumentList& arguments) override { inner_->GetArguments(arguments); }
  void AppendArgument(const CefString&) override { Refuse("AppendArgument"); }
  void PrependWrapper(const CefString&) override { Refuse("PrependWrapper"); }

 private:
  static void Refuse(const char* method) {
    LOG(ERROR) << "CefCommandLine::" << method << " on a read-only command line";
  }

  CefRefPtr<CefCommandLine> inner_;
  IMPLEMENT_REFCOUNTING(ReadOnlyCommandLine);
};

void RunRelaunch(const CefString& command_line, const CefString& current_directory) {
  if (!IsRuntimeRunning()) {
    return;
  }
  CefRefPtr<CefCommandLine> parsed = CefCommandLine::CreateCommandLine();
  parsed->InitFromString(command_line);
  bool handled = false;
  CefRefPtr<CefBrowserProcessHandler> handler = GetBrowserProcessHandler();
  if (handler) {
    handled = handler->OnAlreadyRunningAppRelaunch(new ReadOnlyCommandLine(parsed), current_directory);
  }
  g_last_handled = handled;
  ++g_relaunch_count;
  if (!handled) {
    // CEF would open a default window here; this runtime has none to open.
    LOG(INFO) << "Relaunch not handled by the application";
  }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COPYDATA) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
    if (!data || data->dwData != kRelaunchMagic || data->cbData % sizeof(wchar_t) != 0) {
      return FALSE;
    }
    // Payload: current directory, NUL, command line (no terminator needed).
    std::wstring payload(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t));
    size_t nul = payload.find(L'\0');
    if (nul == std::wstring::npos) {
      return FALSE;
    }
    std::wstring directory = payload.substr(0, nul);
    std::wstring command_line = payload.substr(nul + 1);
    // The sender waits in SendMessage: answer now, run the handler later
    // from the loop.
    return PostRelaunch(CefString(command_line), CefString(directory)) ? TRUE : FALSE;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

bool RegisterWindowClass() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kWindowClass;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Hands our command line to the instance that owns |key|. The owner makes
// its window right after its mutex, so give it a moment to appear.
bool NotifyRunningInstance(const std::wstring& key,
                           const std::wstring& command_line,
                           const std::wstring& current_directory) {
  std::wstring payload = current_directory;
  payload.push_back(L'\0');
  payload += command_line;
  COPYDATASTRUCT data = {};
  data.dwData = kRelaunchMagic;
  data.cbData = static_cast<DWORD>(payload.size() * sizeof(wchar_t));
  data.lpData = payload.data();
  for (int attempt = 0; attempt < 40; ++attempt) {
    HWND window = FindWindowExW(HWND_MESSAGE, nullptr, kWindowClass, key.c_str());
    if (window) {
      DWORD_PTR result = 0;
      if (SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 10000,
                              &result) &&
          result == TRUE) {
        return true;
      }
      return false;
    }
    Sleep(50);
  }
  return false;
}

}  // namespace

SingletonResult ClaimProcessSingleton(const std::string& root,
                                      const std::wstring& command_line,
                                      const std::wstring& current_directory) {
  const std::wstring key = SingletonKey(root);
  std::wstring mutex_name = L"Local\\KestaCefSingleton-" + key;
  HANDLE mutex = CreateMutexW(nullptr, FALSE, mutex_name.c_str());
  DWORD error = GetLastError();
  if (!mutex) {
    return SingletonResult::kInUse;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return NotifyRunningInstance(key, command_line, current_directory) ? SingletonResult::kNotified
                                                                       : SingletonResult::kInUse;
  }
  if (!RegisterWindowClass()) {
    CloseHandle(mutex);
    return SingletonResult::kInUse;
  }
  g_window = CreateWindowExW(0, kWindowClass, key.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (!g_window) {
    CloseHandle(mutex);
    return SingletonResult::kInUse;
  }
  g_mutex = mutex;
  g_relaunch_count = 0;
  return SingletonResult::kClaimed;
}

void ReleaseProcessSingleton() {
  if (g_window) {
    DestroyWindow(g_window);
    g_window = nullptr;
  }
  if (g_mutex) {
    CloseHandle(g_mutex);
    g_mutex = nullptr;
  }
}

bool PostRelaunch(const CefString& command_line, const CefString& current_directory) {
  if (!IsRuntimeRunning()) {
    return false;
  }
  CefString line = command_line;
  CefString directory = current_directory;
  return PostFunction(TID_UI, [line, directory]() { RunRelaunch(line, directory); });
}

int RelaunchCount() {
  return g_relaunch_count.load();
}

bool LastRelaunchHandled() {
  return g_last_handled.load();
}

}  // namespace cef_internal
