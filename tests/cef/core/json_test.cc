// CefParseJSON and CefWriteJSON against Chromium's reader and writer output.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "include/cef_parser.h"

namespace {

#if defined(_WIN32)
constexpr char kNl[] = "\r\n";
#else
constexpr char kNl[] = "\n";
#endif

CefRefPtr<CefValue> Parse(const std::string& json, cef_json_parser_options_t options = JSON_PARSER_RFC) {
  return CefParseJSON(json.data(), json.size(), options);
}

std::string Write(CefRefPtr<CefValue> value, int options = JSON_WRITER_DEFAULT) {
  return CefWriteJSON(value, static_cast<cef_json_writer_options_t>(options)).ToString();
}

std::string WriteDouble(double d, int options = JSON_WRITER_DEFAULT) {
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetDouble(d);
  return Write(value, options);
}

std::string Nest(int depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(CefJsonWriter, KeysInSortedOrderAndCompactLayout) {
  CefRefPtr<CefValue> value = Parse(R"( { "zeta": [1, true, null], "Alpha": {"b": "x", "a": -1},
                                         "alpha": 2.5 } )");
  ASSERT_TRUE(value);
  EXPECT_EQ(Write(value), R"({"Alpha":{"a":-1,"b":"x"},"alpha":2.5,"zeta":[1,true,null]})");
}

TEST(CefJsonWriter, EscapesAsChromium) {
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetString(
      std::string("q\" b\\ s/ <a>&' \b\f\n\r\t \x01\x1f\x7f"
                  "\xE2\x80\xA8\xE2\x80\xA9 \xC3\xA9\xE8\xB5\x84\xF0\x9F\x98\x80"));
  EXPECT_EQ(Write(value),
            "\"q\\\" b\\\\ s/ \\u003Ca>&' \\b\\f\\n\\r\\t \\u0001\\u001F\x7f"
            "\\u2028\\u2029 \xC3\xA9\xE8\xB5\x84\xF0\x9F\x98\x80\"");

  // Keys are escaped the same way; a lone surrogate becomes U+FFFD.
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  dict->SetInt("<k\n>", 1);
  const char16_t lone[] = {u'a', 0xD800, u'b', 0};
  dict->SetString("s", CefString(lone));
  value->SetDictionary(dict);
  EXPECT_EQ(Write(value),
            "{\"\\u003Ck\\n>\":1,\"s\":\"a\xEF\xBF\xBD"
            "b\"}");
}

TEST(CefJsonWriter, DoublesInShortestRoundTripForm) {
  const struct {
    double value;
    const char* json;
  } kCases[] = {
      {1.0, "1.0"},
      {-1.0, "-1.0"},
      {0.0, "0.0"},
      {-0.0, "-0.0"},
      {0.5, "0.5"},
      {0.1, "0.1"},
      {1.0 / 3.0, "0.3333333333333333"},
      {100.0, "100.0"},
      {2147483648.0, "2147483648.0"},
      {123456789012.0, "123456789012.0"},
      {1e12, "1e+12"},
      {1.5e12, "1.5e+12"},
      {1e21, "1e+21"},
      {0.000001, "0.000001"},
      {0.0000012, "0.0000012"},
      {1e-7, "1e-7"},
      {-1.5e-7, "-1.5e-7"},
      {1.5e300, "1.5e+300"},
      {5e-324, "5e-324"},
      {1.7976931348623157e308, "1.7976931348623157e+308"},
      {9007199254740992.0, "9.007199254740992e+15"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(WriteDouble(c.value), c.json) << c.json;
}

TEST(CefJsonWriter, OmittingDoubleTypeWritesWholeDoublesAsIntegers) {
  const int kOmit = JSON_WRITER_OMIT_DOUBLE_TYPE_PRESERVATION;
  EXPECT_EQ(WriteDouble(-1.0, kOmit), "-1");
  EXPECT_EQ(WriteDouble(-0.0, kOmit), "0");
  EXPECT_EQ(WriteDouble(1e12, kOmit), "1000000000000");
  EXPECT_EQ(WriteDouble(9.2e18, kOmit), "9200000000000000000");
  EXPECT_EQ(WriteDouble(9.3e18, kOmit), "9.3e+18");  // beyond int64
  EXPECT_EQ(WriteDouble(1e21, kOmit), "1e+21");
  EXPECT_EQ(WriteDouble(0.5, kOmit), "0.5");
  EXPECT_EQ(WriteDouble(-2.25, kOmit), "-2.25");

  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  dict->SetDouble("revision", -1);
  dict->SetInt("max", std::numeric_limits<int>::max());
  dict->SetInt("min", std::numeric_limits<int>::min());
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetDictionary(dict);
  EXPECT_EQ(Write(value, kOmit), R"({"max":2147483647,"min":-2147483648,"revision":-1})");
  EXPECT_EQ(Write(value), R"({"max":2147483647,"min":-2147483648,"revision":-1.0})");
}

TEST(CefJsonWriter, PrettyPrintLayout) {
  CefRefPtr<CefValue> value = Parse(R"({"a":[1,{"b":true}],"c":{},"d":[]})");
  ASSERT_TRUE(value);
  const std::string nl = kNl;
  EXPECT_EQ(Write(value, JSON_WRITER_PRETTY_PRINT), "{" + nl + "   \"a\": [ 1, {" + nl + "      \"b\": true" + nl +
                                                        "   } ]," + nl + "   \"c\": {" + nl + "   }," + nl +
                                                        "   \"d\": [  ]" + nl + "}" + nl);
  CefRefPtr<CefValue> number = CefValue::Create();
  number->SetInt(3);
  EXPECT_EQ(Write(number, JSON_WRITER_PRETTY_PRINT), "3" + nl);
}

TEST(CefJsonWriter, BinaryFailsTheWriteUnlessOmitted) {
  CefRefPtr<CefDictionaryValue> dict = CefDictionaryValue::Create();
  dict->SetInt("a", 1);
  dict->SetBinary("blob", CefBinaryValue::Create("xy", 2));
  CefRefPtr<CefListValue> list = CefListValue::Create();
  list->SetBinary(0, CefBinaryValue::Create("z", 1));
  list->SetInt(1, 2);
  dict->SetList("list", list);
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetDictionary(dict);
  EXPECT_EQ(Write(value), "");
  EXPECT_EQ(Write(value, JSON_WRITER_OMIT_BINARY_VALUES), R"({"a":1,"list":[2]})");
}

TEST(CefJsonWriter, RefusesWhatItCannotWrite) {
  EXPECT_EQ(Write(nullptr), "");
  CefRefPtr<CefDictionaryValue> moved = CefDictionaryValue::Create();
  CefRefPtr<CefValue> value = CefValue::Create();
  value->SetDictionary(moved);
  CefDictionaryValue::Create()->SetDictionary("x", moved);  // |moved| is now invalid
  EXPECT_EQ(Write(value), "");

  // The same nesting limit as the reader.
  EXPECT_EQ(Write(Parse(Nest(199))), Nest(199));
  CefRefPtr<CefListValue> outer = Parse(Nest(199))->GetList();
  CefRefPtr<CefListValue> deeper = CefListValue::Create();
  deeper->SetList(0, outer);
  CefRefPtr<CefValue> too_deep = CefValue::Create();
  too_deep->SetList(deeper);
  EXPECT_EQ(Write(too_deep), "");
}

TEST(CefJsonReader, NumberTypes) {
  struct Case {
    const char* json;
    cef_value_type_t type;
    double value;
  };
  const Case kCases[] = {
      {"0", VTYPE_INT, 0},
      {"-7", VTYPE_INT, -7},
      {"2147483647", VTYPE_INT, 2147483647.0},
      {"-2147483648", VTYPE_INT, -2147483648.0},
      {"2147483648", VTYPE_DOUBLE, 2147483648.0},
      {"-2147483649", VTYPE_DOUBLE, -2147483649.0},
      {"12345678901234567890123", VTYPE_DOUBLE, 1.2345678901234568e22},
      {"1.0", VTYPE_DOUBLE, 1.0},
      {"1e2", VTYPE_DOUBLE, 100.0},
      {"1E+2", VTYPE_DOUBLE, 100.0},
      {"-2.5e-3", VTYPE_DOUBLE, -0.0025},
      {"1e-400", VTYPE_DOUBLE, 0.0},
      {"-1e-400", VTYPE_DOUBLE, -0.0},
      {"5e-324", VTYPE_DOUBLE, 5e-324},
      {"1.7976931348623157e308", VTYPE_DOUBLE, 1.7976931348623157e308},
      {"0e999999999", VTYPE_DOUBLE, 0.0},
      {"-0.000e-999999999", VTYPE_DOUBLE, -0.0},
  };
  for (const Case& c : kCases) {
    CefRefPtr<CefValue> value = Parse(c.json);
    ASSERT_TRUE(value) << c.json;
    EXPECT_EQ(value->GetType(), c.type) << c.json;
    const double got = c.type == VTYPE_INT ? value->GetInt() : value->GetDouble();
    EXPECT_EQ(got, c.value) << c.json;
  }
  // Underflow without an exponent reads as zero too; overflow is refused.
  CefRefPtr<CefValue> tiny = Parse("0." + std::string(400, '0') + "1");
  ASSERT_TRUE(tiny);
  EXPECT_EQ(tiny->GetDouble(), 0.0);
  EXPECT_FALSE(Parse("1" + std::string(400, '0')));
  EXPECT_FALSE(Parse("1" + std::string(400, '0') + ".5e-1"));
  EXPECT_FALSE(Parse("1.7976931348623159e308"));

  CefRefPtr<CefValue> negative_zero = Parse("-0");
  ASSERT_TRUE(negative_zero);
  EXPECT_EQ(negative_zero->GetType(), VTYPE_DOUBLE);
  EXPECT_TRUE(std::signbit(negative_zero->GetDouble()));
}

TEST(CefJsonReader, StrictModeRefusals) {
  const char* const kBad[] = {"",
                              " ",
                              "[1,]",
                              R"({"a":1,})",
                              "[,]",
                              "[1,,2]",
                              "[1 2]",
                              R"({"a" 1})",
                              R"({"a":})",
                              "{a:1}",
                              "{'a':1}",
                              "// note\n1",
                              "/* note */ 1",
                              "[1]/**/",
                              "# note\n1",
                              "01",
                              "-01",
                              "+1",
                              ".5",
                              "1.",
                              "1.e3",
                              "1e",
                              "1e+",
                              "-",
                              "--1",
                              "0x10",
                              "NaN",
                              "Infinity",
                              "-Infinity",
                              "1e400",
                              "-1e400",
                              "tru",
                              "nul",
                              "True",
                              "[1]x",
                              "[1]]",
                              "{}{}",
                              "\"abc",
                              R"("\v")",
                              R"("\x41")",
                              R"("\a")",
                              R"("\u12")",
                              R"("\u12G4")",
                              R"("\ud800")",
                              R"("\ud800x")",
                              R"("\ud800\u0041")",
                              R"("\udc00")",
                              "\"tab\there\"",
                              "\"nl\nhere\"",
                              "\"\x01\"",
                              "\"\xFF\"",
                              "\"\xC0\xAF\"",
                              "\"\xE0\x80\xAF\"",
                              "\"\xED\xA0\x80\"",
                              "\"\xF4\x90\x80\x80\"",
                              "\"\xE8\xB5\"",
                              "\xEF\xBB\xBF",
                              "[\"a\"\xC3]",
                              "\xC3\xA9",
                              "\"\\",
                              "[",
                              "{",
                              R"({"a")",
                              "[1"};
  for (const char* json : kBad)
    EXPECT_EQ(Parse(json), nullptr) << json;
  EXPECT_EQ(Parse(std::string("\0", 1)), nullptr);
  EXPECT_EQ(Parse(std::string("[1]\0", 4)), nullptr);
  EXPECT_EQ(CefParseJSON(nullptr, 0, JSON_PARSER_RFC), nullptr);
  EXPECT_EQ(CefParseJSON(CefString(), JSON_PARSER_RFC), nullptr);
}

TEST(CefJsonReader, TrailingCommasOnlyWhenAllowed) {
  const auto allow = JSON_PARSER_ALLOW_TRAILING_COMMAS;
  ASSERT_TRUE(Parse("[1,]", allow));
  EXPECT_EQ(Parse("[1,]", allow)->GetList()->GetSize(), 1u);
  EXPECT_TRUE(Parse(R"({"a":[true ,] ,})", allow));
  EXPECT_FALSE(Parse("[,]", allow));
  EXPECT_FALSE(Parse("[1,,]", allow));
  EXPECT_FALSE(Parse("{,}", allow));
}

TEST(CefJsonReader, StringsAndStructure) {
  CefRefPtr<CefValue> value = Parse(
      "\xEF\xBB\xBF {\"s\":\"\\u00e9\\uD83D\\uDE00\\/\\b\\\"\\\\ \xE8\xB5\x84\\u0000x\","
      "\"dup\":1,\"dup\":[2],\"e\":{},\"\xEF\xBF\xBF\":null}\r\n\t ");
  ASSERT_TRUE(value);
  CefRefPtr<CefDictionaryValue> dict = value->GetDictionary();
  ASSERT_TRUE(dict);
  EXPECT_EQ(dict->GetString("s").ToString(), std::string("\xC3\xA9\xF0\x9F\x98\x80/\b\"\\ \xE8\xB5\x84\0x", 16));
  EXPECT_EQ(dict->GetType("dup"), VTYPE_LIST);  // the last duplicate wins
  EXPECT_EQ(dict->GetList("dup")->GetInt(0), 2);
  EXPECT_EQ(dict->GetDictionary("e")->GetSize(), 0u);
  EXPECT_EQ(dict->GetType("\xEF\xBF\xBF"), VTYPE_NULL);  // noncharacters are fine

  // Scalars at the top level are accepted.
  EXPECT_EQ(Parse(" \"x\" ")->GetString(), CefString("x"));
  EXPECT_EQ(Parse("null")->GetType(), VTYPE_NULL);
  EXPECT_EQ(CefParseJSON(CefString("[true]"), JSON_PARSER_RFC)->GetList()->GetBool(0), true);
  // The buffer overload reads exactly the given bytes.
  EXPECT_EQ(CefParseJSON("[1]]", 3, JSON_PARSER_RFC)->GetList()->GetInt(0), 1);
}

TEST(CefJsonReader, NestingLimit) {
  EXPECT_TRUE(Parse(Nest(199)));
  EXPECT_FALSE(Parse(Nest(200)));
  std::string objects;
  for (int i = 0; i < 199; ++i)
    objects += "{\"k\":";
  objects += "1" + std::string(199, '}');
  EXPECT_TRUE(Parse(objects));
  EXPECT_FALSE(Parse("[" + objects + "]"));
  // Far too deep input is refused without exhausting the stack.
  EXPECT_FALSE(Parse(std::string(1000000, '[')));
}

TEST(CefJsonReader, ErrorMessages) {
  CefString error = "untouched";
  EXPECT_TRUE(CefParseJSONAndReturnError("[1]", JSON_PARSER_RFC, error));
  EXPECT_EQ(error, CefString("untouched"));

  EXPECT_FALSE(CefParseJSONAndReturnError("[\n  1,\n]", JSON_PARSER_RFC, error));
  EXPECT_EQ(error.ToString(), "Line: 3, column: 1, Trailing comma not allowed.");
  EXPECT_FALSE(CefParseJSONAndReturnError("[1] 2", JSON_PARSER_RFC, error));
  EXPECT_EQ(error.ToString(), "Line: 1, column: 5, Unexpected data after root element.");
  EXPECT_FALSE(CefParseJSONAndReturnError(Nest(300), JSON_PARSER_RFC, error));
  EXPECT_NE(error.ToString().find("Too much nesting."), std::string::npos);
}

TEST(CefJson, MutatedInputNeverCrashesAndWhatParsesRoundTrips) {
  const std::string seed = "{\"a\":[1,-2.5e3,true,null,{\"b\":\"x\\u00e9\\n\xE8\xB5\x84\"}],\"c\":{},\"d\":[[]]}";
  const char kAlphabet[] = "{}[],:\"\\/-+.eE0123456789 \ttrufalsn\x80\xC3\xBF\xE8\xF0u";
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  for (int round = 0; round < 20000; ++round) {
    std::string text = seed;
    for (int edits = 1 + next() % 4; edits > 0; --edits) {
      const size_t at = next() % (text.size() + 1);
      const char c = kAlphabet[next() % (sizeof(kAlphabet) - 1)];
      switch (next() % 3) {
        case 0:
          text.insert(at, 1, c);
          break;
        case 1:
          if (at < text.size())
            text.erase(at, 1);
          break;
        default:
          if (at < text.size())
            text[at] = c;
          break;
      }
    }
    CefRefPtr<CefValue> value = Parse(text);
    if (!value)
      continue;
    const std::string written = Write(value);
    CefRefPtr<CefValue> again = Parse(written);
    ASSERT_TRUE(again) << text;
    EXPECT_TRUE(again->IsEqual(value)) << text;
    EXPECT_EQ(Write(again), written) << text;
  }
}

TEST(CefJson, LargeManifestRoundTrips) {
  // Sorted keys, integers and strings written back exactly as read.
  std::string json = "{\"bindings\":{";
  for (int i = 0; i < 12000; ++i) {
    char entry[96];
    std::snprintf(entry, sizeof(entry), "%s\"assets/%05d.png\":\"/__pool/p1/assets%%2F%05d.png\"", i ? "," : "", i, i);
    json += entry;
  }
  json += "},\"revision\":42,\"size\":1.5}";
  CefRefPtr<CefValue> value = Parse(json);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->GetDictionary()->GetDictionary("bindings")->GetSize(), 12000u);
  EXPECT_EQ(Write(value), json);
}

}  // namespace
