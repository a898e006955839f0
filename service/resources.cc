#include "resources.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace kesta::service {

namespace fs = std::filesystem;

fs::path PathFromUtf8(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::optional<std::string> ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad())
    return std::nullopt;
  return content.str();
}

bool WriteFileAtomically(const fs::path& path, const std::string& content) {
  fs::path temporary = path;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out)
      return false;
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    if (!out)
      return false;
  }
  std::error_code error;
#ifdef _WIN32
  // A reader (the client polls the token while it waits for the service)
  // holds the file open without delete sharing, and a rename over an open
  // file fails until it lets go. Retry for a bounded time: meanwhile the old
  // content stays whole, and the new one appears at once.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    if (MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return true;
    const DWORD failure = GetLastError();
    const bool held =
        failure == ERROR_SHARING_VIOLATION || failure == ERROR_ACCESS_DENIED || failure == ERROR_LOCK_VIOLATION;
    if (!held || std::chrono::steady_clock::now() >= deadline)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  fs::remove(temporary, error);
  return false;
#else
  fs::rename(temporary, path, error);
  if (error)
    fs::remove(temporary, error);
  return !error;
#endif
}

ResourceStore::ResourceStore(fs::path bundleRoot, fs::path packageStore)
    : bundleRoot_(std::move(bundleRoot)), packageStore_(std::move(packageStore)) {}

PoolVersions ResourceStore::BundledVersions() const {
  PoolVersions versions;
  for (const char* pool : kPools) {
    // The art pool may carry only the manifest of generations without maps.
    for (const char* name : {"pool-manifest.json", "art-manifest.json"}) {
      const auto text = ReadWholeFile(bundleRoot_ / pool / name);
      if (!text)
        continue;
      const auto manifest = nlohmann::json::parse(*text, nullptr, false);
      if (manifest.is_object() && manifest.contains("version") && manifest["version"].is_string()) {
        versions[pool] = manifest["version"].get<std::string>();
        break;
      }
    }
  }
  return versions;
}

fs::path ResourceStore::PoolDirectory(const std::string& pool,
                                      const std::string& version,
                                      const PoolVersions& bundled) const {
  const auto it = bundled.find(pool);
  if (it != bundled.end() && it->second == version)
    return bundleRoot_ / pool;
  return packageStore_ / pool / PathFromUtf8(version);
}

std::string ResourceStore::ManifestName(const std::string& pool, const PoolVersions& generation) {
  const auto maps = generation.find("maps");
  const bool namesMaps = maps != generation.end() && !maps->second.empty();
  return pool == "art" && !namesMaps ? "art-manifest.json" : "pool-manifest.json";
}

std::shared_ptr<const nlohmann::json> ResourceStore::Manifest(const std::string& pool,
                                                              const PoolVersions& generation,
                                                              const PoolVersions& bundled) const {
  const auto version = generation.find(pool);
  if (version == generation.end() || version->second.empty())
    return nullptr;
  // A version name is a single directory name in the package store.
  if (!IsSafeRelativeName(version->second) || version->second.find('/') != std::string::npos)
    return nullptr;
  const fs::path file = PoolDirectory(pool, version->second, bundled) / ManifestName(pool, generation);
  std::optional<std::string> text = ReadWholeFile(file);
  std::lock_guard<std::mutex> lock(manifestsMutex_);
  if (!text) {
    manifests_.erase(file);
    return nullptr;
  }
  ParsedManifest& parsed = manifests_[file];
  if (!parsed.json || parsed.text != *text) {
    auto manifest = std::make_shared<nlohmann::json>(nlohmann::json::parse(*text, nullptr, false));
    parsed.json = manifest->is_object() ? std::move(manifest) : nullptr;
    parsed.text = std::move(*text);
  }
  return parsed.json;
}

bool ResourceStore::Complete(const PoolVersions& generation, const PoolVersions& bundled) const {
  for (const char* pool : kPools) {
    const auto version = generation.find(pool);
    if (version == generation.end() || version->second.empty())
      continue;
    if (!Manifest(pool, generation, bundled))
      return false;
  }
  return true;
}

std::optional<fs::path> ResourceStore::FileIn(const fs::path& dir, const std::string& name) const {
  if (!IsSafeRelativeName(name))
    return std::nullopt;
  const fs::path file = dir / PathFromUtf8(name);
  std::error_code error;
  if (!fs::is_regular_file(file, error))
    return std::nullopt;
  return file;
}

std::optional<fs::path> ResourceStore::OriginFile(const std::string& path,
                                                  const PoolVersions& generation,
                                                  const PoolVersions& bundled) const {
  const auto manifest = Manifest("engine", generation, bundled);
  if (!manifest)
    return std::nullopt;
  const fs::path dir = PoolDirectory("engine", generation.at("engine"), bundled);
  if (path == "/" || path == "/__client/start") {
    const auto index = manifest->find("index");
    if (index == manifest->end() || !index->is_string())
      return std::nullopt;
    return FileIn(dir, index->get<std::string>());
  }
  if (path.size() < 2 || path[0] != '/')
    return std::nullopt;
  const auto files = manifest->find("files");
  if (files == manifest->end() || !files->is_object())
    return std::nullopt;
  const std::string key = path.substr(1);
  const auto entry = files->find(key);
  if (entry == files->end())
    return std::nullopt;
  // The value names the file in the pool; without one the path is the name.
  const std::string name = entry->is_string() && !entry->get<std::string>().empty() ? entry->get<std::string>() : key;
  return FileIn(dir, name);
}

