// Starting child processes: quoting through real argument splitting, the
// service log, and the restart after shutdown.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "desktop/desktop.h"
#include "desktop/desktop_internal.h"
#include "desktop/desktop_state.h"
#include "support/message_boxes_win.h"
#include "support/temp_directory.h"
#include "test_files.h"

namespace kesta::desktop {
namespace {

using nlohmann::json;
namespace t = kesta::testing;

class ChildProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    t::KeepStandardHandlesPrivate();
    // The client has no console: it is started from the desktop. A program
    // that Wine starts without a terminal has none either, but until it gives
    // that state up, its console children get no console window whatever
    // their creation flags.
    FreeConsole();
    directory_ = temp_.Utf8();
    records_ = directory_ + "\\records.jsonl";
    SetEnvironmentVariableW(L"KESTA_RECORDER_OUT", t::Wide(records_).c_str());
    SetEnvironmentVariableW(L"KESTA_RECORDER_STREAMS", nullptr);
    recorder_ = t::ProgramDirectory() + "\\desktop_recorder.exe";
  }
  // A recorder that has written its record may still be ending, holding
  // the log it writes to: the folder's removal waits for it.
  void TearDown() override { SetEnvironmentVariableW(L"KESTA_RECORDER_OUT", nullptr); }

  // The record of the `index`th start, waiting for it to appear.
  json Record(size_t index) {
    if (!t::WaitForLines(records_, index + 1))
      return json();
    return json::parse(t::ReadLines(records_)[index]);
  }

  // A copy of the recorder at `relative` inside the test directory.
  std::string CopyRecorder(const std::string& relative) {
    std::string target = directory_ + "\\" + relative;
    std::filesystem::path path(t::Wide(target));
    std::filesystem::create_directories(path.parent_path());
    std::filesystem::copy_file(std::filesystem::path(t::Wide(recorder_)), path);
    return target;
  }

  t::TempDirectory temp_{"spawn"};
  std::string directory_;
  std::string records_;
  std::string recorder_;
};

const std::vector<std::string>& TrickyArguments() {
  static const std::vector<std::string> arguments = {
      "--data-dir",
      "C:/Game Files/app",
      "C:\\dir\\",
      "a\\\\b",
      "say \"hi\"",
      "a\\\"b",
      "",
      "\\",
      "\"",
      "\\\\\"\\\\",
      "tab\there",
      "  leading and trailing  ",
      "--data-dir=C:\\数据 目录\\",
      "资源与更新…",
      "--switch=\"quoted value\"",
  };
  return arguments;
}

TEST_F(ChildProcesses, ArgumentsArriveUnchangedThroughBothSplitters) {
  ASSERT_TRUE(spawn(recorder_, TrickyArguments(), false)) << GetLastError();
  json record = Record(0);
  ASSERT_FALSE(record.is_null());
  std::vector<std::string> shell = record["shell"];
  std::vector<std::string> crt = record["crt"];
  ASSERT_EQ(shell.size(), TrickyArguments().size() + 1);
  ASSERT_EQ(crt.size(), TrickyArguments().size() + 1);
  for (size_t i = 0; i < TrickyArguments().size(); ++i) {
    EXPECT_EQ(shell[i + 1], TrickyArguments()[i]) << "CommandLineToArgvW, argument " << i;
    EXPECT_EQ(crt[i + 1], TrickyArguments()[i]) << "C runtime, argument " << i;
  }
  EXPECT_EQ(shell[0], recorder_);
  // No creation flags: a console program gets a console window of its own,
  // which the service must not (below).
  EXPECT_EQ(record["consoleWindow"], true);
}

TEST_F(ChildProcesses, ExecutablePathWithSpacesAndChineseNoArguments) {
  std::string program = CopyRecorder("程序 目录\\recorder copy.exe");
  ASSERT_TRUE(spawn(program, {}, false)) << GetLastError();
  json record = Record(0);
  ASSERT_FALSE(record.is_null());
  EXPECT_EQ(record["commandLine"], "\"" + program + "\"");
  EXPECT_EQ(record["shell"], json::array({program}));
  EXPECT_EQ(record["crt"], json::array({program}));
  EXPECT_EQ(record["module"], program);
}

