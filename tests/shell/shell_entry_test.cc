// KESTA.dll's export as a host calls it: loaded with LoadLibrary, called
// once per process. Each case needs its own process command line, so each
// runs as a CTest entry of its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/message_boxes_win.h"

namespace {

using RunWinMainFunction = int (*)(HINSTANCE, void*, void*, void*);

RunWinMainFunction loadEntry() {
  // The build path as Wine sees it.
  std::wstring path = L"Z:" KESTA_DLL;
  for (wchar_t& c : path)
    c = c == L'/' ? L'\\' : c;
  HMODULE module = LoadLibraryW(path.c_str());
  if (!module)
    return nullptr;
  return reinterpret_cast<RunWinMainFunction>(reinterpret_cast<void*>(GetProcAddress(module, "RunWinMain")));
}

bool processHasTypeSwitch() {
  return std::wstring(GetCommandLineW()).find(L"--type=") != std::wstring::npos;
}

TEST(ShellEntry, WithoutSandboxInformationTheBrowserProcessRefusesToStart) {
  if (processHasTypeSwitch())
    GTEST_SKIP() << "browser process only";
  RunWinMainFunction runWinMain = loadEntry();
  ASSERT_NE(runWinMain, nullptr);
  kesta::testing::MessageBoxWatcher boxes(IDOK);
  EXPECT_EQ(runWinMain(GetModuleHandleW(nullptr), nullptr, nullptr, nullptr), 2);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "Ostrel");
  EXPECT_EQ(boxes.Boxes()[0].text, "Chromium 沙箱启动失败。请使用完整客户端安装目录。");
}

// Run with --type=renderer.
TEST(ShellEntry, ASubProcessGoesStraightToTheRuntimeEvenWithoutSandboxInformation) {
  if (!processHasTypeSwitch())
    GTEST_SKIP() << "sub-process only";
  RunWinMainFunction runWinMain = loadEntry();
  ASSERT_NE(runWinMain, nullptr);
  kesta::testing::MessageBoxWatcher boxes(IDOK);
  EXPECT_EQ(runWinMain(GetModuleHandleW(nullptr), nullptr, nullptr, nullptr), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(boxes.Boxes().empty());
}

}  // namespace
