// File-system paths of the runtime (UTF-8 in, UTF-8 out; Windows rules).
#ifndef CEF_SRC_RUNTIME_PATHS_H_
#define CEF_SRC_RUNTIME_PATHS_H_
#pragma once

#include <string>

namespace cef_internal {

// True for "C:\..." and "\\server\share\..." (either separator).
bool IsAbsolutePath(const std::string& path);

// The absolute form of an absolute |path|: "." and ".." resolved, "/" made
// "\", trailing separators dropped (except after a drive root). Empty when
// |path| is not absolute.
std::string NormalizePath(const std::string& path);

// True when normalised |path| equals normalised |root| or lies below it
// (compared without case, as Windows does).
bool IsSameOrChildPath(const std::string& path, const std::string& root);

// Creates |path| and its missing parents. True when it exists afterwards.
bool CreateDirectories(const std::string& path);

// Directory of the running executable, without a trailing separator.
std::string ExecutableDirectory();

// The working directory.
std::string CurrentDirectory();

}  // namespace cef_internal

#endif  // CEF_SRC_RUNTIME_PATHS_H_
