// CefString and the C conversion functions it rests on.
#include <gtest/gtest.h>

#include "include/internal/cef_string.h"

namespace {

TEST(CefString, ConvertsBetweenEncodings) {
  CefString text(std::string("资源 ok \xF0\x9F\x98\x80"));
  EXPECT_EQ(text.length(), 8u);  // the emoji is a surrogate pair
  EXPECT_EQ(text.ToString(), "资源 ok \xF0\x9F\x98\x80");
  EXPECT_EQ(CefString(text.ToWString()).ToString(), text.ToString());
  EXPECT_EQ(text.ToString16(), u"资源 ok \U0001F600");
}

TEST(CefString, EmptyStringsHaveNoBuffer) {
  CefString empty;
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(empty.c_str(), nullptr);
  EXPECT_EQ(empty.ToString(), "");
  EXPECT_EQ(empty, CefString(""));
}

TEST(CefString, ReferencingWrapperWritesIntoTheStruct) {
  struct {
    cef_string_t path;
  } settings = {};
  CefString(&settings.path) = std::string("C:\\data\\browser");
  EXPECT_EQ(CefString(&settings.path).ToString(), "C:\\data\\browser");
  EXPECT_NE(settings.path.dtor, nullptr);
  cef_string_utf16_clear(&settings.path);
  EXPECT_EQ(settings.path.str, nullptr);
}

TEST(CefString, InvalidUtf8IsReplacedAndReported) {
  cef_string_utf16_t out = {};
  EXPECT_FALSE(cef_string_utf8_to_utf16("a\xFF" "b\xE4\xBD", 5, &out));
  EXPECT_EQ(std::u16string(out.str, out.length), u"a\uFFFDb\uFFFD\uFFFD");
  cef_string_utf16_clear(&out);

  cef_string_utf8_t narrow = {};
  const char16_t lone[] = {u'x', 0xD800, u'y'};
  EXPECT_FALSE(cef_string_utf16_to_utf8(lone, 3, &narrow));
  EXPECT_EQ(std::string(narrow.str, narrow.length), "x\xEF\xBF\xBDy");
  cef_string_utf8_clear(&narrow);
}

TEST(CefString, ComparesByCodeUnit) {
  EXPECT_LT(CefString("a"), CefString("b"));
  EXPECT_LT(CefString("ab"), CefString("abc"));
  EXPECT_LT(CefString(""), CefString("a"));
  EXPECT_EQ(CefString("x").compare(CefString("x")), 0);
}

TEST(CefString, UserFreeRoundTrip) {
  CefString text("detach me");
  cef_string_userfree_t detached = text.DetachToUserFree();
  ASSERT_NE(detached, nullptr);
  CefString back;
  back.AttachToUserFree(detached);
  EXPECT_EQ(back.ToString(), "detach me");
}

}  // namespace
