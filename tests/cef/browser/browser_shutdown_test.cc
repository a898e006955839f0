// CefShutdown with browsers and Views windows still open: everything is
// torn down, every browser still gets OnBeforeClose, nothing hangs.
#include <windows.h>

#include <gtest/gtest.h>

#include "include/views/cef_browser_view.h"
#include "include/views/cef_window.h"
#include "recording_client.h"
#include "testing/driver.h"
#include "testing/runtime.h"

namespace {

class HoldingWindowDelegate : public CefWindowDelegate {
 public:
  explicit HoldingWindowDelegate(CefRefPtr<CefBrowserView> view) : view_(view) {}
  void OnWindowCreated(CefRefPtr<CefWindow> window) override {
    window->AddChildView(view_);
    window->Show();
  }
  void OnWindowDestroyed(CefRefPtr<CefWindow> window) override {
    destroyed = true;
    view_ = nullptr;
  }
  // Never agrees: only a shutdown gets rid of this window.
  bool CanClose(CefRefPtr<CefWindow> window) override { return false; }
  bool destroyed = false;

 private:
  CefRefPtr<CefBrowserView> view_;
  IMPLEMENT_REFCOUNTING(HoldingWindowDelegate);
};

TEST(BrowserShutdown, LeftoverBrowsersAndWindowsAreClosedByShutdown) {
  cef_testing::ScopedRuntime runtime;
  ASSERT_TRUE(runtime.initialized());
  CefRefPtr<RecordingClient> client = new RecordingClient();

  CefWindowInfo info;
  info.SetAsPopup(nullptr, "left open");
  info.runtime_style = CEF_RUNTIME_STYLE_ALLOY;
  ASSERT_TRUE(
      CefBrowserHost::CreateBrowser(info, client.get(), "data:text/html,a", CefBrowserSettings(), nullptr, nullptr));
  CefRefPtr<CefBrowserView> view = CefBrowserView::CreateBrowserView(client.get(), "data:text/html,b",
                                                                     CefBrowserSettings(), nullptr, nullptr, nullptr);
  CefRefPtr<HoldingWindowDelegate> delegate = new HoldingWindowDelegate(view);
  CefWindow::CreateTopLevelWindow(delegate.get());
  view = nullptr;
  ASSERT_TRUE(cef_testing::RunUntil([&] { return client->browsers.size() == 2; }));
  cef_testing::WaitForUIIdle();
  // A window whose delegate refuses stays open.
  cef_testing::PressCloseBox(cef_testing::TopLevelWindow(client->browsers[1]));
  EXPECT_EQ(cef_testing::OpenViewsWindowCount(), 1);

  runtime.Shutdown();
  EXPECT_EQ(client->closed, 2);
  EXPECT_TRUE(client->browsers.empty());
  EXPECT_TRUE(delegate->destroyed);
  EXPECT_EQ(cef_testing::OpenBrowserCount(), 0);
  EXPECT_EQ(cef_testing::OpenViewsWindowCount(), 0);
  client = nullptr;
  EXPECT_EQ(cef_testing::LiveBrowserObjectCount(), 0);
}

}  // namespace
