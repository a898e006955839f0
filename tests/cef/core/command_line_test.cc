// CefCommandLine: Windows splitting rules, Chromium's switch syntax and the
// rebuilt command-line string.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/command_line_global.h"
#include "core/command_line_split.h"
#include "include/cef_command_line.h"

namespace {

std::vector<std::string> Argv(CefRefPtr<CefCommandLine> command_line) {
  std::vector<CefString> argv;
  command_line->GetArgv(argv);
  std::vector<std::string> out;
  for (const auto& arg : argv)
    out.push_back(arg.ToString());
  return out;
}

std::vector<std::string> Arguments(CefRefPtr<CefCommandLine> command_line) {
  CefCommandLine::ArgumentList arguments;
  command_line->GetArguments(arguments);
  std::vector<std::string> out;
  for (const auto& arg : arguments)
    out.push_back(arg.ToString());
  return out;
}

std::vector<std::string> Split(const std::u16string& text) {
  std::vector<std::string> out;
  for (const auto& arg : cef_internal::SplitCommandLine(text))
    out.push_back(CefString(arg).ToString());
  return out;
}

TEST(CommandLineSplit, FollowsCommandLineToArgvW) {
  struct Case {
    std::u16string input;
    std::vector<std::string> expected;
  } cases[] = {
      {u"app.exe", {"app.exe"}},
      {u"app.exe a  b\tc ", {"app.exe", "a", "b", "c"}},
      {u"\"C:\\Program Files\\app.exe\" x", {"C:\\Program Files\\app.exe", "x"}},
      // The program takes backslashes and quotes literally.
      {u"C:\\dir\\\\app.exe \"a b\"", {"C:\\dir\\\\app.exe", "a b"}},
      {u"p a\\\\\\\"b", {"p", "a\\\"b"}},         // 3 backslashes + quote
      {u"p \"a\\\\\" b", {"p", "a\\", "b"}},      // 2 backslashes + quote
      {u"p a\\\\b c\\", {"p", "a\\\\b", "c\\"}},  // no quote: literal
      {u"p \"\" x", {"p", "", "x"}},
      {u"p \"a\"\"b\"", {"p", "a\"b"}},
      {u"p \"a\"\"\"b", {"p", "a\"b"}},
      {u"p --name=\"va lue\" tail", {"p", "--name=va lue", "tail"}},
      {u"\"p q\"r s", {"p q", "r", "s"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Split(c.input), c.expected) << CefString(c.input).ToString();
}

TEST(CommandLineSplit, QuotingRoundTrips) {
  const std::u16string args[] = {u"plain",        u"with space", u"C:\\path\\dir\\", u"say \"hi\"", u"\\\\server\\x",
                                 u"trailing\\\\", u"",           u"资源 目录",       u"a\\\"b"};
  std::u16string line = u"prog.exe";
  for (const auto& arg : args)
    line += u" " + cef_internal::QuoteForCommandLine(arg);
  std::vector<std::u16string> back = cef_internal::SplitCommandLine(line);
  ASSERT_EQ(back.size(), std::size(args) + 1);
  for (size_t i = 0; i < std::size(args); ++i)
    EXPECT_EQ(back[i + 1], args[i]) << i;
  EXPECT_EQ(cef_internal::QuoteForCommandLine(u"plain"), u"plain");
  EXPECT_EQ(cef_internal::QuoteForCommandLine(u"C:\\a b\\"), u"\"C:\\a b\\\\\"");
}

TEST(CommandLine, ParsesSwitchesWithChromiumSyntax) {
  CefRefPtr<CefCommandLine> cl = CefCommandLine::CreateCommandLine();
  EXPECT_TRUE(cl->IsValid());
  EXPECT_FALSE(cl->IsReadOnly());
  cl->InitFromString(
      "  \"C:\\Apps\\Kesta\\app.exe\" first --Type=Renderer -single /Slash=a=b --empty= "
      "- / --dup=1 --dup=2 -- --not-a-switch /x last ");
  EXPECT_EQ(cl->GetProgram().ToString(), "C:\\Apps\\Kesta\\app.exe");
  EXPECT_TRUE(cl->HasSwitches());
  EXPECT_TRUE(cl->HasSwitch("type"));
  EXPECT_TRUE(cl->HasSwitch("TYPE"));                            // lookups ignore ASCII case too
  EXPECT_EQ(cl->GetSwitchValue("type").ToString(), "Renderer");  // values keep case
  EXPECT_TRUE(cl->HasSwitch("single"));
  EXPECT_EQ(cl->GetSwitchValue("single").ToString(), "");
  EXPECT_EQ(cl->GetSwitchValue("slash").ToString(), "a=b");
  EXPECT_TRUE(cl->HasSwitch("empty"));
  EXPECT_EQ(cl->GetSwitchValue("dup").ToString(), "2");
  EXPECT_FALSE(cl->HasSwitch("not-a-switch"));
  EXPECT_FALSE(cl->HasSwitch("x"));
  EXPECT_EQ(cl->GetSwitchValue("absent").ToString(), "");

  CefCommandLine::SwitchMap switches;
  cl->GetSwitches(switches);
  EXPECT_EQ(switches.size(), 5u);
  EXPECT_EQ(switches[CefString("slash")].ToString(), "a=b");

  // Switches first (original prefixes, lower-cased names), then arguments;
  // the terminator stays in argv but not in the argument list.
  EXPECT_EQ(Argv(cl),
            (std::vector<std::string>{"C:\\Apps\\Kesta\\app.exe", "--type=Renderer", "-single", "/slash=a=b", "--empty",
                                      "--dup=1", "--dup=2", "first", "-", "/", "--", "--not-a-switch", "/x", "last"}));
  EXPECT_EQ(Arguments(cl), (std::vector<std::string>{"first", "-", "/", "--not-a-switch", "/x", "last"}));
}

TEST(CommandLine, AppendRemoveResetAndOrdering) {
  CefRefPtr<CefCommandLine> cl = CefCommandLine::CreateCommandLine();
  cl->SetProgram("  app.exe ");
  cl->AppendArgument("file one.txt");
  cl->AppendSwitch("Enable-Thing");
  cl->AppendSwitchWithValue("lang", "zh-CN");
  cl->AppendSwitchWithValue("-short", "");
  cl->AppendArgument("two");
  EXPECT_EQ(Argv(cl),
            (std::vector<std::string>{"app.exe", "--enable-thing", "--lang=zh-CN", "-short", "file one.txt", "two"}));
  EXPECT_TRUE(cl->HasArguments());

  cl->AppendSwitchWithValue("lang", "en");
  cl->RemoveSwitch("LANG");
  EXPECT_FALSE(cl->HasSwitch("lang"));
  cl->RemoveSwitch("never-there");
  EXPECT_EQ(Argv(cl), (std::vector<std::string>{"app.exe", "--enable-thing", "-short", "file one.txt", "two"}));

  CefRefPtr<CefCommandLine> copy = cl->Copy();
  cl->Reset();
  EXPECT_EQ(Argv(cl), (std::vector<std::string>{"app.exe"}));
  EXPECT_FALSE(cl->HasSwitches());
  EXPECT_FALSE(cl->HasArguments());
  EXPECT_EQ(Argv(copy).size(), 5u);  // the copy is independent

  // A blank string changes nothing.
  copy->InitFromString("   ");
  EXPECT_EQ(Argv(copy).size(), 5u);

  copy->PrependWrapper("gdb --args");
  EXPECT_EQ(copy->GetProgram().ToString(), "gdb");
  EXPECT_EQ(Argv(copy)[2], "app.exe");
}

TEST(CommandLine, CommandLineStringRoundTrips) {
  CefRefPtr<CefCommandLine> cl = CefCommandLine::CreateCommandLine();
  cl->SetProgram("C:\\Program Files\\Kesta\\app.exe");
  cl->AppendSwitchWithValue("user-data-dir", "C:\\Users\\me\\数据 目录\\");
  cl->AppendSwitchWithValue("quote", "say \"hi\"");
  cl->AppendSwitch("flag");
  cl->AppendArgument("https://example.test/?a=1&b=2");
  cl->AppendArgument("");
  cl->AppendArgument("--");
  cl->AppendArgument("--literal");

  const CefString text = cl->GetCommandLineString();
  EXPECT_EQ(text.ToString(),
            "\"C:\\Program Files\\Kesta\\app.exe\" "
            "--user-data-dir=\"C:\\Users\\me\\数据 目录\\\\\" --quote=\"say \\\"hi\\\"\" --flag "
            "https://example.test/?a=1&b=2 \"\" -- --literal");

  CefRefPtr<CefCommandLine> back = CefCommandLine::CreateCommandLine();
  back->InitFromString(text);
  EXPECT_EQ(Argv(back), Argv(cl));
  EXPECT_EQ(back->GetSwitchValue("user-data-dir").ToString(), "C:\\Users\\me\\数据 目录\\");
  EXPECT_EQ(Arguments(back), (std::vector<std::string>{"https://example.test/?a=1&b=2", "", "--literal"}));
}

TEST(CommandLine, SingleArgumentTakesTheRestVerbatim) {
  CefRefPtr<CefCommandLine> cl = CefCommandLine::CreateCommandLine();
  cl->InitFromString("app.exe --flag --single-argument C:\\some \"odd\" --file name");
  EXPECT_TRUE(cl->HasSwitch("flag"));
  EXPECT_EQ(Arguments(cl), (std::vector<std::string>{"C:\\some \"odd\" --file name"}));
  EXPECT_FALSE(cl->HasSwitch("file"));
}

TEST(CommandLine, GlobalCommandLineIsReadOnlyAndReplaceable) {
  CefRefPtr<CefCommandLine> global = CefCommandLine::GetGlobalCommandLine();
  ASSERT_TRUE(global);
  EXPECT_TRUE(global->IsReadOnly());
  EXPECT_EQ(global, CefCommandLine::GetGlobalCommandLine());

  CefRefPtr<CefCommandLine> source = CefCommandLine::CreateCommandLine();
  source->InitFromString("client.exe --lang=zh-CN page.html");
  cef_internal::SetGlobalCommandLine(source);
  source->AppendSwitch("later");  // the global took a copy
  EXPECT_EQ(global->GetSwitchValue("lang").ToString(), "zh-CN");
  EXPECT_FALSE(global->HasSwitch("later"));

  global->AppendSwitch("ignored");
  global->Reset();
  EXPECT_FALSE(global->HasSwitch("ignored"));
  EXPECT_TRUE(global->HasArguments());

  CefRefPtr<CefCommandLine> copy = global->Copy();
  EXPECT_FALSE(copy->IsReadOnly());
  copy->AppendSwitch("mine");
  EXPECT_TRUE(copy->HasSwitch("mine"));
  EXPECT_FALSE(global->HasSwitch("mine"));
}

}  // namespace
