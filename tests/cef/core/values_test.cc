// CefValue, CefDictionaryValue, CefListValue and CefBinaryValue: defaults,
// ownership and references, equality and copies.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

#include "include/cef_parser.h"
#include "include/cef_values.h"

namespace {

std::string Json(CefRefPtr<CefDictionaryValue> dict) {
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetDictionary(dict);
  return CefWriteJSON(value, JSON_WRITER_DEFAULT).ToString();
}

TEST(CefValues, MissingOrMistypedMembersReadAsDefaults) {
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  dict->SetInt("count", 3);
  dict->SetString("name", "kesta");
  dict->SetDouble("ratio", 0.5);
  dict->SetBool("on", true);

  EXPECT_EQ(dict->GetType("missing"), VTYPE_INVALID);
  EXPECT_EQ(dict->GetValue("missing"), nullptr);
  EXPECT_FALSE(dict->GetBool("count"));
  EXPECT_EQ(dict->GetInt("name"), 0);
  EXPECT_EQ(dict->GetDouble("count"), 0.0);  // an int is not read as a double
  EXPECT_EQ(dict->GetInt("ratio"), 0);
  EXPECT_EQ(dict->GetString("on"), CefString());
  EXPECT_EQ(dict->GetDictionary("name"), nullptr);
  EXPECT_EQ(dict->GetList("missing"), nullptr);
  EXPECT_EQ(dict->GetBinary("count"), nullptr);
  EXPECT_EQ(dict->GetInt("count"), 3);

  CefRefPtr<CefListValue> list = CefListValue::Create();
  list->SetString(0, "x");
  EXPECT_EQ(list->GetType(1), VTYPE_INVALID);
  EXPECT_EQ(list->GetValue(1), nullptr);
  EXPECT_FALSE(list->GetBool(0));
  EXPECT_EQ(list->GetDictionary(0), nullptr);

  CefRefPtr<CefValue> value = CefValue::Create();
  EXPECT_EQ(value->GetType(), VTYPE_NULL);
  EXPECT_EQ(value->GetInt(), 0);
  EXPECT_EQ(value->GetDictionary(), nullptr);
  value->SetString("text");
  EXPECT_EQ(value->GetType(), VTYPE_STRING);
  EXPECT_FALSE(value->GetBool());
}

TEST(CefValues, DictionaryKeysAreSortedByUtf8Bytes) {
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  for (const char* key : {"b", "\xC3\xA9", "a", "B", "10", "9", "", "a0"})
    dict->SetNull(key);
  CefDictionaryValue::KeyList keys = {CefString("kept")};
  ASSERT_TRUE(dict->GetKeys(keys));
  std::vector<std::string> order;
  for (const CefString& key : keys)
    order.push_back(key.ToString());
  // GetKeys appends after what the caller already had.
  EXPECT_EQ(order, (std::vector<std::string>{"kept", "", "10", "9", "B", "a", "a0", "b", "\xC3\xA9"}));
}

TEST(CefValues, SettingAnUnownedContainerMovesItIn) {
  CefRefPtr<CefDictionaryValue> parent = CefDictionaryValue::Create();
  CefRefPtr<CefDictionaryValue> child = CefDictionaryValue::Create();
  child->SetInt("n", 1);
  EXPECT_FALSE(child->IsOwned());
  ASSERT_TRUE(parent->SetDictionary("child", child));
  EXPECT_FALSE(child->IsValid());
  EXPECT_FALSE(child->SetInt("n", 2));
  EXPECT_EQ(child->GetSize(), 0u);

  // Children handed out are references: edits land in the parent.
  CefRefPtr<CefDictionaryValue> ref = parent->GetDictionary("child");
  ASSERT_TRUE(ref);
  EXPECT_TRUE(ref->IsOwned());
  EXPECT_TRUE(ref->IsSame(parent->GetDictionary("child")));
  ref->SetString("added", "yes");
  EXPECT_EQ(Json(parent), R"({"child":{"added":"yes","n":1}})");

  // An owned container is copied, so the two stay independent.
  CefRefPtr<CefDictionaryValue> other = CefDictionaryValue::Create();
  ASSERT_TRUE(other->SetDictionary("copy", ref));
  EXPECT_TRUE(ref->IsValid());
  other->GetDictionary("copy")->SetInt("n", 5);
  EXPECT_EQ(ref->GetInt("n"), 1);

  CefRefPtr<CefListValue> list = CefListValue::Create();
  list->SetInt(0, 4);
  CefRefPtr<CefListValue> outer = CefListValue::Create();
  ASSERT_TRUE(outer->SetList(0, list));
  EXPECT_FALSE(list->IsValid());
  EXPECT_EQ(outer->GetList(0)->GetInt(0), 4);

  EXPECT_FALSE(parent->SetDictionary("null", nullptr));
  EXPECT_FALSE(parent->SetDictionary("invalid", child));
}

TEST(CefValues, ReferencesDieWithTheirSlot) {
  CefRefPtr<CefDictionaryValue> parent = CefDictionaryValue::Create();
  parent->SetDictionary("a", CefDictionaryValue::Create());
  parent->GetDictionary("a")->SetList("deep", CefListValue::Create());
  CefRefPtr<CefDictionaryValue> a = parent->GetDictionary("a");
  CefRefPtr<CefListValue> deep = a->GetList("deep");
  ASSERT_TRUE(deep->IsValid());

  parent->SetInt("a", 1);  // replaced
  EXPECT_FALSE(a->IsValid());
  EXPECT_FALSE(deep->IsValid());
  EXPECT_FALSE(deep->SetInt(0, 1));
  EXPECT_EQ(a->GetType("deep"), VTYPE_INVALID);

  parent->SetDictionary("b", CefDictionaryValue::Create());
  CefRefPtr<CefDictionaryValue> b = parent->GetDictionary("b");
  parent->Remove("b");
  EXPECT_FALSE(b->IsValid());

  parent->SetDictionary("c", CefDictionaryValue::Create());
  CefRefPtr<CefDictionaryValue> c = parent->GetDictionary("c");
  parent = nullptr;  // the owner goes away
  EXPECT_FALSE(c->IsValid());
  EXPECT_FALSE(c->SetBool("x", true));
}

TEST(CefValues, CefValueKeepsAReferenceUntilStored) {
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  CefRefPtr<CefValue> value = CefValue::Create();
  ASSERT_TRUE(value->SetDictionary(dict));
  EXPECT_TRUE(dict->IsValid());
  EXPECT_TRUE(value->GetDictionary()->IsSame(dict));
  dict->SetInt("n", 7);
  EXPECT_EQ(value->GetDictionary()->GetInt("n"), 7);

  CefRefPtr<CefDictionaryValue> parent = CefDictionaryValue::Create();
  ASSERT_TRUE(parent->SetValue("v", value));
  EXPECT_FALSE(dict->IsValid());  // moved into the parent
  ASSERT_TRUE(value->IsValid());  // and the value now refers to the stored data
  EXPECT_TRUE(value->GetDictionary()->IsSame(parent->GetDictionary("v")));
  value->GetDictionary()->SetInt("m", 8);
  EXPECT_EQ(parent->GetDictionary("v")->GetInt("m"), 8);

  // Simple values are copied both ways.
  CefRefPtr<CefValue> number = CefValue::Create();
  number->SetInt(4);
  parent->SetValue("i", number);
  number->SetInt(5);
  EXPECT_EQ(parent->GetInt("i"), 4);
  CefRefPtr<CefValue> read = parent->GetValue("i");
  read->SetInt(6);
  EXPECT_EQ(parent->GetInt("i"), 4);
}

TEST(CefValues, AContainerCannotBeStoredInsideItself) {
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  EXPECT_FALSE(dict->SetDictionary("self", dict));
  dict->SetDictionary("x", CefDictionaryValue::Create());
  EXPECT_FALSE(dict->GetDictionary("x")->SetDictionary("loop", dict));
  EXPECT_TRUE(dict->IsValid());
  EXPECT_EQ(Json(dict), R"({"x":{}})");

  // A reference into the same tree is copied, which is fine.
  EXPECT_TRUE(dict->SetDictionary("y", dict->GetDictionary("x")));
  EXPECT_EQ(Json(dict), R"({"x":{},"y":{}})");
}

TEST(CefValues, ListSettersPadWithNulls) {
  CefRefPtr<CefListValue> list = CefListValue::Create();
  ASSERT_TRUE(list->SetInt(3, 7));
  ASSERT_EQ(list->GetSize(), 4u);
  EXPECT_EQ(list->GetType(0), VTYPE_NULL);
  EXPECT_EQ(list->GetType(2), VTYPE_NULL);
  EXPECT_EQ(list->GetInt(3), 7);
  ASSERT_TRUE(list->SetSize(6));
  EXPECT_EQ(list->GetType(5), VTYPE_NULL);
  ASSERT_TRUE(list->SetSize(4));
  EXPECT_TRUE(list->Remove(0));
  EXPECT_FALSE(list->Remove(3));
  EXPECT_EQ(list->GetInt(2), 7);
  // An absurd index is refused instead of exhausting memory.
  EXPECT_FALSE(list->SetNull(std::numeric_limits<size_t>::max()));
  EXPECT_FALSE(list->SetSize(std::numeric_limits<size_t>::max()));
  EXPECT_EQ(list->GetSize(), 3u);
}

TEST(CefValues, EqualityIsDeepAndSamenessIsIdentity) {
  CefRefPtr<CefValue> a = CefParseJSON(R"({"k":[1,{"x":null}],"s":"t"})", JSON_PARSER_RFC);
  CefRefPtr<CefValue> b = CefParseJSON(R"({"s":"t","k":[1,{"x":null}]})", JSON_PARSER_RFC);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->IsEqual(b));
  EXPECT_FALSE(a->IsSame(b));
  EXPECT_TRUE(a->IsSame(a));
  EXPECT_TRUE(a->GetDictionary()->GetList("k")->IsSame(a->GetDictionary()->GetList("k")));

