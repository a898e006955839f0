// CefCommandLine with Chromium's Windows switch syntax.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/command_line_global.h"
#include "core/command_line_split.h"
#include "core/log_settings.h"
#include "include/base/cef_logging.h"
#include "include/cef_command_line.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using String = std::u16string;

constexpr std::u16string_view kSwitchPrefixes[] = {u"--", u"-", u"/"};
constexpr std::u16string_view kSwitchTerminator = u"--";
constexpr char16_t kSwitchValueSeparator = u'=';
constexpr std::u16string_view kSingleArgument = u"single-argument";

String ToLowerASCII(std::u16string_view text) {
  String out(text);
  for (auto& c : out) {
    if (c >= u'A' && c <= u'Z')
      c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return out;
}

bool IsWhitespace(char16_t c) {
  // Chromium's wide whitespace set, for the characters that occur in
  // practice on command lines.
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == 0x00A0 ||
         c == 0x3000 || c == 0x2028 || c == 0x2029 || c == 0xFEFF || (c >= 0x2000 && c <= 0x200A);
}

String Trim(std::u16string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsWhitespace(text[begin]))
    ++begin;
  while (end > begin && IsWhitespace(text[end - 1]))
    --end;
  return String(text.substr(begin, end - begin));
}

size_t GetSwitchPrefixLength(std::u16string_view text) {
  for (auto prefix : kSwitchPrefixes) {
    if (text.substr(0, prefix.size()) == prefix)
      return prefix.size();
  }
  return 0;
}

// Splits "--name=value" into "--name" and "value". A bare prefix is no
// switch.
bool IsSwitch(std::u16string_view text, String* switch_string, String* switch_value) {
  switch_string->clear();
  switch_value->clear();
  const size_t prefix_length = GetSwitchPrefixLength(text);
  if (prefix_length == 0 || prefix_length == text.size())
    return false;
  const size_t equals = text.find(kSwitchValueSeparator);
  *switch_string = String(text.substr(0, equals));
  if (equals != std::u16string_view::npos)
    *switch_value = String(text.substr(equals + 1));
  return true;
}

String FromCef(const CefString& text) {
  return text.ToString16();
}

class CommandLineImpl : public CefCommandLine {
 public:
  explicit CommandLineImpl(bool read_only) : read_only_(read_only) {}

  bool IsValid() override { return true; }
  bool IsReadOnly() override { return read_only_; }

  CefRefPtr<CefCommandLine> Copy() override {
    CefRefPtr<CommandLineImpl> copy = new CommandLineImpl(false);
    std::lock_guard<std::mutex> lock(mutex_);
    copy->CopyFrom(*this);
    return copy;
  }

  void InitFromArgv(int argc, const char* const* argv) override {
#if defined(_WIN32)
    NOTREACHED() << "InitFromArgv is not supported on Windows";
#else
    std::vector<String> args;
    for (int i = 0; i < argc; ++i)
      args.push_back(CefString(argv[i] ? argv[i] : "").ToString16());
    std::lock_guard<std::mutex> lock(mutex_);
    if (read_only_)
      return;
    InitLocked(args, std::u16string_view());
#endif
  }

  void InitFromString(const CefString& command_line) override {
    const String text = Trim(FromCef(command_line));
    if (text.empty())
      return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (read_only_)
      return;
    InitLocked(cef_internal::SplitCommandLine(text), text);
  }

