// Pool bindings built from real manifest files.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "desktop/desktop_flow.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "include/cef_values.h"

namespace kesta::desktop {
namespace {

namespace fs = std::filesystem;

class ResourceRootsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kesta-roots-" + std::to_string(GetCurrentProcessId()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    bundle_ = (root_ / "bundle").generic_string();
    dataDir = (root_ / "data").generic_string();
    std::lock_guard lock(browserMutex);
    poolBindings.clear();
  }
  void TearDown() override { fs::remove_all(root_); }

  // Paths are UTF-8, as the desktop layer keeps them.
  static fs::path native(const std::string& path) { return fs::path(std::u8string(path.begin(), path.end())); }
  static std::string utf8Path(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
  }

  void write(const std::string& path, const std::string& text) {
    fs::create_directories(native(path).parent_path());
    std::ofstream(native(path), std::ios::binary) << text;
  }

  // A state whose "generations" holds `generations` (JSON object text).
  CefRefPtr<CefDictionaryValue> state(const std::string& generations) {
    CefRefPtr<CefDictionaryValue> result =
        parse("{\"bundleRoot\":\"" + bundle_ + "\",\"generations\":" + generations + "}");
    EXPECT_TRUE(result) << generations;
    return result;
  }

  std::map<std::string, std::string> bindings(const std::string& generation) {
    std::lock_guard lock(browserMutex);
    auto it = poolBindings.find(generation);
    return it == poolBindings.end() ? std::map<std::string, std::string>() : it->second;
  }

  bool built(const std::string& generation) {
    std::lock_guard lock(browserMutex);
    return poolBindings.count(generation) != 0;
  }

  fs::path root_;
  std::string bundle_;
};

