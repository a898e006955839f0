// The desktop layer's text, JSON, file and protocol helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "desktop/desktop_internal.h"
#include "include/cef_values.h"
#include "support/temp_directory.h"

namespace kesta::desktop {
namespace {

TEST(DesktopText, WideAndUtf8RoundTrip) {
  EXPECT_EQ(wide(""), L"");
  EXPECT_EQ(utf8(L""), "");
  for (std::string text : {"ascii", "资源与更新…", "Ostrel · 启动失败", "emoji \xF0\x9F\x98\x80 outside the BMP"})
    EXPECT_EQ(utf8(wide(text)), text) << text;
  // One UTF-16 unit per character of the basic plane, a pair beyond it.
  EXPECT_EQ(wide("启动").size(), 2u);
  EXPECT_EQ(wide("\xF0\x9F\x98\x80").size(), 2u);
  EXPECT_EQ(static_cast<unsigned>(wide("启")[0]), 0x542Fu);
}

TEST(DesktopText, ClipCutsWholeCharacters) {
  EXPECT_EQ(clip("", 0), "");
  EXPECT_EQ(clip("abc", 3), "abc");
  EXPECT_EQ(clip("abcd", 3), "abc…");
  // Characters, not bytes: three bytes each, four for the emoji.
  EXPECT_EQ(clip("资源与更新", 5), "资源与更新");
  EXPECT_EQ(clip("资源与更新", 2), "资源…");
  const std::string emoji = "a\xF0\x9F\x98\x80" "b";
  EXPECT_EQ(clip(emoji, 2), "a\xF0\x9F\x98\x80…");
  EXPECT_EQ(clip(emoji, 1), "a…");
}

TEST(DesktopText, ParseGivesOnlyObjects) {
  CefRefPtr<CefDictionaryValue> empty = parse("{}");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->GetSize(), 0u);

  CefRefPtr<CefDictionaryValue> object = parse("{\"port\":8123,\"name\":\"数据\",\"nested\":{\"a\":[1,2]}}");
  ASSERT_TRUE(object);
  EXPECT_EQ(object->GetInt("port"), 8123);
  EXPECT_EQ(object->GetString("name").ToString(), "数据");
  ASSERT_TRUE(object->GetDictionary("nested"));
  EXPECT_EQ(object->GetDictionary("nested")->GetList("a")->GetSize(), 2u);

  for (const char* text : {"[]", "[{\"a\":1}]", "\"text\"", "5", "true", "null", "", "   ", "{\"a\":1,}", "{\"a\":1",
                           "not json", "{\"a\":1}{\"b\":2}", "{'a':1}"})
    EXPECT_FALSE(parse(text)) << "parse of " << text;
}

TEST(DesktopText, NumberReadsIntegersAndDoublesAlike) {
  CefRefPtr<CefDictionaryValue> values = parse(
      "{\"int\":3,\"double\":2.5,\"whole\":4.0,\"negative\":-1,\"big\":4294967296,"
      "\"digit\":\"7\",\"flag\":true,\"object\":{},\"null\":null}");
  ASSERT_TRUE(values);
  EXPECT_EQ(number(values, "int"), 3.0);
  EXPECT_EQ(number(values, "double"), 2.5);
  EXPECT_EQ(number(values, "whole"), 4.0);
  EXPECT_EQ(number(values, "negative"), -1.0);
  EXPECT_EQ(number(values, "big"), 4294967296.0);
  for (const char* key : {"missing", "digit", "flag", "object", "null", ""})
    EXPECT_EQ(number(values, key), 0.0) << key;
  EXPECT_EQ(number(values, nullptr), 0.0);
  // A null dictionary reads like a missing member instead of crashing.
  EXPECT_EQ(number(nullptr, "int"), 0.0);
}

TEST(DesktopText, ReadFileGivesBytesUnchanged) {
  const kesta::testing::TempDirectory temp("desktop-text");
  const std::filesystem::path& directory = temp.path();
  std::string path = (directory / "file.bin").string();
  std::string expected("line\r\n\0\xFF \xE4\xB8\xAD\n\0tail", 18);
  {
    std::ofstream out(path, std::ios::binary);
    out << expected;
  }
  EXPECT_EQ(readFile(path), expected);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "\r\n";
  }
  EXPECT_EQ(readFile(path), "\r\n");
  EXPECT_EQ(readFile((directory / "missing").string()), "");
  EXPECT_EQ(readFile(directory.string()), "");  // a directory is not a file
}

