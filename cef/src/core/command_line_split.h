// Splitting and quoting with the rules of Win32's CommandLineToArgvW.
#ifndef CEF_SRC_CORE_COMMAND_LINE_SPLIT_H_
#define CEF_SRC_CORE_COMMAND_LINE_SPLIT_H_
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cef_internal {

// Splits a whole command line: the first token (the program) is taken
// literally up to the next blank, or between quotes; the others follow the
// backslash and quote rules. An empty input gives an empty vector.
std::vector<std::u16string> SplitCommandLine(std::u16string_view command_line);

// Quotes `arg` when it holds a blank, a backslash or a quote, so that
// SplitCommandLine gives it back unchanged. Empty arguments become "".
std::u16string QuoteForCommandLine(std::u16string_view arg);

}  // namespace cef_internal

#endif  // CEF_SRC_CORE_COMMAND_LINE_SPLIT_H_