TEST_F(ChildProcesses, MissingExecutableLeavesTheReason) {
  SetLastError(0);
  EXPECT_FALSE(spawn(directory_ + "\\missing.exe", {"x"}, false));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(ChildProcesses, RedirectAppendsToTheServiceLogWithNullInput) {
  dataDir = directory_ + "/data";
  std::filesystem::create_directories(std::filesystem::path(t::Wide(dataDir)));
  std::string log = dataDir + "/service.log";
  t::WriteText(log, "earlier run\n");
  SetEnvironmentVariableW(L"KESTA_RECORDER_STREAMS", L"1");

  ASSERT_TRUE(spawn(recorder_, {"first"}, true)) << GetLastError();
  json first = Record(0);
  ASSERT_TRUE(spawn(recorder_, {"second"}, true)) << GetLastError();
  json second = Record(1);
  ASSERT_FALSE(first.is_null());
  ASSERT_FALSE(second.is_null());
  EXPECT_EQ(first["stdin"], "");
  EXPECT_EQ(second["stdin"], "");
  EXPECT_EQ(first["consoleWindow"], false);
  EXPECT_EQ(second["consoleWindow"], false);

  std::vector<std::string> lines = t::ReadLines(log);
  std::string firstPid = std::to_string(first["pid"].get<unsigned long>());
  std::string secondPid = std::to_string(second["pid"].get<unsigned long>());
  std::vector<std::string> expected = {"earlier run", "recorder output " + firstPid, "recorder error " + firstPid,
                                       "recorder output " + secondPid, "recorder error " + secondPid};
  EXPECT_EQ(lines, expected);
}

TEST_F(ChildProcesses, RedirectCreatesAMissingLog) {
  dataDir = directory_ + "/fresh";
  std::filesystem::create_directories(std::filesystem::path(t::Wide(dataDir)));
  SetEnvironmentVariableW(L"KESTA_RECORDER_STREAMS", L"1");
  ASSERT_TRUE(spawn(recorder_, {}, true)) << GetLastError();
  ASSERT_FALSE(Record(0).is_null());
  EXPECT_EQ(t::ReadLines(dataDir + "/service.log").size(), 2u);
}

TEST_F(ChildProcesses, NoProcessWhenTheLogCannotBeOpened) {
  dataDir = directory_ + "/does/not/exist";
  SetLastError(0);
  EXPECT_FALSE(spawn(recorder_, {"never"}, true));
  EXPECT_NE(GetLastError(), 0u);
  Sleep(1000);
  EXPECT_TRUE(t::ReadLines(records_).empty());
}

TEST_F(ChildProcesses, RestartOnlyWhenAsked) {
  t::MessageBoxWatcher boxes;
  restartExecutable = recorder_;
  restartArguments = TrickyArguments();

  restartHost = false;
  DesktopRestartAfterShutdown();
  Sleep(500);
  EXPECT_TRUE(t::ReadLines(records_).empty());

  restartHost = true;
  DesktopRestartAfterShutdown();
  json record = Record(0);
  ASSERT_FALSE(record.is_null());
  std::vector<std::string> crt = record["crt"];
  ASSERT_EQ(crt.size(), TrickyArguments().size() + 1);
  EXPECT_EQ(std::vector<std::string>(crt.begin() + 1, crt.end()), TrickyArguments());
  EXPECT_TRUE(boxes.Boxes().empty());
  restartHost = false;
}

TEST_F(ChildProcesses, FailedRestartIsReported) {
  t::MessageBoxWatcher boxes;
  dataDir = "C:/Users/测试/KESTA Client";
  restartExecutable = directory_ + "\\gone.exe";
  restartArguments = {"--url=x"};
  restartHost = true;
  DesktopRestartAfterShutdown();
  restartHost = false;
  ASSERT_TRUE(boxes.WaitFor(1));
  auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "Ostrel · 启动失败");
  EXPECT_EQ(shown[0].text, "无法重新启动客户端，请手动打开。\n\n日志目录：C:/Users/测试/KESTA Client");
}

}  // namespace
}  // namespace kesta::desktop
