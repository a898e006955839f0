// Pool bindings built from real manifest files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>

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

  void write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
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
