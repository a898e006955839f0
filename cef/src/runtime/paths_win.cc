#include "runtime/paths.h"

#include <windows.h>

#include <vector>

namespace cef_internal {

namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) {
    return {};
  }
  int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) {
    return {};
  }
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

}  // namespace

bool IsAbsolutePath(const std::string& path) {
  if (path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
      path[1] == ':' && IsSeparator(path[2])) {
    return true;
  }
  return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

std::string NormalizePath(const std::string& path) {
  if (!IsAbsolutePath(path)) {
    return {};
  }
  std::wstring wide = Wide(path);
  for (wchar_t& c : wide) {
    if (c == L'/') {
      c = L'\\';
    }
  }
  DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) {
    return {};
  }
  std::vector<wchar_t> buffer(size + 1);
  DWORD written = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (written == 0 || written >= buffer.size()) {
    return {};
  }
  std::wstring full(buffer.data(), written);
  // "C:\" keeps its separator; anything longer loses trailing ones.
  while (full.size() > 3 && full.back() == L'\\') {
    full.pop_back();
  }
  return Utf8(full);
}

bool IsSameOrChildPath(const std::string& path, const std::string& root) {
  std::wstring p = Wide(NormalizePath(path));
  std::wstring r = Wide(NormalizePath(root));
  if (p.empty() || r.empty() || p.size() < r.size()) {
    return false;
  }
  if (CompareStringOrdinal(p.data(), static_cast<int>(r.size()), r.data(), static_cast<int>(r.size()), TRUE) !=
      CSTR_EQUAL) {
    return false;
  }
  return p.size() == r.size() || r.back() == L'\\' || p[r.size()] == L'\\';
}

bool CreateDirectories(const std::string& path) {
  std::wstring wide = Wide(NormalizePath(path));
  if (wide.empty()) {
    return false;
  }
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  size_t slash = wide.find_last_of(L'\\');
  if (slash != std::wstring::npos && slash > 2) {
    if (!CreateDirectories(Utf8(wide.substr(0, slash)))) {
      return false;
    }
  }
  if (CreateDirectoryW(wide.c_str(), nullptr)) {
    return true;
  }
  return GetLastError() == ERROR_ALREADY_EXISTS && (GetFileAttributesW(wide.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ExecutableDirectory() {
  std::vector<wchar_t> buffer(MAX_PATH);
  while (true) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      return {};
    }
    if (n < buffer.size()) {
      std::wstring file(buffer.data(), n);
      size_t slash = file.find_last_of(L"\\/");
      return Utf8(slash == std::wstring::npos ? std::wstring() : file.substr(0, slash));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string CurrentDirectory() {
  DWORD size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) {
    return {};
  }
  std::vector<wchar_t> buffer(size + 1);
  DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  return Utf8(std::wstring(buffer.data(), n));
}

}  // namespace cef_internal