  void Reset() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (read_only_)
      return;
    argv_.resize(1);
    switches_.clear();
    begin_args_ = 1;
    single_argument_ = false;
  }

  void GetArgv(std::vector<CefString>& argv) override {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& arg : argv_)
      argv.push_back(arg);
  }

  CefString GetCommandLineString() override {
    std::lock_guard<std::mutex> lock(mutex_);
    String out = cef_internal::QuoteForCommandLine(argv_[0]);
    bool parse_switches = true;
    const size_t last = single_argument_ ? argv_.size() - 1 : argv_.size();
    for (size_t i = 1; i < last; ++i) {
      const String& arg = argv_[i];
      String switch_string;
      String switch_value;
      parse_switches = parse_switches && arg != kSwitchTerminator;
      out += u' ';
      if (parse_switches && IsSwitch(arg, &switch_string, &switch_value)) {
        out += switch_string;
        if (!switch_value.empty()) {
          out += kSwitchValueSeparator;
          out += cef_internal::QuoteForCommandLine(switch_value);
        }
      } else {
        out += cef_internal::QuoteForCommandLine(arg);
      }
    }
    if (single_argument_) {
      // Given verbatim, as it was received.
      out += u" --";
      out += kSingleArgument;
      out += u' ';
      out += argv_.back();
    }
    return out;
  }

  CefString GetProgram() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return argv_[0];
  }

  void SetProgram(const CefString& program) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (read_only_)
      return;
    argv_[0] = Trim(FromCef(program));
  }

  bool HasSwitches() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return !switches_.empty();
  }

  bool HasSwitch(const CefString& name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return switches_.count(ToLowerASCII(FromCef(name))) > 0;
  }

  CefString GetSwitchValue(const CefString& name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = switches_.find(ToLowerASCII(FromCef(name)));
    return it == switches_.end() ? CefString() : CefString(it->second);
  }

  void GetSwitches(SwitchMap& switches) override {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, value] : switches_)
      switches.insert(std::make_pair(CefString(name), CefString(value)));
  }

  void AppendSwitch(const CefString& name) override {
    AppendSwitchWithValue(name, CefString());
  }

  void AppendSwitchWithValue(const CefString& name, const CefString& value) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (read_only_)
      return;
    AppendSwitchLocked(FromCef(name), FromCef(value));
  }

  void RemoveSwitch(const CefString& name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (read_only_)
      return;
    const String key = ToLowerASCII(FromCef(name));
    if (switches_.erase(key) == 0)
      return;
    // Every occurrence leaves the switch part of argv.
    auto begin = argv_.begin() + 1;
    auto end = argv_.begin() + static_cast<std::ptrdiff_t>(begin_args_);
    auto kept = std::remove_if(begin, end, [&key](const String& arg) {
      String switch_string;
      String switch_value;
      return IsSwitch(arg, &switch_string, &switch_value) &&
             switch_string.substr(GetSwitchPrefixLength(switch_string)) == key;
    });
    begin_args_ -= static_cast<size_t>(end - kept);
    argv_.erase(kept, end);
  }

  bool HasArguments() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return !ArgumentsLocked().empty();
  }

  void GetArguments(ArgumentList& arguments) override {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& arg : ArgumentsLocked())
      arguments.push_back(arg);
  }

  void AppendArgument(const CefString& argument) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (read_only_)
      return;
    argv_.push_back(FromCef(argument));
  }

  void PrependWrapper(const CefString& wrapper) override {
    const String text = FromCef(wrapper);
    if (text.empty())
      return;
    std::vector<String> wrapper_argv = SplitWrapper(text);
    std::lock_guard<std::mutex> lock(mutex_);
    if (read_only_)
      return;
    argv_.insert(argv_.begin(), wrapper_argv.begin(), wrapper_argv.end());
    begin_args_ += wrapper_argv.size();
  }

  // For the global command line, which stays read-only to everyone else.
  void ReplaceWith(CommandLineImpl& other) {
    if (&other == this)
      return;
    std::scoped_lock lock(mutex_, other.mutex_);
    CopyFrom(other);
  }

 private:
  void CopyFrom(const CommandLineImpl& other) {
    argv_ = other.argv_;
    switches_ = other.switches_;
    begin_args_ = other.begin_args_;
    single_argument_ = other.single_argument_;
  }

  // `raw` is the string `args` came from (empty for InitFromArgv).
  void InitLocked(const std::vector<String>& args, std::u16string_view raw) {
    argv_.assign(1, String());
    switches_.clear();
    begin_args_ = 1;
    single_argument_ = false;
    if (args.empty())
      return;
    argv_[0] = Trim(args[0]);

    bool parse_switches = true;
    for (size_t i = 1; i < args.size(); ++i) {
      const String arg = Trim(args[i]);
      String switch_string;
      String switch_value;
      parse_switches = parse_switches && arg != kSwitchTerminator;
      if (parse_switches && IsSwitch(arg, &switch_string, &switch_value)) {
        if (!raw.empty() && switch_value.empty() &&
            ToLowerASCII(switch_string).substr(GetSwitchPrefixLength(switch_string)) == kSingleArgument) {
          // Everything after "--single-argument " is one argument, verbatim.
          ParseAsSingleArgument(raw, switch_string);
          return;
        }
        AppendSwitchLocked(switch_string, switch_value);
      } else {
        argv_.push_back(arg);
      }
    }
  }

  void ParseAsSingleArgument(std::u16string_view raw, const String& switch_string) {
    const size_t position = raw.find(switch_string);
    if (position == std::u16string_view::npos)
      return;
    const size_t arg_position = position + switch_string.size() + 1;
    if (arg_position >= raw.size())
      return;
    single_argument_ = true;
    argv_.push_back(String(raw.substr(arg_position)));
  }

  void AppendSwitchLocked(const String& name, const String& value) {
    String combined = ToLowerASCII(name);
    const size_t prefix_length = GetSwitchPrefixLength(combined);
    const String key = combined.substr(prefix_length);
    switches_[key] = value;
    // Keep a prefix the caller gave; add "--" otherwise.
    if (prefix_length == 0)
      combined.insert(0, kSwitchPrefixes[0]);
    if (!value.empty()) {
      combined += kSwitchValueSeparator;
      combined += value;
    }
    argv_.insert(argv_.begin() + static_cast<std::ptrdiff_t>(begin_args_++), combined);
  }

  // The arguments without the first "--" terminator.
  std::vector<String> ArgumentsLocked() const {
    std::vector<String> args(argv_.begin() + static_cast<std::ptrdiff_t>(begin_args_), argv_.end());
    auto terminator = std::find(args.begin(), args.end(), kSwitchTerminator);
    if (terminator != args.end())
      args.erase(terminator);
    return args;
  }

  // Splits on spaces; double quotes group and are dropped.
  static std::vector<String> SplitWrapper(const String& text) {
    std::vector<String> parts;
    String current;
    bool quoted = false;
    bool has_token = false;
    for (char16_t c : text) {
      if (c == u'"') {
        quoted = !quoted;
        has_token = true;
      } else if (c == u' ' && !quoted) {
        if (has_token)
          parts.push_back(current);
        current.clear();
        has_token = false;
      } else {
        current += c;
        has_token = true;
      }
    }
    if (has_token)
      parts.push_back(current);
    return parts;
  }

  const bool read_only_;
  std::mutex mutex_;  // guards everything below
  std::vector<String> argv_ = std::vector<String>(1);
  std::map<String, String> switches_;
  size_t begin_args_ = 1;  // index of the first argument in argv_
  bool single_argument_ = false;

  IMPLEMENT_REFCOUNTING(CommandLineImpl);
};

