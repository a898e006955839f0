#include "core/preference_store.h"

#include <gtest/gtest.h>

namespace cef_internal {
namespace {

CefRefPtr<CefValue> String(const char* text) {
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetString(text);
  return value;
}

CefRefPtr<CefValue> Int(int number) {
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetInt(number);
  return value;
}

CefRefPtr<CefValue> Dictionary(const char* key, const char* text) {
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  dict->SetString(key, text);
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetDictionary(dict);
  return value;
}

CefRefPtr<CefValue> EmptyList() {
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetList(CefListValue::Create());
  return value;
}

class PreferenceStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(store_.Register("proxy", Dictionary("mode", "system")));
    ASSERT_TRUE(store_.Register("webrtc.ip_handling_policy", String("default")));
    ASSERT_TRUE(store_.Register("webrtc.ip_handling_url", EmptyList()));
  }

  PreferenceStore store_;
};

TEST_F(PreferenceStoreTest, RegistrationRejectsDuplicatesAndUntypedDefaults) {
  EXPECT_FALSE(store_.Register("proxy", Dictionary("mode", "direct")));
  EXPECT_FALSE(store_.Register("", String("x")));
  EXPECT_FALSE(store_.Register("app.null", CefValue::Create()));
  EXPECT_FALSE(store_.Register("app.none", nullptr));
  EXPECT_TRUE(store_.Register("app.count", Int(3)));
  EXPECT_EQ(3, store_.Get("app.count")->GetInt());
  // The first registration's default survives the refused second one.
  EXPECT_EQ("system", store_.Get("proxy")->GetDictionary()->GetString("mode").ToString());
}

TEST_F(PreferenceStoreTest, WrongTypesAreRefusedWithChromiumTexts) {
  struct Case {
    const char* name;
    CefRefPtr<CefValue> value;
    const char* error;
  } cases[] = {
      {"proxy", String("direct"), "Trying to set a preference of type DICTIONARY to value of type STRING"},
      {"proxy", EmptyList(), "Trying to set a preference of type DICTIONARY to value of type LIST"},
      {"proxy", CefValue::Create(), "Trying to set a preference of type DICTIONARY to value of type NULL"},
      {"webrtc.ip_handling_policy", Int(1), "Trying to set a preference of type STRING to value of type INTEGER"},
      {"webrtc.ip_handling_url", Dictionary("url", "x"),
       "Trying to set a preference of type LIST to value of type DICTIONARY"},
      {"webrtc.ip_handling_url", String(""), "Trying to set a preference of type LIST to value of type STRING"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    std::string error;
    EXPECT_FALSE(store_.Set(c.name, c.value, error));
    EXPECT_EQ(c.error, error);
    EXPECT_EQ(0, store_.WriteCount(c.name));
  }
  std::string error;
  EXPECT_FALSE(store_.Set("no.such.pref", String("x"), error));
  EXPECT_EQ("Trying to modify an unregistered preference", error);
}

TEST_F(PreferenceStoreTest, ValuesAreCopiedInAndOut) {
  CefRefPtr<CefValue> value = Dictionary("mode", "direct");
  std::string error;
  ASSERT_TRUE(store_.Set("proxy", value, error));
  // Later edits of the caller's value, or of a value read back, change
  // nothing stored.
  value->GetDictionary()->SetString("mode", "fixed_servers");
  CefRefPtr<CefValue> read = store_.Get("proxy");
  read->GetDictionary()->SetString("mode", "pac_script");
  EXPECT_EQ("direct", store_.Get("proxy")->GetDictionary()->GetString("mode").ToString());
  EXPECT_EQ(1, store_.WriteCount("proxy"));
}

TEST_F(PreferenceStoreTest, NullValueRestoresTheDefault) {
  std::string error;
  ASSERT_TRUE(store_.Set("webrtc.ip_handling_policy", String("disable_non_proxied_udp"), error));
  ASSERT_TRUE(store_.Set("webrtc.ip_handling_policy", nullptr, error));
  EXPECT_EQ("default", store_.Get("webrtc.ip_handling_policy")->GetString().ToString());
}

TEST_F(PreferenceStoreTest, GetAllNestsDottedNamesAndCanSkipDefaults) {
  std::string error;
  ASSERT_TRUE(store_.Set("webrtc.ip_handling_policy", String("default_public_interface_only"), error));
  CefRefPtr<CefDictionaryValue> all = store_.GetAll(true);
  EXPECT_EQ(VTYPE_DICTIONARY, all->GetType("proxy"));
  CefRefPtr<CefDictionaryValue> webrtc = all->GetDictionary("webrtc");
  ASSERT_TRUE(webrtc);
  EXPECT_EQ("default_public_interface_only", webrtc->GetString("ip_handling_policy").ToString());
  EXPECT_EQ(VTYPE_LIST, webrtc->GetType("ip_handling_url"));

  CefRefPtr<CefDictionaryValue> changed = store_.GetAll(false);
  EXPECT_FALSE(changed->HasKey("proxy"));
  ASSERT_TRUE(changed->GetDictionary("webrtc"));
  EXPECT_EQ(1u, changed->GetDictionary("webrtc")->GetSize());
}

TEST_F(PreferenceStoreTest, InjectedFaults) {
  std::string error;
  PreferenceStore::Faults unsettable;
  unsettable.unsettable = true;
  store_.SetFaults("proxy", unsettable);
  EXPECT_TRUE(store_.Has("proxy"));
  EXPECT_FALSE(store_.CanSet("proxy"));
  EXPECT_FALSE(store_.Set("proxy", Dictionary("mode", "direct"), error));
  EXPECT_EQ("Trying to modify a preference that is not user modifiable", error);

  PreferenceStore::Faults failing;
  failing.fail_text = "disk full";
  store_.SetFaults("proxy", failing);
  EXPECT_TRUE(store_.CanSet("proxy"));
  error.clear();
  EXPECT_FALSE(store_.Set("proxy", Dictionary("mode", "direct"), error));
  EXPECT_EQ("disk full", error);
  // A type error is still reported as such.
  EXPECT_FALSE(store_.Set("proxy", String("direct"), error));
  EXPECT_EQ("Trying to set a preference of type DICTIONARY to value of type STRING", error);

  PreferenceStore::Faults dropping;
  dropping.drop_writes = true;
  store_.SetFaults("proxy", dropping);
  EXPECT_TRUE(store_.Set("proxy", Dictionary("mode", "direct"), error));
  EXPECT_EQ("system", store_.Get("proxy")->GetDictionary()->GetString("mode").ToString());
  EXPECT_EQ(1, store_.WriteCount("proxy"));

  store_.Unregister("proxy");
  EXPECT_FALSE(store_.Has("proxy"));
  EXPECT_FALSE(store_.Get("proxy"));
  EXPECT_FALSE(store_.CanSet("proxy"));
}

TEST_F(PreferenceStoreTest, FaultsSetBeforeRegistrationApplyOnRegistration) {
  PreferenceStore::Faults failing;
  failing.fail_text = "";
  store_.SetFaults("app.later", failing);
  ASSERT_TRUE(store_.Register("app.later", String("a")));
  std::string error = "untouched";
  EXPECT_FALSE(store_.Set("app.later", String("b"), error));
  EXPECT_EQ("", error);
}

}  // namespace
}  // namespace cef_internal
