// Logging: where records go, which are kept, and what the macros write.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/command_line_global.h"
#include "core/log_settings.h"
#include "include/base/cef_logging.h"
#include "include/cef_command_line.h"

namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class LoggingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() /
            ("cef_logging_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log");
    std::filesystem::remove(path_);
  }
  void TearDown() override {
    cef_internal::ResetLogging();
    std::filesystem::remove(path_);
  }
  CefString PathString() const { return CefString(path_.wstring()); }

  std::filesystem::path path_;
};

// cef_log_severity_t values CefSettings uses.
constexpr int kSeverityDefault = 0;
constexpr int kSeverityWarning = 3;
constexpr int kSeverityDisable = 99;

TEST_F(LoggingTest, RecordsGoToTheLogFileOnceSet) {
  EXPECT_EQ(cef_get_min_log_level(), cef::logging::LOG_INFO);
  cef_internal::SetLogFile(PathString(), kSeverityDefault);
  LOG(INFO) << "hello " << 42 << L" wide " << u"资源";
  LOG(ERROR) << "bad thing";
  LOG_IF(WARNING, false) << "never";
  const std::string text = ReadFile(path_);
  EXPECT_NE(text.find(":INFO:logging_test.cc("), std::string::npos) << text;
  EXPECT_NE(text.find("] hello 42 wide 资源\n"), std::string::npos) << text;
  EXPECT_NE(text.find(":ERROR:logging_test.cc("), std::string::npos) << text;
  EXPECT_EQ(text.find("never"), std::string::npos);
  EXPECT_EQ(text.front(), '[');

  // Back on standard error: the file is closed and left as it is.
  cef_internal::ResetLogging();
  LOG(INFO) << "to stderr";
  EXPECT_EQ(ReadFile(path_), text);
}

TEST_F(LoggingTest, SeverityFiltersAndSkipsEvaluation) {
  cef_internal::SetLogFile(PathString(), kSeverityWarning);
  EXPECT_EQ(cef_get_min_log_level(), cef::logging::LOG_WARNING);
  int evaluated = 0;
  auto count = [&] { return ++evaluated; };
  LOG(INFO) << "dropped " << count();
  VLOG(1) << "verbose " << count();
  LOG(WARNING) << "kept " << count();
  EXPECT_EQ(evaluated, 1);
  const std::string text = ReadFile(path_);
  EXPECT_EQ(text.find("dropped"), std::string::npos);
  EXPECT_NE(text.find("kept 1"), std::string::npos);

  cef_internal::SetLogFile(PathString(), kSeverityDisable);
  LOG(ERROR) << "silenced";
  EXPECT_EQ(ReadFile(path_).find("silenced"), std::string::npos);
}

TEST_F(LoggingTest, VerboseLevelComesFromTheVSwitch) {
  cef_internal::SetLogFile(PathString(), 1);  // LOGSEVERITY_VERBOSE
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  command_line->InitFromString("app.exe --v=2");
  cef_internal::SetGlobalCommandLine(command_line);
  VLOG(2) << "level two";
  VLOG(3) << "level three";
  const std::string text = ReadFile(path_);
  EXPECT_NE(text.find(":VERBOSE2:logging_test.cc("), std::string::npos) << text;
  EXPECT_EQ(text.find("level three"), std::string::npos) << text;
}

TEST_F(LoggingTest, NotImplementedNamesTheFunction) {
  cef_internal::SetLogFile(PathString(), kSeverityDefault);
  NOTIMPLEMENTED();
  const std::string text = ReadFile(path_);
  EXPECT_NE(text.find(":ERROR:"), std::string::npos) << text;
  EXPECT_NE(text.find("] Not implemented reached in virtual void "), std::string::npos) << text;
  EXPECT_NE(text.find("NotImplementedNamesTheFunction"), std::string::npos) << text;
}

TEST_F(LoggingTest, UnopenableFileFallsBackToStandardError) {
  const auto missing = path_.parent_path() / "no-such-dir-for-cef-logs" / "debug.log";
  cef_internal::SetLogFile(CefString(missing.wstring()), kSeverityDefault);
  LOG(INFO) << "still recorded somewhere";
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(LoggingDeathTest, CheckFailuresAreFatalWithTheirText) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  int a = 1;
  int b = 2;
  EXPECT_DEATH(CHECK(a == b) << "extra", "Check failed: a == b. extra");
  EXPECT_DEATH(CHECK_EQ(a, b), "Check failed: a == b \\(1 vs. 2\\)");
  EXPECT_DEATH(LOG(FATAL) << "fatal record", "fatal record");
  CHECK_LT(a, b) << "holds";
#if DCHECK_IS_ON()
  EXPECT_DEATH(DCHECK_NE(a, 1), "Check failed: a != 1");
#else
  DCHECK_NE(a, 1);  // compiled, not evaluated
#endif
}

}  // namespace