TEST(DesktopProtocol, UpdateRequestBodyCutsTheRevision) {
  EXPECT_EQ(updateRequestBody(7), "{\"revision\":7}");
  EXPECT_EQ(updateRequestBody(7.9), "{\"revision\":7}");
  EXPECT_EQ(updateRequestBody(-2.5), "{\"revision\":-2}");
  EXPECT_EQ(updateRequestBody(0), "{\"revision\":0}");
  EXPECT_EQ(updateRequestBody(123456789012.0), "{\"revision\":123456789012}");
  // Out of range values must not be undefined behaviour.
  EXPECT_EQ(updateRequestBody(1e300), "{\"revision\":9223372036854775807}");
  EXPECT_EQ(updateRequestBody(std::nan("")), "{\"revision\":0}");
}

TEST(DesktopProtocol, OriginPort) {
  EXPECT_EQ(originPort("http://127.0.0.1:8123"), 8123);
  EXPECT_EQ(originPort("http://127.0.0.1:1"), 1);
  EXPECT_EQ(originPort("http://127.0.0.1:65535"), 65535);
  EXPECT_EQ(originPort(""), 0);
  EXPECT_EQ(originPort("http://127.0.0.1:99999"), 0);
}

TEST(DesktopStartupRules, TokenLosesOnlyTrailingWhiteSpace) {
  EXPECT_EQ(trimTrailingWhiteSpace("token\r\n"), "token");
  EXPECT_EQ(trimTrailingWhiteSpace("token\n"), "token");
  EXPECT_EQ(trimTrailingWhiteSpace("token \t\v\f\r\n"), "token");
  EXPECT_EQ(trimTrailingWhiteSpace("  token"), "  token");
  EXPECT_EQ(trimTrailingWhiteSpace("to ken"), "to ken");
  EXPECT_EQ(trimTrailingWhiteSpace(" \r\n"), "");
  EXPECT_EQ(trimTrailingWhiteSpace(""), "");
  // Bytes above 0x7F are never white space (0xA0, 0x85 end UTF-8 sequences).
  EXPECT_EQ(trimTrailingWhiteSpace("x\xC2\xA0"), "x\xC2\xA0");
  EXPECT_EQ(trimTrailingWhiteSpace("x\xC2\x85"), "x\xC2\x85");
}

TEST(DesktopStartupRules, DataDirectoryNames) {
  for (const char* name : {".", "...", " x ", "KESTA Client", "数据目录", "a*b"})
    EXPECT_TRUE(dataDirectoryNameAllowed(name)) << name;
  for (const char* name : {"..", "a/b", "a\\b", "C:x", "/", "\\", ":"})
    EXPECT_FALSE(dataDirectoryNameAllowed(name)) << name;
}

TEST(DesktopQuote, WorkedExamples) {
  struct Case {
    const wchar_t* argument;
    const wchar_t* quoted;
  };
  const Case cases[] = {
      {L"--data-dir", L"\"--data-dir\""},
      {L"C:/Game Files/app", L"\"C:/Game Files/app\""},
      {L"C:\\dir\\", L"\"C:\\dir\\\\\""},
      {L"a\\\\b", L"\"a\\\\b\""},
      {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
      {L"a\\\"b", L"\"a\\\\\\\"b\""},
      {L"", L"\"\""},
      {L"\\", L"\"\\\\\""},
      {L"\"", L"\"\\\"\""},
      {L"数据 目录", L"\"数据 目录\""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(quote(c.argument), c.quoted) << utf8(c.argument);
}

}  // namespace
}  // namespace kesta::desktop