  b->GetDictionary()->GetList("k")->GetDictionary(1)->SetInt("x", 0);
  EXPECT_FALSE(a->IsEqual(b));

  CefRefPtr<CefValue> one_int = CefValue::Create();
  one_int->SetInt(1);
  CefRefPtr<CefValue> one_double = CefValue::Create();
  one_double->SetDouble(1.0);
  EXPECT_FALSE(one_int->IsEqual(one_double));
  EXPECT_TRUE(CefValue::Create()->IsEqual(CefValue::Create()));

  CefRefPtr<CefValue> copy = a->Copy();
  EXPECT_TRUE(copy->IsEqual(a));
  EXPECT_FALSE(copy->GetDictionary()->IsSame(a->GetDictionary()));
  EXPECT_FALSE(copy->IsOwned());
}

TEST(CefValues, CopyCanLeaveOutEmptyDictionaries) {
  CefRefPtr<CefValue> parsed = CefParseJSON(
      R"({"a":{},"b":{"c":{"d":{}}},"e":[],"f":[{}],"g":"","h":null,"i":{"j":1,"k":{}}})", JSON_PARSER_RFC);
  ASSERT_TRUE(parsed);
  CefRefPtr<CefDictionaryValue> dict = parsed->GetDictionary();

  CefRefPtr<CefDictionaryValue> full = dict->Copy(false);
  EXPECT_TRUE(full->IsEqual(dict));
  EXPECT_FALSE(full->IsOwned());

  // Empty dictionaries go at every depth, including those only holding empty
  // dictionaries; lists, empty strings and nulls stay.
  EXPECT_EQ(Json(dict->Copy(true)), R"({"e":[],"f":[{}],"g":"","h":null,"i":{"j":1}})");

  CefRefPtr<CefDictionaryValue> empty = CefDictionaryValue::Create();
  empty->SetDictionary("x", CefDictionaryValue::Create());
  CefRefPtr<CefDictionaryValue> pruned = empty->Copy(true);
  ASSERT_TRUE(pruned);
  EXPECT_EQ(pruned->GetSize(), 0u);
}

