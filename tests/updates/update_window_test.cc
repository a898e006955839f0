// The update window on a real (headless) Win32 window: size, layout at two
// densities, DPI changes, keyboard and focus, closing before and after
// admission.
#include <gtest/gtest.h>

#include <windows.h>

#include <mutex>

#include "desktop/desktop.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "desktop/update_window.h"
#include "include/cef_values.h"
#include "support/temp_directory.h"

namespace kesta::desktop {
namespace {

UINT WINAPI dpi96(HWND) {
  return 96;
}
UINT WINAPI dpi144(HWND) {
  return 144;
}

RECT clientRectOf(HWND control) {
  RECT rect = {};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

::testing::AssertionResult placedAt(HWND control, int x, int y, int width, int height) {
  RECT rect = clientRectOf(control);
  if (rect.left == x && rect.top == y && rect.right - rect.left == width && rect.bottom - rect.top == height)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "at (" << rect.left << ", " << rect.top << ", " << rect.right - rect.left
                                       << ", " << rect.bottom - rect.top << ")";
}

void setAdmitted(bool admitted) {
  std::lock_guard lock(browserMutex);
  resourceLaunch.admitted = admitted;
}

void pumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void pressKey(HWND control, WPARAM key, bool shift = false) {
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_SHIFT] = shift ? 0x80 : 0;
  SetKeyboardState(keys);
  SendMessageW(control, WM_KEYDOWN, key, 0);
  keys[VK_SHIFT] = 0;
  SetKeyboardState(keys);
}

class UpdateWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    windowDpi = dpi96;
    setAdmitted(false);
    DesktopApplicationMenuReady();
    ASSERT_NE(updateWindow, nullptr);
  }
  void TearDown() override {
    DestroyWindow(updateWindow);
    updateWindow = nullptr;
    if (updateFont)
      DeleteObject(updateFont);
    updateFont = nullptr;
    updateState = nullptr;
    windowDpi = GetDpiForWindow;
  }
};

