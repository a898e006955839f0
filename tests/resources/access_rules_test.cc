// Request access rules for requests without a browser, and the migration
// pages. Requests from game browsers, web windows and frames go through the
// runtime in game_access_test.cc.
#include <gtest/gtest.h>

#include <mutex>

#include "desktop/desktop.h"
#include "desktop/desktop_state.h"
#include "include/cef_request.h"
#include "private_origin.h"

namespace kesta::desktop {
namespace {

constexpr char kToken[] = "0123456789abcdef0123456789abcdef";

class AccessRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    token = kToken;
    localOrigin = "http://127.0.0.1:8123";
    accessRootSPKI = "spki";
    migrationSources = {"https://old.example"};
    setOrigin("https://game.example");
    networkPolicy.contextsApplied = true;
  }

  void setOrigin(const std::string& value) {
    std::lock_guard lock(browserMutex);
    origin = value;
  }

  CefRefPtr<CefRequest> request(const std::string& url, const CefRequest::HeaderMap& headers = {}) {
    CefRefPtr<CefRequest> result = CefRequest::Create();
    result->SetURL(url);
    result->SetHeaderMap(headers);
    return result;
  }

  static std::multimap<std::string, std::string> headersOf(CefRefPtr<CefRequest> request) {
    CefRequest::HeaderMap map;
    request->GetHeaderMap(map);
    std::multimap<std::string, std::string> out;
    for (const auto& [name, value] : map)
      out.emplace(name.ToString(), value.ToString());
    return out;
  }
};

TEST_F(AccessRulesTest, BeforeThePolicyIsInForceOnlyTheSiteOriginIsReachable) {
  networkPolicy.contextsApplied = false;
  // Look-alikes of the origin included: only the origin followed by "/" is
  // the origin.
  for (const char* url : {"https://elsewhere.example/x", "https://game.example.evil.test/x",
                          "https://game.example:8443/x", "https://game.example@evil.test/x"})
    EXPECT_EQ(DesktopResource(nullptr, nullptr, request(url)), RV_CANCEL) << url;
  // The site origin passes rule 3; without a game browser it is refused later.
  EXPECT_EQ(DesktopResource(nullptr, nullptr, request("https://game.example/x")), RV_CANCEL);
  networkPolicy.contextsApplied = true;
  EXPECT_EQ(DesktopResource(nullptr, nullptr, request("https://elsewhere.example/x")), RV_CONTINUE);
}

TEST_F(AccessRulesTest, ClientCredentialsAreScrubbedFromForeignRequests) {
  CefRefPtr<CefRequest> foreign =
      request("https://elsewhere.example/x", {{"AUTHORIZATION", std::string("Bearer ") + kToken},
                                              {"Authorization", "Bearer someone-else"},
                                              {"X-Kesta-Generation", "g1"},
                                              {"x-kesta-generation", "g2"},
                                              {"Proxy-Authorization", "Basic abc"},
                                              {"Accept", "*/*"}});
  EXPECT_EQ(DesktopResource(nullptr, nullptr, foreign), RV_CONTINUE);
  std::multimap<std::string, std::string> expected = {{"Accept", "*/*"}, {"Authorization", "Bearer someone-else"}};
  EXPECT_EQ(headersOf(foreign), expected);
}

TEST_F(AccessRulesTest, TheServiceIsClosedToPagesUnlessItIsTheSiteOrigin) {
  EXPECT_EQ(DesktopResource(nullptr, nullptr, request("http://127.0.0.1:8123/api/info")), RV_CANCEL);
  // Another name of the same host is a foreign origin to these rules.
  EXPECT_EQ(DesktopResource(nullptr, nullptr, request("http://localhost:8123/api/info")), RV_CONTINUE);
  // With the service as the site origin, a request without a game browser is
  // still refused.
  setOrigin("http://127.0.0.1:8123");
  EXPECT_EQ(DesktopResource(nullptr, nullptr, request("http://127.0.0.1:8123/")), RV_CANCEL);
}

TEST_F(AccessRulesTest, MigrationPages) {
  const std::string privateOrigin = kPrivateOrigin;
  EXPECT_TRUE(DesktopMigrationURL(privateOrigin + "/__client/start"));
  EXPECT_FALSE(DesktopMigrationURL(privateOrigin + "/__client/start?x=1"));
  EXPECT_TRUE(DesktopMigrationURL(privateOrigin + "/__client/migration/a"));
  EXPECT_FALSE(DesktopMigrationURL(privateOrigin + "/__client/migration"));
  EXPECT_TRUE(DesktopMigrationURL("https://old.example/__client/migration/step"));
  EXPECT_FALSE(DesktopMigrationURL("https://old.example/__client/start"));
  // URLs come from CEF canonical: capitals in the host and the default port
  // never reach the comparison, and a dot segment cannot climb out of the
  // migration folder.
  EXPECT_TRUE(DesktopMigrationURL(request("HTTPS://OLD.example:443/__client/migration/step")->GetURL().ToString()));
  EXPECT_FALSE(DesktopMigrationURL(request("https://old.example/__client/migration/../start")->GetURL().ToString()));
  EXPECT_FALSE(DesktopMigrationURL("http://old.example/__client/migration/step"));
  EXPECT_FALSE(DesktopMigrationURL("https://old.example"));

  accessRootSPKI.clear();
  EXPECT_FALSE(DesktopMigrationURL(privateOrigin + "/__client/start"));
  EXPECT_EQ(DesktopAccessSPKI(), "");
}

}  // namespace
}  // namespace kesta::desktop
