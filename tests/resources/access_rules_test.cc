// Request access rules for requests without a browser, and the migration
// pages. Requests from game browsers, web windows and frames go through the
// runtime in game_access_test.cc.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "desktop/desktop.h"
#include "desktop/desktop_state.h"
#include "include/cef_request.h"
#include "private_origin.h"
#include "support/lookalike_origins.h"

namespace kesta::desktop {
namespace {

using kesta::testing::LookalikeOrigins;

constexpr char kToken[] = "0123456789abcdef0123456789abcdef";

class AccessRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    token = kToken;
    // A short port, so a look-alike can follow it with another digit.
    localOrigin = "http://127.0.0.1:812";
    accessRootSPKI = "spki";
    migrationSources = {"https://old.example", "https://older.example:8443"};
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
  // Only the origin followed by "/" is the origin: its look-alikes are as
  // foreign as any other site.
  std::vector<std::string> elsewhere = LookalikeOrigins("https://game.example");
  elsewhere.push_back("https://elsewhere.example");

  networkPolicy.contextsApplied = false;
  for (const std::string& other : elsewhere)
    EXPECT_EQ(DesktopResource(nullptr, nullptr, request(other + "/x")), RV_CANCEL) << other;
  // The site origin passes rule 3; without a game browser it is refused later.
  EXPECT_EQ(DesktopResource(nullptr, nullptr, request("https://game.example/x")), RV_CANCEL);

  // Once it is in force, foreign requests go ahead as the page wrote them.
  networkPolicy.contextsApplied = true;
  for (const std::string& other : elsewhere) {
    CefRefPtr<CefRequest> foreign = request(other + "/api/x");
    EXPECT_EQ(DesktopResource(nullptr, nullptr, foreign), RV_CONTINUE) << other;
    EXPECT_TRUE(headersOf(foreign).empty()) << other;
  }
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
  EXPECT_EQ(DesktopResource(nullptr, nullptr, request(localOrigin + "/api/info")), RV_CANCEL);
  // Only the exact origin is the service: another name of its host and
  // every look-alike are foreign origins to these rules.
  std::vector<std::string> others = LookalikeOrigins(localOrigin);
  others.push_back("http://localhost:812");
  for (const std::string& other : others)
    EXPECT_EQ(DesktopResource(nullptr, nullptr, request(other + "/api/info")), RV_CONTINUE) << other;
  // Nor does a site origin that only looks like the service's open it.
  for (const std::string& other : LookalikeOrigins(localOrigin)) {
    setOrigin(other);
    EXPECT_EQ(DesktopResource(nullptr, nullptr, request(localOrigin + "/api/info")), RV_CANCEL) << other;
  }
  // With the service as the site origin, a request without a game browser is
  // still refused.
  setOrigin(localOrigin);
  EXPECT_EQ(DesktopResource(nullptr, nullptr, request(localOrigin + "/")), RV_CANCEL);
}

TEST_F(AccessRulesTest, MigrationPages) {
  const std::string privateOrigin = kPrivateOrigin;
  EXPECT_TRUE(DesktopMigrationURL(privateOrigin + "/__client/start"));
  EXPECT_FALSE(DesktopMigrationURL(privateOrigin + "/__client/start?x=1"));
  EXPECT_TRUE(DesktopMigrationURL(privateOrigin + "/__client/migration/a"));
  EXPECT_FALSE(DesktopMigrationURL(privateOrigin + "/__client/migration"));
  for (const std::string& source : migrationSources) {
    EXPECT_TRUE(DesktopMigrationURL(source + "/__client/migration/step")) << source;
    EXPECT_FALSE(DesktopMigrationURL(source + "/__client/start")) << source;
  }
  // Origins are compared whole: a look-alike of the private origin or of a
  // source is a foreign site.
  for (const std::string& lookalike : LookalikeOrigins(privateOrigin)) {
    EXPECT_FALSE(DesktopMigrationURL(lookalike + "/__client/start")) << lookalike;
    EXPECT_FALSE(DesktopMigrationURL(lookalike + "/__client/migration/a")) << lookalike;
  }
  for (const std::string& source : migrationSources) {
    for (const std::string& lookalike : LookalikeOrigins(source))
      EXPECT_FALSE(DesktopMigrationURL(lookalike + "/__client/migration/step")) << lookalike;
  }
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