TEST_F(UpdateWindowTest, OpensInFrontWhileTheLaunchWaits) {
  RECT client = {};
  GetClientRect(updateWindow, &client);
  EXPECT_EQ(client.right, 620);
  EXPECT_EQ(client.bottom, 420);
  EXPECT_TRUE(IsWindowVisible(updateWindow));
  EXPECT_FALSE(IsWindowEnabled(acceptButton));
  EXPECT_FALSE(IsWindowEnabled(deferButton));
  wchar_t text[256] = {};
  GetWindowTextW(detailsWindow, text, 256);
  EXPECT_EQ(std::wstring(text), L"正在准备进入游戏所需的资源与网络配置，请稍候。关闭此窗口可取消启动。");
  GetWindowTextW(updateWindow, text, 256);
  EXPECT_EQ(std::wstring(text), L"Ostrel · 资源与更新");
  wchar_t className[64] = {};
  GetClassNameW(updateWindow, className, 64);
  EXPECT_EQ(std::wstring(className), L"KESTAResourceUpdates");
  EXPECT_EQ(GetWindowLongW(updateWindow, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);
  // A text the reader scrolls and cannot change.
  for (LONG style : {ES_READONLY, ES_MULTILINE, WS_VSCROLL, WS_TABSTOP})
    EXPECT_EQ(GetWindowLongW(detailsWindow, GWL_STYLE) & style, style) << style;

  EXPECT_TRUE(placedAt(detailsWindow, 20, 20, 580, 326));
  EXPECT_TRUE(placedAt(acceptButton, 364, 366, 236, 34));
  EXPECT_TRUE(placedAt(deferButton, 262, 366, 86, 34));
}

TEST_F(UpdateWindowTest, StaysHiddenOnceAdmittedAndTheClassMayBeRegisteredAgain) {
  DestroyWindow(updateWindow);
  setAdmitted(true);
  DesktopApplicationMenuReady();  // registers the class a second time
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  wchar_t text[16] = {};
  EXPECT_EQ(GetWindowTextW(detailsWindow, text, 16), 0);
}

TEST_F(UpdateWindowTest, LaysOutAt144Dpi) {
  windowDpi = dpi144;
  RECT outer = {0, 0, 930, 630};
  AdjustWindowRectEx(&outer, WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_TOOLWINDOW);
  SetWindowPos(updateWindow, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);  // WM_SIZE lays out
  EXPECT_TRUE(placedAt(detailsWindow, 30, 30, 870, 489));
  EXPECT_TRUE(placedAt(acceptButton, 546, 549, 354, 51));
  EXPECT_TRUE(placedAt(deferButton, 393, 549, 129, 51));
}

TEST_F(UpdateWindowTest, BuiltAt144DpiTheClientAreaScales) {
  DestroyWindow(updateWindow);
  windowDpi = dpi144;
  DesktopApplicationMenuReady();
  RECT client = {};
  GetClientRect(updateWindow, &client);
  // The outer size comes from the frame at 144 dpi; the window really gets
  // the frame of its own DPI (96 here, so Wine's caption is 8 pixels lower
  // than the one sized for): the client area keeps the difference.
  RECT frame = {0, 0, 0, 0};
  AdjustWindowRectExForDpi(&frame, WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_TOOLWINDOW, 144);
  RECT system = {0, 0, 0, 0};
  AdjustWindowRectEx(&system, WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_TOOLWINDOW);
  const int extraWidth = (frame.right - frame.left) - (system.right - system.left);
  const int extraHeight = (frame.bottom - frame.top) - (system.bottom - system.top);
  EXPECT_EQ(client.right, 930 + extraWidth);
  EXPECT_EQ(client.bottom, 630 + extraHeight);
  LOGFONTW font = {};
  GetObjectW(updateFont, sizeof font, &font);
  EXPECT_EQ(font.lfHeight, -20);
}

TEST_F(UpdateWindowTest, TheIconIsReadBesideTheExecutableWhenThere) {
  // A 16 x 16 icon, 32 bits per pixel.
  std::string icon(6 + 16 + 40 + 16 * 16 * 4 + 16 * 4, '\0');
  auto put16 = [&](size_t at, int value) {
    icon[at] = char(value & 0xFF);
    icon[at + 1] = char(value >> 8);
  };
  auto put32 = [&](size_t at, int value) {
    put16(at, value & 0xFFFF);
    put16(at + 2, (value >> 16) & 0xFFFF);
  };
  put16(2, 1);                                    // an icon file
  put16(4, 1);                                    // one image
  icon[6] = 16;                                   // width
  icon[7] = 16;                                   // height
  put16(10, 1);                                   // planes
  put16(12, 32);                                  // bits per pixel
  put32(14, static_cast<int>(icon.size()) - 22);  // image size
  put32(18, 22);                                  // image offset
  put32(22, 40);                                  // BITMAPINFOHEADER
  put32(26, 16);
  put32(30, 32);  // colour and mask rows
  put16(34, 1);
  put16(36, 32);
  for (size_t pixel = 62; pixel < 62 + 16 * 16 * 4; pixel += 4)
    icon[pixel + 3] = char(0xFF);

  const kesta::testing::TempDirectory temp("icon");
  const std::wstring directory = temp.path().wstring();
  const std::wstring file = directory + L"\\AppIcon.ico";
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(handle, icon.data(), static_cast<DWORD>(icon.size()), &written, nullptr);
  CloseHandle(handle);

  DestroyWindow(updateWindow);
  EXPECT_EQ(appIcon, nullptr) << "no icon without the file";
  appDirectory = utf8(directory);  // backslashes, then "/AppIcon.ico"
  DesktopApplicationMenuReady();
  EXPECT_NE(appIcon, nullptr);
  DestroyIcon(appIcon);
  appIcon = nullptr;
  appDirectory.clear();
}

TEST_F(UpdateWindowTest, DpiChangeMovesRefontsAndRelaysOut) {
  HFONT before = updateFont;
  LOGFONTW font = {};
  GetObjectW(before, sizeof font, &font);
  EXPECT_EQ(font.lfHeight, -13);

  windowDpi = dpi144;
  RECT suggested = {40, 50, 0, 0};
  RECT outer = {0, 0, 930, 630};
  AdjustWindowRectEx(&outer, WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_TOOLWINDOW);
  suggested.right = suggested.left + (outer.right - outer.left);
  suggested.bottom = suggested.top + (outer.bottom - outer.top);
  SendMessageW(updateWindow, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));

  RECT window = {};
  GetWindowRect(updateWindow, &window);
  EXPECT_EQ(window.left, 40);
  EXPECT_EQ(window.top, 50);
  ASSERT_NE(updateFont, before);
  EXPECT_EQ(GetObjectType(before), 0u) << "the old font was not deleted";
  GetObjectW(updateFont, sizeof font, &font);
  EXPECT_EQ(font.lfHeight, -20);
  EXPECT_EQ(std::wstring(font.lfFaceName), L"Segoe UI");
  for (HWND control : {detailsWindow, acceptButton, deferButton})
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), updateFont);
  EXPECT_TRUE(placedAt(acceptButton, 546, 549, 354, 51));
}

