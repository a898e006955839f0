// KESTA.dll's export as a host calls it: loaded with LoadLibrary, called
// once per process. Each case needs its own process command line, so each
// runs as a CTest entry of its own. The EntryProcess cases run the entry in
// child processes and watch how they end.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "loopback_server.h"
#include "support/message_boxes_win.h"
#include "support/temp_directory.h"
#include "test_files.h"

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

namespace t = kesta::testing;

// The entry (entry_driver.exe, as the installation's KESTA.exe) started
// with a data directory and a bootstrap naming a loopback server that
// answers as a service whose launch is not ready yet.
class EntryProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = temp_.Utf8();
    std::filesystem::create_directories(t::Wide(root_ + "\\app\\resources"));
    std::filesystem::copy_file(t::Wide(t::ProgramDirectory() + "\\shell_entry_driver.exe"),
                               t::Wide(root_ + "\\app\\KESTA.exe"));
    std::filesystem::create_directories(t::Wide(root_ + "\\data"));
    t::WriteText(root_ + "\\data\\local-token", "0123456789abcdef0123456789abcdef");
  }
  void TearDown() override { SetEnvironmentVariableW(L"KESTA_ENTRY_FAULT", nullptr); }

  t::ChildOutcome Run(const char* fault, const std::string& extraArgument = "") {
    const std::string state = R"({"generation":"g1","siteOrigin":"","updateGate":false,"browserProxy":{"mode":"direct"}})";
    t::LoopbackServer service([&](const t::ReceivedRequest& request) -> std::optional<std::string> {
      if (request.target == "/api/info")
        return t::LoopbackServer::Response(200, R"({"serviceVersion":"0.6.12","state":)" + state + "}");
      if (request.target == "/api/launch")
        return t::LoopbackServer::Response(200, R"({"ready":false,"state":)" + state + "}");
      return t::LoopbackServer::Response(200, R"({"state":)" + state + "}");
    });
    if (bootstrap_)
      t::WriteText(root_ + "\\app\\resources\\bootstrap.json", nlohmann::json{{"port", service.port()}}.dump());
    SetEnvironmentVariableW(L"KESTA_ENTRY_FAULT", fault ? t::Wide(fault).c_str() : nullptr);
    const std::string executable = root_ + "\\app\\KESTA.exe";
    std::wstring line = L"\"" + t::Wide(executable) + L"\" \"--data-dir=" + t::Wide(root_ + "\\data") + L"\"";
    if (!extraArgument.empty())
      line += L" \"" + t::Wide(extraArgument) + L"\"";
    t::ChildOutcome outcome = t::RunChild(processes_, root_, executable, line, 60000);
    std::erase(outcome.output, '\r');
    EXPECT_TRUE(outcome.finished) << outcome.error << outcome.output;
    return outcome;
  }

  // Destroyed in reverse: what the entry started ends before its folder goes.
  t::TempDirectory temp_{"entry"};
  t::ProcessGroup processes_;
  std::string root_;
  bool bootstrap_ = true;
};

TEST_F(EntryProcess, ADebugPortReachesTheRuntimeAndAClosedStartEndsWithZero) {
  const t::ChildOutcome outcome = Run(nullptr, "--debug-port= 9333abc");
  EXPECT_EQ(outcome.exitCode, 0u) << outcome.output;
  EXPECT_NE(outcome.output.find("remote-debugging-port=9333\n"), std::string::npos) << outcome.output;
}

TEST_F(EntryProcess, AFailedPreparationReturnsTwoBeforeTheRuntimeStarts) {
  bootstrap_ = false;
  const t::ChildOutcome outcome = Run(nullptr);
  EXPECT_EQ(outcome.exitCode, 2u) << outcome.output;
  EXPECT_NE(outcome.output.find("box: 客户端缺少有效的 bootstrap.json"), std::string::npos) << outcome.output;
  EXPECT_EQ(outcome.output.find("remote-debugging-port"), std::string::npos) << outcome.output;
}

// The client never goes on without its scheme handler or the direct local
// context: the process ends with the reason and exit code 3.
TEST_F(EntryProcess, FatalSetUpErrorsEndTheProcessWithTheirText) {
  const struct {
    const char* fault;
    const char* text;
  } cases[] = {{"direct-proxy", "Cannot configure direct loopback context: refused by the driver\n"},
               {"scheme-handler", "Cannot register local HTTPS content handler\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    const t::ChildOutcome outcome = Run(c.fault);
    EXPECT_EQ(outcome.exitCode, 3u) << outcome.output;
    EXPECT_NE(outcome.output.find(c.text), std::string::npos) << outcome.output;
    EXPECT_EQ(outcome.output.find("remote-debugging-port"), std::string::npos) << "the client went on";
  }
}

}  // namespace
