// The game's files: pool versions in the bundle and in the data directory's
// package store, their manifests, and the lookup from a request path to a
// file on disk.
//
// Layout: a pool version is a directory holding a manifest and the files it
// names. The bundle keeps one version per pool under <bundleRoot>/<pool>;
// the package store keeps any number under <dataDir>/packages/<pool>/<v>.
// Manifest members read here (the client reads "files" and "bindings" too):
//   "version"   the version a bundled pool directory holds
//   "index"     engine only: the file served for "/" and "/__client/start"
//   "files"     engine only: origin-relative path -> file name in the pool
//   "bindings"  game URL -> file name in the pool, served under
//               /__pool/<pool>/<encoded name>
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kesta::service {

// Pool name -> version; a missing or empty version means "nothing in it".
using PoolVersions = std::map<std::string, std::string>;

inline constexpr const char* kPools[] = {"engine", "maps", "art"};

std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);
// Writes beside the target and renames over it, so that a reader never sees
// half a file; waits, for a bounded time, for readers that hold the target
// open.
bool WriteFileAtomically(const std::filesystem::path& path, const std::string& content);

class ResourceStore {
 public:
  ResourceStore(std::filesystem::path bundleRoot, std::filesystem::path packageStore);

  // Versions found in the bundle, from each pool's manifest.
  PoolVersions BundledVersions() const;

  // Where version `version` of `pool` lives: the bundle when it is the
  // bundled version (exact comparison), else the package store.
  std::filesystem::path PoolDirectory(const std::string& pool,
                                      const std::string& version,
                                      const PoolVersions& bundled) const;

  // The art pool of a generation without maps keeps its manifest under
  // another name; the client picks manifests by the same rule.
  static std::string ManifestName(const std::string& pool, const PoolVersions& generation);

  // The pool's manifest in the generation, parsed; null when the version
  // is unknown or its manifest unreadable or no object. The file is read
  // every time but parsed only when its content changed: every file request
  // asks for the engine's manifest, which may list thousands of files.
  std::shared_ptr<const nlohmann::json> Manifest(const std::string& pool,
                                                 const PoolVersions& generation,
                                                 const PoolVersions& bundled) const;

  // True when every pool version the generation names has a readable manifest.
  bool Complete(const PoolVersions& generation, const PoolVersions& bundled) const;

  // The file for an origin path (already percent-decoded): "/" and
  // "/__client/start" give the engine's index page, other paths must be
  // listed in the engine manifest's "files".
  std::optional<std::filesystem::path> OriginFile(const std::string& path,
                                                  const PoolVersions& generation,
                                                  const PoolVersions& bundled) const;

  // The file for /__pool/<pool>/<name>: only names that the pool's manifest
  // binds are served.
  std::optional<std::filesystem::path> PoolFile(const std::string& pool,
                                                const std::string& name,
                                                const PoolVersions& generation,
                                                const PoolVersions& bundled) const;

  // Puts a version into the package store by copying the bundled pool,
  // standing in for a download. An existing version is left alone.
  bool Install(const std::string& pool, const std::string& version, const PoolVersions& bundled);

  const std::filesystem::path& bundleRoot() const { return bundleRoot_; }

 private:
  std::optional<std::filesystem::path> FileIn(const std::filesystem::path& dir, const std::string& name) const;

  std::filesystem::path bundleRoot_;
  std::filesystem::path packageStore_;

  struct ParsedManifest {
    std::string text;
    std::shared_ptr<const nlohmann::json> json;
  };
  mutable std::mutex manifestsMutex_;  // guards manifests_
  mutable std::map<std::filesystem::path, ParsedManifest> manifests_;
};

// A relative file name that stays inside its directory: no empty, "." or
// ".." segment, no backslash, colon or NUL, no leading slash.
bool IsSafeRelativeName(std::string_view name);

// Percent-escapes, decoded the one way for the whole service.
// The byte the escape "%XX" at `at` stands for, or -1 when none stands there.
int EscapedByte(std::string_view text, size_t at);
// Decodes every well-formed escape but those of the bytes `kept` holds back;
// those and malformed escapes stay as written.
std::string DecodeEscapes(std::string_view text, bool (*kept)(int byte) = nullptr);
// Decodes every %XX escape; nothing when an escape is malformed or decodes
// to NUL.
std::optional<std::string> PercentDecode(std::string_view text);

std::string MimeType(const std::filesystem::path& path);

// A single "bytes=" range against a body of `size` bytes. Anything that is
// not one well-formed range is ignored, as HTTP allows.
struct ByteRange {
  uint64_t first = 0;
  uint64_t last = 0;  // inclusive
};
enum class RangeKind { kNone, kSatisfiable, kUnsatisfiable };
RangeKind ParseRange(std::string_view header, uint64_t size, ByteRange& range);

}  // namespace kesta::service
