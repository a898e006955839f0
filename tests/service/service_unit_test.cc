// The service's pieces without the network: range and name parsing, pool
// lookup, the update flow of the state, proxy credentials, and the checks
// it runs on what the client sends.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "options.h"
#include "protocol_check.h"
#include "proxy.h"
#include "resources.h"
#include "service_state.h"

namespace kesta::service {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

TEST(ServiceParsing, ByteRanges) {
  struct Case {
    const char* header;
    uint64_t size;
    RangeKind kind;
    uint64_t first, last;
  };
  const Case cases[] = {
      {"bytes=0-9", 37, RangeKind::kSatisfiable, 0, 9},
      {"bytes=30-", 37, RangeKind::kSatisfiable, 30, 36},
      {"bytes=30-100", 37, RangeKind::kSatisfiable, 30, 36},
      {"bytes=-5", 37, RangeKind::kSatisfiable, 32, 36},
      {"bytes=-100", 37, RangeKind::kSatisfiable, 0, 36},
      {" bytes= 2 - 3 ", 37, RangeKind::kSatisfiable, 2, 3},
      {"bytes=37-", 37, RangeKind::kUnsatisfiable, 0, 0},
      {"bytes=-0", 37, RangeKind::kUnsatisfiable, 0, 0},
      {"bytes=0-", 0, RangeKind::kUnsatisfiable, 0, 0},
      {"bytes=5-2", 37, RangeKind::kNone, 0, 0},
      {"bytes=0-1,4-5", 37, RangeKind::kNone, 0, 0},
      {"items=0-1", 37, RangeKind::kNone, 0, 0},
      {"bytes=a-b", 37, RangeKind::kNone, 0, 0},
      {"bytes=-", 37, RangeKind::kNone, 0, 0},
      {"bytes=0-99999999999999999999999", 37, RangeKind::kNone, 0, 0},
      {"", 37, RangeKind::kNone, 0, 0},
  };
  for (const Case& c : cases) {
    ByteRange range;
    EXPECT_EQ(ParseRange(c.header, c.size, range), c.kind) << c.header;
    if (c.kind == RangeKind::kSatisfiable) {
      EXPECT_EQ(range.first, c.first) << c.header;
      EXPECT_EQ(range.last, c.last) << c.header;
    }
  }
}

TEST(ServiceParsing, NamesAndEscapes) {
  EXPECT_EQ(PercentDecode("tiles%2Fdock%20tile.json"), "tiles/dock tile.json");
  EXPECT_EQ(PercentDecode("%e4%b8%ad"), "\xe4\xb8\xad");
  EXPECT_EQ(PercentDecode("a+b"), "a+b");
  for (const char* bad : {"%", "%2", "%zz", "a%0", "%00"})
    EXPECT_FALSE(PercentDecode(bad)) << bad;

  for (const char* good : {"a", "a/b.png", "dock tile.json", ".hidden", "a..b"})
    EXPECT_TRUE(IsSafeRelativeName(good)) << good;
  for (const char* bad : {"", "/a", "../a", "a/../../b", "a/./b", "a//b", "a/", "a\\b", "C:x", ".."})
    EXPECT_FALSE(IsSafeRelativeName(bad)) << bad;
  EXPECT_FALSE(IsSafeRelativeName(std::string_view("a\0b", 3)));
}

TEST(ServiceParsing, OptionsAndCredentials) {
  Options options;
  EXPECT_FALSE(ParseOptions({"--data-dir", "C:/d", "--bundle=C:/r", "--control"}, options));
  EXPECT_EQ(options.dataDir, "C:/d");
  EXPECT_EQ(options.bundle, "C:/r");
  EXPECT_TRUE(options.control);
  EXPECT_EQ(options.takeOverMs, -1);
  EXPECT_FALSE(ParseOptions({"--data-dir", "C:/d", "--bundle=C:/r", "--take-over", "500"}, options));
  EXPECT_EQ(options.takeOverMs, 500);
  for (const char* gap : {"-1", "x", "9999999"})
    EXPECT_TRUE(ParseOptions({"--data-dir", "C:/d", "--bundle=C:/r", std::string("--take-over=") + gap}, options))
        << gap;
  Options missing;
  EXPECT_TRUE(ParseOptions({"--data-dir", "C:/d"}, missing));
  EXPECT_TRUE(ParseOptions({"--data-dir", "C:/d", "--bundle"}, missing));
  EXPECT_TRUE(ParseOptions({"--data-dir", "C:/d", "--bundle", "x", "--what"}, missing));

  std::string decoded;
  ASSERT_TRUE(DecodeBase64("a2VzdGE6dG9rZW4=", decoded));
  EXPECT_EQ(decoded, "kesta:token");
  ASSERT_TRUE(DecodeBase64("YWI=", decoded));
  EXPECT_EQ(decoded, "ab");
  for (const char* bad : {"a2V", "a2V=dA==", "====", "a2!z"})
    EXPECT_FALSE(DecodeBase64(bad, decoded)) << bad;
}

// A bundle with three pools at version 1.0.0 and an empty data directory.
class ServiceStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device seed;
    root_ = fs::temp_directory_path() / ("kesta-service-unit-" + std::to_string(seed()));
    bundle_ = root_ / "bundle";
    data_ = root_ / "data";
    fs::create_directories(data_);
    Write(bundle_ / "engine/pool-manifest.json",
          R"({"version":"1.0.0","index":"index.html","files":{"engine/game.js":"game.js","x":"../secret"}})");
    Write(bundle_ / "engine/index.html", "<html>");
    Write(bundle_ / "engine/game.js", "game 1");
    Write(bundle_ / "maps/pool-manifest.json",
          R"({"version":"1.0.0","bindings":{"https://a.test/m.json":"m/harbor.json"}})");
    Write(bundle_ / "maps/m/harbor.json", "harbor 1");
    Write(bundle_ / "maps/secret.json", "unbound");
    Write(bundle_ / "art/art-manifest.json", R"({"version":"1.0.0","bindings":{"https://a.test/h.svg":"hero.svg"}})");
    Write(bundle_ / "art/hero.svg", "<svg>");
    Write(root_ / "secret", "outside");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  static void Write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  ServiceState::Setup Setup() const { return {"http://127.0.0.1:4000", "", "R", data_, kCurrentVersion, false}; }

  fs::path root_, bundle_, data_;
};

TEST_F(ServiceStoreTest, PoolLookupFollowsTheManifests) {
  ResourceStore store(bundle_, data_ / "packages");
  const PoolVersions bundled = store.BundledVersions();
  // The art pool's version comes from its art-manifest.json.
  EXPECT_EQ(bundled, (PoolVersions{{"engine", "1.0.0"}, {"maps", "1.0.0"}, {"art", "1.0.0"}}));
  EXPECT_EQ(store.PoolDirectory("maps", "1.0.0", bundled), bundle_ / "maps");
  EXPECT_EQ(store.PoolDirectory("maps", "1.0.0-RC", bundled), data_ / "packages/maps/1.0.0-RC");
  EXPECT_EQ(store.PoolDirectory("maps", "1.0.0", {{"maps", "1.0.0 "}}), data_ / "packages/maps/1.0.0");

  const PoolVersions withoutMaps = {{"engine", "1.0.0"}, {"art", "1.0.0"}};
  EXPECT_EQ(ResourceStore::ManifestName("art", withoutMaps), "art-manifest.json");
  EXPECT_EQ(ResourceStore::ManifestName("art", bundled), "pool-manifest.json");
  EXPECT_TRUE(store.Complete(withoutMaps, bundled));
  // With maps the art pool needs pool-manifest.json, which this bundle lacks.
  EXPECT_FALSE(store.Complete(bundled, bundled));
  EXPECT_FALSE(store.Complete({{"maps", "2.0.0"}}, bundled));

  EXPECT_EQ(store.OriginFile("/", bundled, bundled), bundle_ / "engine/index.html");
  EXPECT_EQ(store.OriginFile("/__client/start", bundled, bundled), bundle_ / "engine/index.html");
  EXPECT_EQ(store.OriginFile("/engine/game.js", bundled, bundled), bundle_ / "engine/game.js");
  EXPECT_FALSE(store.OriginFile("/engine/missing.js", bundled, bundled));
  EXPECT_FALSE(store.OriginFile("/x", bundled, bundled)) << "a manifest entry leaving the pool";
  EXPECT_FALSE(store.OriginFile("/", {{"maps", "1.0.0"}}, bundled)) << "no engine in the generation";

  EXPECT_EQ(store.PoolFile("maps", "m/harbor.json", bundled, bundled), bundle_ / "maps/m/harbor.json");
  EXPECT_FALSE(store.PoolFile("maps", "secret.json", bundled, bundled)) << "not bound";
  EXPECT_FALSE(store.PoolFile("maps", "../maps/m/harbor.json", bundled, bundled));
  EXPECT_EQ(store.PoolFile("art", "hero.svg", withoutMaps, bundled), bundle_ / "art/hero.svg");
  // A version that is a path must not reach outside the package store.
  EXPECT_FALSE(store.Manifest("maps", {{"maps", "../../bundle/maps"}}, bundled));

  // A manifest rewritten in place counts at once, even with the same size
  // and within one tick of the file clock; a broken or missing one gives
  // nothing.
  Write(bundle_ / "engine/pool-manifest.json",
        R"({"version":"1.0.0","index":"index.html","files":{"engine/game.jz":"game.js","x":"../secret"}})");
  EXPECT_FALSE(store.OriginFile("/engine/game.js", bundled, bundled));
  EXPECT_EQ(store.OriginFile("/engine/game.jz", bundled, bundled), bundle_ / "engine/game.js");
  Write(bundle_ / "engine/pool-manifest.json", "{");
  EXPECT_FALSE(store.OriginFile("/engine/game.jz", bundled, bundled));
  fs::remove(bundle_ / "engine/pool-manifest.json");
  EXPECT_FALSE(store.Manifest("engine", bundled, bundled));
}

TEST_F(ServiceStoreTest, AcceptedUpdateBecomesANewGenerationThatSurvivesARestart) {
  Write(bundle_ / "art/pool-manifest.json", R"({"version":"1.0.0"})");
  ResourceStore store(bundle_, data_ / "packages");
  // A downloaded maps 1.1.0 with other content.
  Write(data_ / "packages/maps/1.1.0/pool-manifest.json",
        R"({"version":"1.1.0","bindings":{"https://a.test/m.json":"m/harbor.json"}})");
  Write(data_ / "packages/maps/1.1.0/m/harbor.json", "harbor 2");
  {
    ServiceState state(Setup(), store);
    ASSERT_EQ(
        state
            .Control({{"pending",
                       {{"revision", 7.9}, {"notes", "n"}, {"versions", {{"maps", "1.1.0"}, {"engine", "1.0.1"}}}}}})
            .status,
        200);
    // Pending means downloaded: what was not, comes from the bundle now.
    EXPECT_TRUE(fs::exists(data_ / "packages/engine/1.0.1/pool-manifest.json"));
    EXPECT_EQ(state.Control({{"pending", {{"revision", 1}, {"versions", "1.0"}}}}).status, 400);
    const json shown = state.State()["pending"];
    EXPECT_EQ(shown, json({{"revision", 7.9}, {"notes", "n"}})) << "our own members stay inside";
    const double activation = state.State()["activation"];

    EXPECT_EQ(state.Accept("{\"revision\":8}").status, 409);
    EXPECT_EQ(state.Accept("{\"revision\":\"7\"}").status, 400);
    EXPECT_EQ(state.Accept("not json").status, 400);
    // Packages that vanished since the update became pending fail the accept.
    fs::rename(data_ / "packages/maps/1.1.0", data_ / "packages/maps/away");
    EXPECT_EQ(state.Accept("{\"revision\":7}").status, 500);
    EXPECT_TRUE(state.State().contains("pending"));
    fs::rename(data_ / "packages/maps/away", data_ / "packages/maps/1.1.0");
    ASSERT_EQ(state.Accept("{\"revision\":7}").status, 200);

    const json after = state.State();
    EXPECT_EQ(after["generation"], "r7");
    EXPECT_EQ(after["generations"]["r7"], json({{"engine", "1.0.1"}, {"maps", "1.1.0"}, {"art", "1.0.0"}}));
    EXPECT_EQ(after["generations"]["bundled"]["maps"], "1.0.0");
    EXPECT_FALSE(after.contains("pending"));
    EXPECT_GT(after["activation"].get<double>(), activation);
    EXPECT_EQ(state.Accept("{\"revision\":7}").status, 409) << "nothing pending any more";
  }
  ServiceState restarted(Setup(), store);
  EXPECT_EQ(restarted.generation(), "r7");
  const auto served = restarted.ServedGeneration("");
  ASSERT_TRUE(served);
  EXPECT_EQ(store.PoolFile("maps", "m/harbor.json", *served, restarted.bundled()),
            data_ / "packages/maps/1.1.0/m/harbor.json");
  EXPECT_TRUE(restarted.ServedGeneration("bundled"));
  EXPECT_FALSE(restarted.ServedGeneration("r8"));

  // A generation whose packages went missing is neither listed (the client
  // would stop on its manifests) nor kept as the current one.
  fs::remove_all(data_ / "packages/maps/1.1.0");
  ServiceState damaged(Setup(), store);
  EXPECT_EQ(damaged.generation(), "bundled");
  EXPECT_FALSE(damaged.State()["generations"].contains("r7"));
  EXPECT_TRUE(damaged.State()["generations"].contains("bundled"));
}

TEST_F(ServiceStoreTest, DeferAndControlRules) {
  Write(bundle_ / "art/pool-manifest.json", R"({"version":"1.0.0"})");
  ResourceStore store(bundle_, data_ / "packages");
  ServiceState state(Setup(), store);
  EXPECT_TRUE(state.Launch()["ready"].get<bool>());
  EXPECT_EQ(state.Defer("{\"revision\":1}").status, 409) << "nothing pending";
  ASSERT_EQ(state.Control({{"pending", {{"revision", 3}}}, {"updateGate", true}}).status, 200);
  EXPECT_EQ(state.Defer("{\"revision\":3}").status, 409) << "the gate is closed";
  EXPECT_FALSE(state.Launch()["ready"].get<bool>());
  ASSERT_EQ(state.Control({{"updateGate", false}}).status, 200);
  EXPECT_EQ(state.Defer("{\"revision\":3}").status, 200);
  EXPECT_TRUE(state.State()["pending"]["deferred"].get<bool>());

  // Members of the wrong type are ignored, not thrown over.
  ASSERT_EQ(state.Control({{"pending", {{"revision", 1e300}, {"client", 5}}}}).status, 200);
  EXPECT_EQ(state.Accept("{\"revision\":0}").status, 409);
  ASSERT_EQ(state.Control({{"pending", {{"revision", 4}, {"client", 5}}}}).status, 200);
  EXPECT_EQ(state.Accept("{\"revision\":4}").status, 200);
  EXPECT_EQ(state.generation(), "r4") << "a resource update without versions still makes a new generation";
  // A client update changes the client, not the generation.
  ASSERT_EQ(state.Control({{"pending", {{"revision", 5}, {"client", "0.6.13"}, {"clientPath", "C:/n"}}}}).status, 200);
  EXPECT_EQ(state.Accept("{\"revision\":5}").status, 200);
  EXPECT_EQ(state.generation(), "r4");
  EXPECT_EQ(state.State()["client"], "0.6.13");
  EXPECT_EQ(state.State()["clientPath"], "C:/n");

  // A refused key leaves everything as it was.
  const json before = state.State();
  EXPECT_EQ(state.Control({{"client", "0.7.0"}, {"clientPth", "x"}}).status, 400);
  EXPECT_EQ(state.Control({{"generation", "unknown"}}).status, 400);
  EXPECT_EQ(state.Control({{"networkEnforced", true}}).status, 500) << "no proxy running";
  for (const char* fault : {R"({"delayMs":"slow"})", R"({"delayMs":1e12})", R"({"status":42})", R"({"times":-2})",
                            R"({"drop":1})", R"({"pth":"/"})", R"("/api/host")"}) {
    EXPECT_EQ(state.Control({{"faults", {json::parse(fault)}}}).status, 400) << fault;
  }
  EXPECT_EQ(state.Control({{"upgradeDelayMs", 0.5}}).status, 400);
  EXPECT_EQ(state.State(), before);

  // Commands come back until a heartbeat reports their id.
  ASSERT_EQ(state.Control({{"commands", {{{"type", "open"}, {"url", "u1"}}, {{"type", "x"}}}}}).status, 200);
  EXPECT_EQ(state.Host(R"({"after":0})").body["commands"].size(), 2u);
  EXPECT_EQ(state.Host(R"({"after":1})").body["commands"], json::parse(R"([{"id":2,"type":"x"}])"));
  EXPECT_EQ(state.Host(R"({"after":2})").body["commands"], json::array());
  EXPECT_EQ(state.Host(R"({"after":0})").body["commands"], json::array()) << "a restarted client";
  EXPECT_EQ(state.Host("[]").status, 400);

  state.SetProxyPort(4100);
  ASSERT_EQ(state.Control({{"networkEnforced", true}}).status, 200);
  const json enforced = state.State();
  EXPECT_EQ(enforced["browserProxy"]["server"], "http://127.0.0.1:4100");
  EXPECT_EQ(enforced["browserProxy"]["bypass_list"], "<-loopback>");
  EXPECT_EQ(enforced["browserProxyAuth"], json({{"host", "127.0.0.1"}, {"port", 4100}, {"username", "kesta"}}));
  EXPECT_EQ(enforced["networkRevision"], before["networkRevision"].get<int>() + 1);
}

// The heartbeat exactly as the client's JSON writer makes it.
constexpr char kHeartbeat[] =
    R"({"after":3,"browserNetworkEnforced":true,"error":"","gameWindowCount":1,"networkError":"",)"
    R"("networkRestartRequired":false,"networkRevision":2,"pid":42,"proxyRevision":1.5,"version":"0.6.12",)"
    R"("windows":[{"generation":"g1","id":1,"url":"https://x/"},{"generation":"","id":2,"url":"https://y/"}]})";

TEST(ServiceProtocol, HeartbeatDocuments) {
  EXPECT_EQ(HeartbeatViolations(kHeartbeat, "0.6.12"), std::vector<std::string>());
  auto edited = [](const std::string& from, const std::string& to) {
    std::string text = kHeartbeat;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const struct {
    std::string body;
    const char* violation;
  } cases[] = {
      {edited("\"after\":3,", "") + "x", "heartbeat is not a JSON object"},
      {edited("\"error\":\"\",", "\"error\": \"\","), "heartbeat is not compact JSON"},
      {edited("{\"after\":3,\"browserNetworkEnforced\":true,", "{\"browserNetworkEnforced\":true,\"after\":3,"),
       "heartbeat: member \"after\" out of the writer's sorted order (after \"browserNetworkEnforced\")"},
      {edited("{\"generation\":\"g1\",\"id\":1", "{\"id\":1,\"generation\":\"g1\""),
       "heartbeat: member \"generation\" out of the writer's sorted order (after \"id\")"},
      {edited("\"after\":3", "\"after\":3.0"), "heartbeat: whole number written with a fraction: 3.0"},
      {edited("\"after\":3", "\"after\":3e0"), "heartbeat: whole number written with a fraction: 3e0"},
      {edited("\"error\":\"\",", ""), "heartbeat lacks \"error\""},
      {edited("\"error\":\"\",", "\"error\":\"\",\"extra\":1,"), "heartbeat has an unexpected member \"extra\""},
      {edited("\"pid\":42", "\"pid\":\"42\""), "heartbeat \"pid\" is not an integer"},
      {edited("\"proxyRevision\":1.5", "\"proxyRevision\":\"1\""), "heartbeat \"proxyRevision\" is not a number"},
      {edited("\"networkRevision\":2", "\"networkRevision\":-1"), "heartbeat carries a negative \"networkRevision\""},
      {edited("0.6.12", "0.6.11"), "heartbeat version \"0.6.11\" is not 0.6.12"},
      {edited("\"id\":2,", "\"id\":2,\"title\":\"t\","), "heartbeat window has an unexpected member \"title\""},
      {edited(",\"id\":2", ""), "heartbeat window lacks \"id\""},
      {edited("\"gameWindowCount\":1", "\"gameWindowCount\":2"),
       "heartbeat gameWindowCount 2 but 1 windows carry a generation"},
  };
  for (const auto& c : cases) {
    const auto found = HeartbeatViolations(c.body, "0.6.12");
    EXPECT_EQ(found, std::vector<std::string>{c.violation}) << c.body;
  }
}

TEST(ServiceProtocol, UpdateBodiesPoolNamesAndTheToken) {
  EXPECT_EQ(UpdateRequestRevision(R"({"revision":7})"), 7);
  EXPECT_EQ(UpdateRequestRevision(R"({"revision":-3})"), -3);
  EXPECT_EQ(UpdateRequestRevision(R"({"revision":0})"), 0);
  for (const char* wrong :
       {R"({"revision":7.9})", R"({"revision": 7})", R"({"revision":07})", R"({"revision":"7"})", R"({"revision":})",
        R"({"revision":-})", "{}", R"({"revision":7} )", R"({"revision":99999999999999999999})"})
    EXPECT_FALSE(UpdateRequestRevision(wrong)) << wrong;

  EXPECT_EQ(EncodePoolName("tiles/x y.png"), "tiles%2Fx%20y.png");
  EXPECT_EQ(EncodePoolName("a-_.!~*'()Z9"), "a-_.!~*'()Z9");
  EXPECT_EQ(EncodePoolName("\xe4\xb8\xad+"), "%E4%B8%AD%2B");
  EXPECT_EQ(DecodeLikeTheClient("/a%2Fb%5C%20c%41%09%e4%b8%ad"), "/a%2Fb%5C cA%09\xe4\xb8\xad");
  // The service's own endpoints under spellings a decoding router takes for them.
  EXPECT_EQ(RoutedPath("/API//x%2F..%5C%2575pdates;v=1/.%20/ACCEPT.%20?q=%2F#f"), "/api/updates/accept");
  EXPECT_EQ(RoutedPath("/api/updates/x/.. /"), "/api/updates/");
  EXPECT_EQ(RoutedPath("/api/updates"), "/api/updates");
  EXPECT_EQ(RoutedPath("/../.."), "/");

  const std::string token = "secret-token-of-the-service";
  EXPECT_TRUE(CarriesToken("x" + token, token));
  EXPECT_TRUE(CarriesToken("t=%73ecret-token-of-the-service", token)) << "percent-encoded";
  EXPECT_TRUE(CarriesToken("basic a2VzdGE6c2VjcmV0LXRva2VuLW9mLXRoZS1zZXJ2aWNl", token)) << "Basic credentials";
  EXPECT_FALSE(CarriesToken("Basic a2VzdGE6eA==", token));
  EXPECT_FALSE(CarriesToken(token.substr(1), token));
  EXPECT_FALSE(CarriesToken("anything", ""));

  // The Host of a request to an origin, the default port left out or not.
  EXPECT_TRUE(HostNames("127.0.0.1:8123", "http://127.0.0.1:8123"));
  EXPECT_TRUE(HostNames("localhost:8123", "http://localhost:8123"));
  EXPECT_TRUE(HostNames("127.0.0.1", "http://127.0.0.1:80"));
  EXPECT_TRUE(HostNames("127.0.0.1:80", "http://127.0.0.1"));
  EXPECT_FALSE(HostNames("127.0.0.1", "http://127.0.0.1:8080"));
  EXPECT_FALSE(HostNames("localhost:8123", "http://127.0.0.1:8123"));
  EXPECT_FALSE(HostNames("127.0.0.1:443", "https://127.0.0.1:443"));

  // The loopback proxy's credentials go to it alone; the token and the
  // generation header travel only toward the service.
  using Headers = std::vector<std::pair<std::string, std::string>>;
  const std::string credentials = "Basic a2VzdGE6c2VjcmV0LXRva2VuLW9mLXRoZS1zZXJ2aWNl";  // kesta:<token>
  const Headers proxied = {
      {"Proxy-Authorization", credentials}, {"X-KESTA-Generation", "g1"}, {"Authorization", "Bearer " + token}};
  EXPECT_EQ(ProxiedViolations(proxied, "http://127.0.0.1:1/api/x", true, token, {}), std::vector<std::string>());
  EXPECT_EQ(ProxiedViolations(proxied, "http://example.test/", false, token, {}),
            (std::vector<std::string>{"X-KESTA-Generation sent through the proxy to another origin",
                                      "the token in the Authorization header sent through the proxy"}));
  EXPECT_EQ(ProxiedViolations({{"proxy-authorization", "basic a2VzdGE6eA=="}}, "x:443", true, token, {}),
            std::vector<std::string>{"proxy credentials other than \"kesta\" and the token"});
  EXPECT_EQ(ProxiedViolations({{"Proxy-Authorization", "Basic a2VzdGE6eA=="}}, "x:443", true, token, {"y", "x"}),
            std::vector<std::string>())
      << "the token of a service replaced since";
  EXPECT_EQ(ProxiedViolations({{"Cookie", "t=" + token}}, "http://example.test/?" + token, false, token, {}),
            (std::vector<std::string>{"the token in the Cookie header sent through the proxy",
                                      "the token in the target of a proxied request"}));
}

TEST(ServiceProtocol, HeartbeatPaceAndOrder) {
  using namespace std::chrono_literals;
  using Problems = std::vector<std::string>;
  const Problems astray = {"a launch request that does not follow a heartbeat's answer"};
  HeartbeatPacing pacing;
  HeartbeatPacing::Request host, launch, other;
  const auto t = HeartbeatPacing::Clock::now();
  EXPECT_EQ(pacing.HostArrived(1, false, t, host), Problems());
  EXPECT_EQ(pacing.LaunchArrived(t + 5ms, other), astray) << "before the heartbeat's answer";
  pacing.LaunchAnswered(other, t + 6ms);
  pacing.HostAnswered(host, t + 10ms);
  EXPECT_EQ(pacing.LaunchArrived(t + 12ms, launch), Problems());
  EXPECT_EQ(pacing.LaunchArrived(t + 13ms, other), (Problems{"a launch request while another is open", astray[0]}));
  pacing.LaunchAnswered(launch, t + 20ms);
  // Measured from the launch answer, which ends the exchange.
  EXPECT_EQ(pacing.HostArrived(1, false, t + 800ms, host), Problems{"a heartbeat 780 ms after the previous reply"});
  EXPECT_EQ(pacing.HostArrived(1, false, t + 900ms, host),
            Problems{"a heartbeat while the previous exchange is still open"});
  pacing.HostAnswered(host, t + 950ms);
  EXPECT_EQ(pacing.HostArrived(2, false, t + 960ms, other), Problems()) << "another client";
  pacing.HostAnswered(other, t + 970ms);

  // The client gives up on an answer after its time-out and asks for the
  // launch at once; the late answers are no replies it saw.
  auto at = t + 2s;
  EXPECT_EQ(pacing.HostArrived(1, false, at, host), Problems());
  EXPECT_EQ(pacing.LaunchArrived(at + 2900ms, launch), Problems());
  EXPECT_EQ(pacing.HostArrived(1, false, at + 2900ms + 3s, other), Problems()) << "the launch was given up on too";
  pacing.HostAnswered(host, at + 6500ms);
  pacing.LaunchAnswered(launch, at + 6500ms);
  pacing.HostAnswered(other, at + 6600ms);
  EXPECT_EQ(pacing.LaunchArrived(at + 6610ms, launch), Problems());
  pacing.LaunchAnswered(launch, at + 6620ms);

  // Once a heartbeat shows a game window, the launch was admitted.
  at = t + 10s;
  EXPECT_EQ(pacing.HostArrived(1, true, at, host), Problems());
  pacing.HostAnswered(host, at + 3500ms);
  EXPECT_EQ(pacing.HostArrived(1, true, at + 4s, host), Problems()) << "paced from the time-out, not the answer";
  pacing.HostAnswered(host, at + 4010ms);
  EXPECT_EQ(pacing.LaunchArrived(at + 4020ms, launch), Problems{"a launch request after the launch was admitted"});
  pacing.LaunchAnswered(launch, at + 4030ms);
  EXPECT_EQ(pacing.LaunchArrived(at + 20s, launch), astray) << "long after the heartbeat";
  EXPECT_TRUE(pacing.Knows(2));
  EXPECT_FALSE(pacing.Knows(3));
}

TEST_F(ServiceStoreTest, StatesTellWhatTheClientMayNameAndCanBeSparse) {
  Write(bundle_ / "art/pool-manifest.json", R"({"version":"1.0.0"})");
  ResourceStore store(bundle_, data_ / "packages");
  ServiceState state(Setup(), store);
  ASSERT_EQ(state.Control({{"generations", {{"g2", {{"engine", "1.0.0"}}}, {"g3", {{"maps", "9"}}}}}}).status, 200);
  ASSERT_EQ(state.Control({{"pending", {{"revision", 7.9}, {"notes", ""}}}}).status, 200);
  EXPECT_FALSE(state.Reported("g2")) << "not yet in a state the client saw";
  EXPECT_FALSE(state.PendingReported(7));
  EXPECT_FALSE(state.UpgradeDue());
  const json info = state.Info();
  EXPECT_TRUE(state.Reported("bundled"));
  EXPECT_TRUE(state.Reported("g2"));
  EXPECT_FALSE(state.Reported("g3")) << "its packages are missing, so it is not listed";
  EXPECT_TRUE(state.PendingReported(7));
  ASSERT_EQ(state.Control({{"clientPath", "C:/n"}, {"client", kCurrentVersion}, {"serviceVersion", "0.6.11"}}).status,
            200);
  state.Info();
  EXPECT_TRUE(state.UpgradeDue());

  // Sparse: members that read as missing anyway are left out, and numbers
  // other than the proxy's port carry a fraction.
  EXPECT_EQ(state.Shape(info), info);
  state.SetProxyPort(4100);
  ASSERT_EQ(state.Control({{"sparseState", true}, {"networkEnforced", true}, {"activation", 3}}).status, 200);
  const json sparse = state.Shape(state.Info());
  const json& shown = sparse["state"];
  for (const char* missing : {"migrationSources", "accessRootSPKI", "error", "updateGate"})
    EXPECT_FALSE(shown.contains(missing)) << missing;
  EXPECT_FALSE(shown["pending"].contains("notes"));
  EXPECT_EQ(shown["activation"].dump(), "3.0");
  EXPECT_EQ(shown["pending"]["revision"].dump(), "7.9");
  EXPECT_EQ(shown["browserProxyAuth"]["port"].dump(), "4100");
  EXPECT_EQ(shown["generation"], "bundled");
  EXPECT_EQ(state.Shape(state.Launch())["state"]["networkRevision"].dump(), "2.0");

  // A game window keeps the origin its launch was admitted with.
  EXPECT_FALSE(state.PageOrigin("http://localhost:4000"));
  ASSERT_EQ(state.Control({{"siteOrigin", "http://localhost:4000"}}).status, 200);
  EXPECT_TRUE(state.Launch()["ready"].get<bool>());
  ASSERT_EQ(state.Control({{"siteOrigin", "https://other.test"}}).status, 200);
  EXPECT_TRUE(state.PageOrigin("http://localhost:4000"));
}

// What the client may echo in its heartbeat: the command ids and the
// activations the service gave out, and each generation's bindings as the
// service first listed it, also after a restart of the service.
TEST_F(ServiceStoreTest, WhatTheClientSawStaysAsItSawIt) {
  ResourceStore store(bundle_, data_ / "packages");
  {
    ServiceState state(Setup(), store);
    ASSERT_EQ(state.Control({{"commands", {{{"type", "open"}}, {{"type", "open"}}}}, {"activation", 7}}).status, 200);
    EXPECT_EQ(state.HighestCommandId(), 2);
    EXPECT_FALSE(state.ActivationSent(7));
    state.Host("{}");
    EXPECT_TRUE(state.ActivationSent(7));
    ASSERT_EQ(state.Control({{"activation", 8}}).status, 200);
  }
  ServiceState restarted(Setup(), store);
  EXPECT_EQ(restarted.HighestCommandId(), 2);
  ASSERT_EQ(restarted.Control({{"commands", {{{"type", "open"}}}}}).status, 200);
  EXPECT_EQ(restarted.Host(R"({"after":2})").body["commands"], json::parse(R"([{"id":3,"type":"open"}])"))
      << "a client that ran on keeps its acknowledgement";
  EXPECT_TRUE(restarted.ActivationSent(7));
  EXPECT_FALSE(restarted.ActivationSent(8)) << "never sent";

  const auto first = restarted.BoundManifest("bundled", "maps");
  ASSERT_TRUE(first);
  Write(bundle_ / "maps/pool-manifest.json", R"({"version":"1.0.0","bindings":{}})");
  restarted.Info();
  EXPECT_EQ(restarted.BoundManifest("bundled", "maps"), first);
  EXPECT_TRUE(first->at("bindings").contains("https://a.test/m.json"));
  EXPECT_FALSE(restarted.BoundManifest("g9", "maps")) << "never listed";
}

}  // namespace
}  // namespace kesta::service
