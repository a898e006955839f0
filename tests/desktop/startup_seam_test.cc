// The executable-path query at the very start of preparation, through the
// module-path seam: a cut path is refused, the longest path that fits is not.
#include <gtest/gtest.h>

#include <windows.h>

#include "desktop/desktop.h"
#include "desktop/desktop_state.h"
#include "include/cef_command_line.h"
#include "support/message_boxes_win.h"

namespace kesta::desktop {
namespace {

std::wstring fakePath;
DWORD fakeResult = 0;

// Behaves like GetModuleFileNameW for a path of fakePath's length.
DWORD WINAPI FakeModuleFileName(HMODULE, LPWSTR buffer, DWORD size) {
  DWORD copied = static_cast<DWORD>(std::min<size_t>(fakePath.size(), size));
  std::copy(fakePath.begin(), fakePath.begin() + copied, buffer);
  if (copied < size)
    buffer[copied] = L'\0';
  else if (size > 0)
    buffer[size - 1] = L'\0';  // cut, as the system does
  return fakeResult;
}

class ModulePath : public ::testing::Test {
 protected:
  void SetUp() override {
    moduleFileName = &FakeModuleFileName;
    // As the process starts: a test that got past the path has set them.
    appDirectory.clear();
    restartExecutable.clear();
  }
  void TearDown() override { moduleFileName = &GetModuleFileNameW; }

  std::vector<kesta::testing::MessageBoxRecord> Prepare() {
    kesta::testing::MessageBoxWatcher boxes;
    CefRefPtr<CefCommandLine> commandLine = CefCommandLine::CreateCommandLine();
    EXPECT_FALSE(DesktopPrepare(commandLine));
    return boxes.Boxes();
  }
};

TEST_F(ModulePath, FailureAndCutPathAreRefused) {
  for (DWORD result : {DWORD{0}, DWORD{32768}}) {
    fakePath = result ? L"C:\\" + std::wstring(40000, L'a') : L"";
    fakeResult = result;
    auto boxes = Prepare();
    ASSERT_EQ(boxes.size(), 1u) << result;
    EXPECT_EQ(boxes[0].caption, "Ostrel · 启动失败");
    // Nothing is known yet, so nothing follows the label.
    EXPECT_EQ(boxes[0].text, "无法确定客户端目录\n\n日志目录：");
    EXPECT_EQ(appDirectory, "");
    EXPECT_EQ(restartExecutable, "");
  }
}

TEST_F(ModulePath, LongestPathThatFitsIsUsed) {
  std::wstring directory = L"C:\\" + std::wstring(32767 - 3 - 11, L'd');
  fakePath = directory + L"\\client.exe";
  ASSERT_EQ(fakePath.size(), 32767u);
  fakeResult = 32767;
  auto boxes = Prepare();
  ASSERT_EQ(boxes.size(), 1u);
  // It got past the path: the bootstrap file is what is missing.
  EXPECT_EQ(boxes[0].text, "客户端缺少有效的 bootstrap.json，请重新解压完整安装包。\n\n日志目录：");
  EXPECT_EQ(appDirectory, kesta::testing::Utf8(directory));
  EXPECT_EQ(restartExecutable, kesta::testing::Utf8(fakePath));
}

}  // namespace
}  // namespace kesta::desktop