TEST_F(UpdateWindowTest, TabMovesAmongEnabledControlsAndWraps) {
  SetFocus(detailsWindow);
  pressKey(detailsWindow, VK_TAB);
  EXPECT_EQ(GetFocus(), detailsWindow) << "with both buttons disabled Tab stays on the text";

  EnableWindow(acceptButton, TRUE);
  EnableWindow(deferButton, TRUE);
  pressKey(detailsWindow, VK_TAB);
  EXPECT_EQ(GetFocus(), acceptButton);
  pressKey(acceptButton, VK_TAB);
  EXPECT_EQ(GetFocus(), deferButton);
  pressKey(deferButton, VK_TAB);
  EXPECT_EQ(GetFocus(), detailsWindow);
  pressKey(detailsWindow, VK_TAB, /*shift=*/true);
  EXPECT_EQ(GetFocus(), deferButton);

  EnableWindow(acceptButton, FALSE);
  pressKey(deferButton, VK_TAB);
  pressKey(detailsWindow, VK_TAB);
  EXPECT_EQ(GetFocus(), deferButton) << "a disabled button is skipped";
}

TEST_F(UpdateWindowTest, ActivationFocusesDeferWhenEnabled) {
  SendMessageW(updateWindow, WM_SETFOCUS, 0, 0);
  EXPECT_EQ(GetFocus(), detailsWindow);
  EnableWindow(deferButton, TRUE);
  SendMessageW(updateWindow, WM_SETFOCUS, 0, 0);
  EXPECT_EQ(GetFocus(), deferButton);
}

TEST_F(UpdateWindowTest, EscapeHidesOnlyAfterAdmission) {
  // Before admission, closing cancels the start-up; with no browser client
  // there is nothing to close and the window stays.
  pressKey(detailsWindow, VK_ESCAPE);
  EXPECT_TRUE(IsWindowVisible(updateWindow));
  setAdmitted(true);
  pressKey(detailsWindow, VK_ESCAPE);
  EXPECT_FALSE(IsWindowVisible(updateWindow));
  EXPECT_TRUE(IsWindow(updateWindow));
  DesktopShowUpdates();
  EXPECT_TRUE(IsWindowVisible(updateWindow));
  SendMessageW(updateWindow, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(updateWindow));
}

TEST_F(UpdateWindowTest, EnterOnAButtonSubmitsButNotInTheText) {
  updateState = CefDictionaryValue::Create();
  CefRefPtr<CefDictionaryValue> pending = CefDictionaryValue::Create();
  pending->SetDouble("revision", 3);
  updateState->SetDictionary("pending", pending);
  EnableWindow(acceptButton, TRUE);
  EnableWindow(deferButton, TRUE);

  pressKey(detailsWindow, VK_RETURN);
  EXPECT_TRUE(IsWindowEnabled(deferButton));
  // Defer needs no confirmation: the request starts and both buttons wait.
  pressKey(deferButton, VK_RETURN);
  EXPECT_FALSE(IsWindowEnabled(acceptButton));
  EXPECT_FALSE(IsWindowEnabled(deferButton));
  if (updateThread.joinable())
    updateThread.join();
  pumpMessages();
}

}  // namespace
}  // namespace kesta::desktop
