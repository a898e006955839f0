// Shared set-up of the browser-model test programs: one runtime per
// program, and a fixture that checks nothing is left open after a test.
#ifndef TESTS_CEF_BROWSER_BROWSER_TEST_SUPPORT_H_
#define TESTS_CEF_BROWSER_BROWSER_TEST_SUPPORT_H_
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "recording_client.h"
#include "testing/driver.h"
#include "testing/runtime.h"

class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override { client_ = new RecordingClient(); }

  void TearDown() override {
    // Whatever a test left open is closed, then nothing may remain.
    for (auto& browser : cef_testing::OpenBrowsers())
      browser->GetHost()->CloseBrowser(true);
    cef_testing::RunUntil([] { return cef_testing::OpenBrowserCount() == 0; });
    cef_testing::RunUntil([] { return cef_testing::OpenViewsWindowCount() == 0; });
    client_ = nullptr;
    cef_testing::WaitForUIIdle();
    EXPECT_EQ(cef_testing::OpenBrowserCount(), 0);
    EXPECT_EQ(cef_testing::OpenViewsWindowCount(), 0);
    EXPECT_EQ(cef_testing::LiveBrowserObjectCount(), 0);
  }

  // Runs until |client_| has recorded |event| (exact line) or times out.
  bool WaitFor(const std::string& event, int timeout_ms = 5000) {
    return cef_testing::RunUntil(
        [&] {
          for (auto& e : client_->events) {
            if (e == event)
              return true;
          }
          return false;
        },
        timeout_ms);
  }

  bool WaitForPrefix(const std::string& prefix, size_t count = 1, int timeout_ms = 5000) {
    return cef_testing::RunUntil([&] { return client_->Matching(prefix).size() >= count; }, timeout_ms);
  }

  static std::string Id(CefRefPtr<CefBrowser> browser) { return std::to_string(browser->GetIdentifier()); }

  static std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
  }

  CefRefPtr<RecordingClient> client_;
};

// One runtime for the whole program (the runtime starts once per process).
class BrowserRuntimeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    runtime_ = new cef_testing::ScopedRuntime();
    ASSERT_TRUE(runtime_->initialized());
  }
  void TearDown() override {
    delete runtime_;
    runtime_ = nullptr;
  }

 private:
  cef_testing::ScopedRuntime* runtime_ = nullptr;
};

#endif  // TESTS_CEF_BROWSER_BROWSER_TEST_SUPPORT_H_
