#include <gtest/gtest.h>

#include <memory>

#include "include/internal/cef_types_wrappers.h"

namespace {

TEST(SettingsStruct, StartsZeroedWithItsSize) {
  CefSettings settings;
  EXPECT_EQ(sizeof(cef_settings_t), settings.size);
  EXPECT_EQ(0, settings.remote_debugging_port);
  EXPECT_EQ(LOGSEVERITY_DEFAULT, settings.log_severity);
  EXPECT_TRUE(CefString(&settings.cache_path).empty());
  CefRequestContextSettings context;
  EXPECT_EQ(sizeof(cef_request_context_settings_t), context.size);
}

TEST(SettingsStruct, CopiesOwnTheirStrings) {
  auto original = std::make_unique<CefSettings>();
  CefString(&original->root_cache_path) = "D:\\data\\browser";
  CefString(&original->cache_path) = u"D:\\data\\browser\\Default";
  original->remote_debugging_port = 9222;

  CefSettings copy(*original);
  CefSettings assigned;
  CefString(&assigned.log_file) = "replaced";
  assigned = *original;

  CefString(&original->cache_path) = "changed";
  original.reset();  // the copies must not point into freed memory

  for (CefSettings* s : {&copy, &assigned}) {
    EXPECT_EQ("D:\\data\\browser", CefString(&s->root_cache_path).ToString());
    EXPECT_EQ("D:\\data\\browser\\Default", CefString(&s->cache_path).ToString());
    EXPECT_EQ(9222, s->remote_debugging_port);
  }
  EXPECT_TRUE(CefString(&assigned.log_file).empty());
  assigned = assigned;  // self-assignment keeps the values
  EXPECT_EQ("D:\\data\\browser", CefString(&assigned.root_cache_path).ToString());
}

TEST(SettingsStruct, AssignmentFromACStructCopiesReferencedStrings) {
  CefString path("C:\\cache");
  cef_request_context_settings_t raw = {};
  raw.size = sizeof(raw);
  cef_string_set(path.c_str(), path.length(), &raw.cache_path, 0);  // referenced, not owned
  CefRequestContextSettings settings;
  settings = raw;
  EXPECT_NE(raw.cache_path.str, settings.cache_path.str);
  path = "gone";
  EXPECT_EQ("C:\\cache", CefString(&settings.cache_path).ToString());
}

}  // namespace