std::optional<fs::path> ResourceStore::PoolFile(const std::string& pool,
                                                const std::string& name,
                                                const PoolVersions& generation,
                                                const PoolVersions& bundled) const {
  const auto manifest = Manifest(pool, generation, bundled);
  if (!manifest)
    return std::nullopt;
  const auto bindings = manifest->find("bindings");
  if (bindings == manifest->end() || !bindings->is_object())
    return std::nullopt;
  bool bound = false;
  for (const auto& [url, value] : bindings->items()) {
    if (value.is_string() && value.get<std::string>() == name) {
      bound = true;
      break;
    }
  }
  if (!bound)
    return std::nullopt;
  return FileIn(PoolDirectory(pool, generation.at(pool), bundled), name);
}

bool ResourceStore::Install(const std::string& pool, const std::string& version, const PoolVersions& bundled) {
  if (!IsSafeRelativeName(version) || version.find('/') != std::string::npos)
    return false;
  const fs::path target = PoolDirectory(pool, version, bundled);
  std::error_code error;
  if (fs::exists(target, error))
    return true;
  fs::path partial = target;
  partial += ".partial";
  fs::remove_all(partial, error);
  fs::create_directories(partial.parent_path(), error);
  fs::copy(bundleRoot_ / pool, partial, fs::copy_options::recursive, error);
  if (error)
    return false;
  fs::rename(partial, target, error);
  return !error;
}

bool IsSafeRelativeName(std::string_view name) {
  if (name.empty() || name.front() == '/')
    return false;
  if (name.find_first_of(std::string_view("\\:\0", 3)) != std::string_view::npos)
    return false;
  size_t start = 0;
  while (true) {
    const size_t slash = name.find('/', start);
    const std::string_view segment =
        name.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    if (segment.empty() || segment == "." || segment == "..")
      return false;
    if (slash == std::string_view::npos)
      return true;
    start = slash + 1;
  }
}

int EscapedByte(std::string_view text, size_t at) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
    return -1;
  };
  if (at + 2 >= text.size() || text[at] != '%')
    return -1;
  const int high = hex(text[at + 1]);
  const int low = hex(text[at + 2]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

std::string DecodeEscapes(std::string_view text, bool (*kept)(int byte)) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const int byte = EscapedByte(text, i);
    if (byte < 0 || (kept && kept(byte))) {
      out += text[i];
      continue;
    }
    out += static_cast<char>(byte);
    i += 2;
  }
  return out;
}

std::optional<std::string> PercentDecode(std::string_view text) {
  for (size_t i = text.find('%'); i != std::string_view::npos; i = text.find('%', i + 3)) {
    if (EscapedByte(text, i) <= 0)
      return std::nullopt;
  }
  return DecodeEscapes(text);
}

std::string MimeType(const fs::path& path) {
  static const std::map<std::string, std::string> types = {
      {".html", "text/html"},      {".htm", "text/html"},     {".js", "text/javascript"},
      {".mjs", "text/javascript"}, {".css", "text/css"},      {".json", "application/json"},
      {".png", "image/png"},       {".jpg", "image/jpeg"},    {".jpeg", "image/jpeg"},
      {".gif", "image/gif"},       {".svg", "image/svg+xml"}, {".webp", "image/webp"},
      {".ico", "image/x-icon"},    {".txt", "text/plain"},    {".wasm", "application/wasm"},
      {".mp3", "audio/mpeg"},      {".ogg", "audio/ogg"},     {".woff2", "font/woff2"}};
  std::string extension = Utf8FromPath(path.extension());
  for (char& c : extension)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto it = types.find(extension);
  return it == types.end() ? "application/octet-stream" : it->second;
}

RangeKind ParseRange(std::string_view header, uint64_t size, ByteRange& range) {
  auto trim = [](std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
      text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
      text.remove_suffix(1);
    return text;
  };
  auto number = [](std::string_view digits, uint64_t& value) {
    if (digits.empty())
      return false;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() && end == digits.data() + digits.size();
  };
  header = trim(header);
  constexpr std::string_view prefix = "bytes=";
  if (header.substr(0, prefix.size()) != prefix)
    return RangeKind::kNone;
  const std::string_view spec = trim(header.substr(prefix.size()));
  if (spec.find(',') != std::string_view::npos)
    return RangeKind::kNone;
  const size_t dash = spec.find('-');
  if (dash == std::string_view::npos)
    return RangeKind::kNone;
  const std::string_view firstText = trim(spec.substr(0, dash));
  const std::string_view lastText = trim(spec.substr(dash + 1));
  uint64_t first = 0;
  uint64_t last = 0;
  if (firstText.empty()) {
    // Suffix range: the last N bytes.
    if (!number(lastText, last))
      return RangeKind::kNone;
    if (last == 0 || size == 0)
      return RangeKind::kUnsatisfiable;
    range.first = size - std::min(last, size);
    range.last = size - 1;
    return RangeKind::kSatisfiable;
  }
  if (!number(firstText, first))
    return RangeKind::kNone;
  if (lastText.empty()) {
    last = UINT64_MAX;
  } else if (!number(lastText, last) || last < first) {
    return RangeKind::kNone;
  }
  if (first >= size)
    return RangeKind::kUnsatisfiable;
  range.first = first;
  range.last = std::min(last, size - 1);
  return RangeKind::kSatisfiable;
}

}  // namespace kesta::service