TEST(CefValues, NonFiniteDoublesAreStoredAsZero) {
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  dict->SetDouble("nan", std::nan(""));
  dict->SetDouble("inf", -std::numeric_limits<double>::infinity());
  EXPECT_EQ(dict->GetDouble("nan"), 0.0);
  EXPECT_EQ(Json(dict), R"({"inf":0.0,"nan":0.0})");
}

TEST(CefValues, BinaryValues) {
  EXPECT_EQ(CefBinaryValue::Create(nullptr, 3), nullptr);
  const char bytes[] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(CefBinaryValue::Create(bytes, 0), nullptr);
  CefRefPtr<CefBinaryValue> binary = CefBinaryValue::Create(bytes, sizeof(bytes));
  ASSERT_TRUE(binary);
  char out[8] = {};
  EXPECT_EQ(binary->GetData(out, 2, 1), 2u);
  EXPECT_EQ(std::string(out, 2), "bc");
  EXPECT_EQ(binary->GetData(out, sizeof(out), 3), 1u);
  EXPECT_EQ(binary->GetData(out, sizeof(out), 4), 0u);
  EXPECT_TRUE(binary->IsEqual(binary->Copy()));

  CefRefPtr<CefListValue> list = CefListValue::Create();
  ASSERT_TRUE(list->SetBinary(0, binary));
  EXPECT_FALSE(binary->IsValid());
  EXPECT_EQ(list->GetBinary(0)->GetSize(), 4u);
  EXPECT_EQ(std::string(static_cast<const char*>(list->GetBinary(0)->GetRawData()), 4), "abcd");
}

TEST(CefValues, OneTreeCanBeUsedFromSeveralThreads) {
  // A preference dictionary edited on one thread while another copies and
  // writes it, as the UI and IO threads do.
  CefRefPtr<CefDictionaryValue> prefs = CefDictionaryValue::Create();
  prefs->SetDictionary("proxy", CefDictionaryValue::Create());
  std::thread writer([prefs] {
    for (int i = 0; i < 3000; ++i) {
      CefRefPtr<CefDictionaryValue> proxy = CefDictionaryValue::Create();
      proxy->SetString("mode", i % 2 ? "direct" : "fixed_servers");
      proxy->SetInt("n", i);
      prefs->SetDictionary("proxy", proxy);
      prefs->GetDictionary("proxy")->SetBool("seen", true);
    }
  });
  for (int i = 0; i < 3000; ++i) {
    CefRefPtr<CefDictionaryValue> proxy = prefs->GetDictionary("proxy");
    CefRefPtr<CefDictionaryValue> copy = prefs->Copy(false);
    EXPECT_EQ(copy->GetType("proxy"), VTYPE_DICTIONARY);
    EXPECT_FALSE(Json(prefs).empty());
    proxy->GetString("mode");  // may have been replaced meanwhile: then empty
  }
  writer.join();
  EXPECT_EQ(prefs->GetDictionary("proxy")->GetInt("n"), 2999);
}

}  // namespace
