// The host executable: loads KESTA.dll from its own directory, creates the
// sandbox information and hands the process to RunWinMain.
#include <windows.h>

#include <string>

#include "include/cef_sandbox_win.h"

namespace {

using RunWinMainFunction = int (*)(HINSTANCE, void*, void*, void*);

std::wstring ModuleDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0)
      return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

void Report(const std::wstring& text) {
  MessageBoxW(nullptr, text.c_str(), L"Ostrel", MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  std::wstring dll_path = ModuleDirectory() + L"KESTA.dll";
  HMODULE dll = LoadLibraryExW(dll_path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!dll) {
    Report(L"Cannot load " + dll_path);
    return 1;
  }
  auto run = reinterpret_cast<RunWinMainFunction>(GetProcAddress(dll, "RunWinMain"));
  if (!run) {
    Report(L"KESTA.dll has no RunWinMain export");
    FreeLibrary(dll);
    return 1;
  }
  CefScopedSandboxInfo sandbox;
  // The DLL stays loaded: threads it leaves behind may still be unwinding.
  return run(instance, nullptr, nullptr, sandbox.sandbox_info());
}