CommandLineImpl* GlobalCommandLine() {
  static CommandLineImpl* global = [] {
    CommandLineImpl* command_line = new CommandLineImpl(true);
    command_line->AddRef();  // lives for the whole process
#if defined(_WIN32)
    CefRefPtr<CommandLineImpl> initial = new CommandLineImpl(false);
    initial->InitFromString(CefString(::GetCommandLineW()));
    command_line->ReplaceWith(*initial);
#endif
    return command_line;
  }();
  return global;
}

}  // namespace

CefRefPtr<CefCommandLine> CefCommandLine::CreateCommandLine() {
  return new CommandLineImpl(false);
}

CefRefPtr<CefCommandLine> CefCommandLine::GetGlobalCommandLine() {
  return GlobalCommandLine();
}

namespace cef_internal {

namespace {

// Switches of the global command line that the base layer itself honours.
void ApplyGlobalSwitches(CefCommandLine& command_line) {
  if (command_line.HasSwitch("v")) {
    const std::string level = command_line.GetSwitchValue("v").ToString();
    SetVlogLevel(level.empty() ? 0 : std::atoi(level.c_str()));
  }
}

}  // namespace

void SetGlobalCommandLine(CefRefPtr<CefCommandLine> command_line) {
  if (!command_line)
    return;
  ApplyGlobalSwitches(*command_line);
  CefRefPtr<CefCommandLine> copy = command_line->Copy();
  if (auto* impl = dynamic_cast<CommandLineImpl*>(copy.get())) {
    GlobalCommandLine()->ReplaceWith(*impl);
    return;
  }
  // Someone else's implementation: rebuild ours from its parts.
  CefRefPtr<CommandLineImpl> rebuilt = new CommandLineImpl(false);
  rebuilt->SetProgram(command_line->GetProgram());
  CefCommandLine::SwitchMap switches;
  command_line->GetSwitches(switches);
  for (const auto& [name, value] : switches)
    rebuilt->AppendSwitchWithValue(name, value);
  CefCommandLine::ArgumentList arguments;
  command_line->GetArguments(arguments);
  for (const auto& argument : arguments)
    rebuilt->AppendArgument(argument);
  GlobalCommandLine()->ReplaceWith(*rebuilt);
}

}  // namespace cef_internal