TEST_F(ResourceRootsTest, BundledVersionsComeFromTheBundleOthersFromThePackageStore) {
  write(bundle_ + "/engine/pool-manifest.json",
        R"({"files":{"engine/main.js":1,"engine/lib.wasm":2},"bindings":{"https://cdn.example/e.js":"e.js"}})");
  write(bundle_ + "/maps/pool-manifest.json", R"({"bindings":{"https://game.example/m/1":"bundled map"}})");
  write(bundle_ + "/art/pool-manifest.json", R"({"bindings":{}})");
  write(dataDir + "/packages/maps/m2/pool-manifest.json",
        R"({"files":{"ignored":1},"bindings":{"https://game.example/m/1":"tiles/x y.png"}})");

  updateResourceRoots(state(R"({"bundled":{"engine":"e1","maps":"m1","art":"a3"},
                                "g2":{"engine":"e1","maps":"m2","art":"a3"}})"));

  const auto bundled = bindings("bundled");
  EXPECT_EQ(bundled.at("@engine:/engine/main.js"), "");
  EXPECT_EQ(bundled.at("@engine:/engine/lib.wasm"), "");
  EXPECT_EQ(bundled.at("https://cdn.example/e.js"), "/__pool/engine/e.js");
  EXPECT_EQ(bundled.at("https://game.example/m/1"), "/__pool/maps/bundled%20map");

  const auto g2 = bindings("g2");
  // A "files" member outside the engine pool binds nothing.
  EXPECT_EQ(g2.count("@engine:/ignored"), 0u);
  EXPECT_EQ(g2.at("https://game.example/m/1"), "/__pool/maps/tiles%2Fx%20y.png");
  EXPECT_EQ(g2.size(), 4u);
}

TEST_F(ResourceRootsTest, ArtManifestNameDependsOnTheMapsVersion) {
  write(bundle_ + "/art/art-manifest.json", R"({"bindings":{"/a.png":"a.png"}})");
  write(bundle_ + "/art/pool-manifest.json", R"({"bindings":{"/b.png":"b.png"}})");
  write(bundle_ + "/maps/pool-manifest.json", R"({})");

  updateResourceRoots(state(R"({"bundled":{"maps":"m1","art":"a1"},"artOnly":{"art":"a1","maps":""}})"));

  EXPECT_EQ(bindings("artOnly").count("/a.png"), 1u);
  EXPECT_EQ(bindings("artOnly").count("/b.png"), 0u);
  EXPECT_EQ(bindings("bundled").count("/b.png"), 1u);
  EXPECT_EQ(bindings("bundled").count("/a.png"), 0u);
}

TEST_F(ResourceRootsTest, VersionsDifferingInCaseAreNotTheBundledOnes) {
  write(bundle_ + "/engine/pool-manifest.json", R"({"bindings":{"/x":"bundle"}})");
  write(dataDir + "/packages/engine/E1/pool-manifest.json", R"({"bindings":{"/x":"store"}})");

  updateResourceRoots(state(R"({"bundled":{"engine":"e1"},"upper":{"engine":"E1"}})"));

  EXPECT_EQ(bindings("upper").at("/x"), "/__pool/engine/store");
  EXPECT_EQ(bindings("bundled").at("/x"), "/__pool/engine/bundle");
}

TEST_F(ResourceRootsTest, AGenerationIsBuiltOnceAndNeverRebuilt) {
  write(bundle_ + "/engine/pool-manifest.json", R"({"bindings":{"/x":"first"}})");
  updateResourceRoots(state(R"({"bundled":{"engine":"e1"}})"));

  // Changed on disk and listed with other versions: the first build stays.
  write(bundle_ + "/engine/pool-manifest.json", R"({"bindings":{"/x":"second"}})");
  updateResourceRoots(state(R"({"bundled":{"engine":"e2"}})"));

  EXPECT_EQ(bindings("bundled").at("/x"), "/__pool/engine/first");
}

TEST_F(ResourceRootsTest, EmptyAndOddEntries) {
  write(bundle_ + "/engine/pool-manifest.json", R"({"bindings":{"/n":5,"/s":""},"files":[1]})");

  updateResourceRoots(state(R"({"bundled":{"engine":"e1"},"nothing":{},"notADictionary":7})"));

  EXPECT_TRUE(built("nothing"));
  EXPECT_TRUE(bindings("nothing").empty());
  EXPECT_FALSE(built("notADictionary"));
  EXPECT_EQ(bindings("bundled").at("/n"), "/__pool/engine/");
  EXPECT_EQ(bindings("bundled").at("/s"), "/__pool/engine/");
}

TEST_F(ResourceRootsTest, WithoutBundledEveryVersionIsInThePackageStore) {
  write(dataDir + "/packages/engine/e1/pool-manifest.json", R"({"bindings":{"/x":"x"}})");
  updateResourceRoots(state(R"({"g":{"engine":"e1"}})"));
  EXPECT_EQ(bindings("g").at("/x"), "/__pool/engine/x");
}

TEST_F(ResourceRootsTest, TheBundledGenerationReadsEveryPoolFromTheBundle) {
  write(bundle_ + "/engine/pool-manifest.json", R"({"files":{"a.js":""}})");
  write(bundle_ + "/maps/pool-manifest.json", R"({"bindings":{"/m":"m"}})");
  write(bundle_ + "/art/pool-manifest.json", R"({"bindings":{"/a":"a"}})");
  // Decoys in the package store under the same versions.
  write(dataDir + "/packages/maps/m1/pool-manifest.json", R"({"bindings":{"/m":"store"}})");
  write(dataDir + "/packages/art/a1/art-manifest.json", R"({"bindings":{"/a":"store"}})");

  updateResourceRoots(state(R"({"bundled":{"engine":"e1","maps":"m1","art":"a1"}})"));

  const std::map<std::string, std::string> expected = {
      {"@engine:/a.js", ""}, {"/m", "/__pool/maps/m"}, {"/a", "/__pool/art/a"}};
  EXPECT_EQ(bindings("bundled"), expected);
}

TEST_F(ResourceRootsTest, LaterPoolsOverwriteEarlierEntries) {
  // Written in the order engine files, engine bindings, maps, art.
  write(bundle_ + "/engine/pool-manifest.json",
        R"({"files":{"x.js":1,"y.js":1},"bindings":{"@engine:/x.js":"engine-x","/shared":"e"}})");
  write(bundle_ + "/maps/pool-manifest.json", R"({"bindings":{"/shared":"m","@engine:/y.js":"maps-y"}})");
  write(bundle_ + "/art/pool-manifest.json", R"({"bindings":{"/shared":"a"}})");

  updateResourceRoots(state(R"({"bundled":{"engine":"e1","maps":"m1","art":"a1"}})"));

  const auto bundled = bindings("bundled");
  EXPECT_EQ(bundled.at("@engine:/x.js"), "/__pool/engine/engine-x");
  EXPECT_EQ(bundled.at("@engine:/y.js"), "/__pool/maps/maps-y");
  EXPECT_EQ(bundled.at("/shared"), "/__pool/art/a");
}

TEST_F(ResourceRootsTest, NamesAreEncodedForTheServicePath) {
  write(bundle_ + "/art/art-manifest.json",
        R"({"bindings":{"/1":"dir/sub dir/x.png","/2":"100%+ok.png","/3":"(a)!~*'-_.b","/4":"图.png","/5":"a?b#c"}})");

  updateResourceRoots(state(R"({"bundled":{"art":"a1"}})"));

  const auto bundled = bindings("bundled");
  EXPECT_EQ(bundled.at("/1"), "/__pool/art/dir%2Fsub%20dir%2Fx.png");
  EXPECT_EQ(bundled.at("/2"), "/__pool/art/100%25%2Bok.png");
  EXPECT_EQ(bundled.at("/3"), "/__pool/art/(a)!~*'-_.b");
  EXPECT_EQ(bundled.at("/4"), "/__pool/art/%E5%9B%BE.png");
  EXPECT_EQ(bundled.at("/5"), "/__pool/art/a%3Fb%23c");
}

TEST_F(ResourceRootsTest, AMissingManifestIsFatalLikeABrokenOne) {
  // Only the art manifest under the other name exists: a generation with a
  // maps version looks for "pool-manifest.json".
  write(bundle_ + "/maps/pool-manifest.json", R"({})");
  write(bundle_ + "/art/art-manifest.json", R"({})");
  const std::string expected = "Invalid resource manifest: " + bundle_ + "/art/pool-manifest.json";
  try {
    updateResourceRoots(state(R"({"bundled":{"maps":"m1","art":"a1"}})"));
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()), expected);
  }
  EXPECT_FALSE(built("bundled"));
}

TEST_F(ResourceRootsTest, AManifestThatIsNotAnObjectIsFatal) {
  for (const char* text : {"[]", "\"text\"", "", "{\"bindings\":{}} {}"}) {
    write(dataDir + "/packages/engine/e2/pool-manifest.json", text);
    EXPECT_THROW(updateResourceRoots(state(R"({"g":{"engine":"e2"}})")), std::runtime_error) << text;
    EXPECT_FALSE(built("g")) << text;
  }
}

TEST_F(ResourceRootsTest, ManifestsUnderANonAsciiDataDirectory) {
  // User profiles on Chinese systems put the data directory under such names.
  dataDir = utf8Path(root_ / fs::path(L"数据 目录"));
  write(dataDir + "/packages/maps/m2/pool-manifest.json", R"({"bindings":{"/m":"m"}})");

  updateResourceRoots(state(R"({"g":{"maps":"m2"}})"));

  EXPECT_EQ(bindings("g").at("/m"), "/__pool/maps/m");
}

// The IO thread looks bindings up under browserMutex. A rebuild takes it
// before the first manifest is read and keeps it until the generation is
// stored, so a lookup never meets a generation half built.
TEST_F(ResourceRootsTest, ARebuildWaitsForTheLockAndReadsItsManifestsUnderIt) {
  const std::string manifest = bundle_ + "/engine/pool-manifest.json";
  write(manifest, R"({"bindings":{"/x":"before"}})");
  CefRefPtr<CefDictionaryValue> listed = state(R"({"bundled":{"engine":"e1"}})");

  std::mutex signalMutex;  // guards calling and finished
  std::condition_variable signal;
  bool calling = false;
  bool finished = false;
  bool threw = false;
  std::jthread writer;  // joined after the lock below is let go, on every path
  {
    std::unique_lock held(browserMutex);
    writer = std::jthread([&] {
      {
        std::lock_guard lock(signalMutex);
        calling = true;
      }
      signal.notify_all();
      try {
        updateResourceRoots(listed);
      } catch (const std::exception&) {
        threw = true;
      }
      {
        std::lock_guard lock(signalMutex);
        finished = true;
      }
      signal.notify_all();
    });
    std::unique_lock lock(signalMutex);
    signal.wait(lock, [&] { return calling; });
    // Only a check that something does not happen: the wait is bounded.
    EXPECT_FALSE(signal.wait_for(lock, std::chrono::milliseconds(300), [&] { return finished; }))
        << "the rebuild went on while browserMutex was held";
    EXPECT_EQ(poolBindings.count("bundled"), 0u);
    lock.unlock();
    // Not read yet: the rebuild must see what is on disk once it runs.
    write(manifest, R"({"bindings":{"/x":"after"}})");
  }
  writer.join();
  EXPECT_TRUE(finished);
  EXPECT_FALSE(threw);
  EXPECT_EQ(bindings("bundled"), (std::map<std::string, std::string>{{"/x", "/__pool/engine/after"}}));
}

TEST_F(ResourceRootsTest, AStateWithoutGenerationsChangesNothing) {
  updateResourceRoots(parse(R"({"bundleRoot":"x"})"));
  std::lock_guard lock(browserMutex);
  EXPECT_TRUE(poolBindings.empty());
}

TEST_F(ResourceRootsTest, AMissingOrBrokenManifestIsFatalAndRecordsNothing) {
  write(bundle_ + "/engine/pool-manifest.json", R"({"bindings":{"/x":"x"},})");  // trailing comma
  const std::string manifest = bundle_ + "/engine/pool-manifest.json";
  try {
    updateResourceRoots(state(R"({"bundled":{"engine":"e1"}})"));
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()), "Invalid resource manifest: " + manifest);
  }
  EXPECT_FALSE(built("bundled"));

  try {
    updateResourceRoots(state(R"({"bundled":{"engine":"e1"},"a":{},"z":{"maps":"gone"}})"));
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()), "Invalid resource manifest: " + manifest);
  }
  // Generations before the broken one in key order were kept.
  EXPECT_TRUE(built("a"));
  EXPECT_FALSE(built("z"));
  // The lock was released on the way out.
  std::unique_lock lock(browserMutex, std::try_to_lock);
  EXPECT_TRUE(lock.owns_lock());
}

}  // namespace
}  // namespace kesta::desktop
