// Windows command lines: how a program's argument words are written into one
// line so that CommandLineToArgvW (and the C runtime, which splits the same
// way) gives them back unchanged, and how such a line is split again. Pure,
// so the rules are proven natively; the Windows build uses them for gpg's
// command line and to read its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pgp2gpg {

// One argument: as it is when it holds no blank, tab, line feed, vertical tab
// or double quote and is not empty; otherwise in double quotes, where a
// quote becomes \" and the backslashes right before a quote, or before the
// closing quote, are doubled.
std::string QuoteArgument(std::string_view argument);

// The program path always in quotes (a path holds no quote, and quotes stop
// a path with blanks from being read as several words), then each argument.
std::string JoinCommandLine(std::string_view program, const std::vector<std::string>& arguments);

// The words after the program name, split as CommandLineToArgvW splits them.
std::vector<std::string> SplitArguments(std::string_view line);

// The part of a whole command line after the program name. A quoted name
// ends at its closing quote. An unquoted one ends at the first blank, except
// that a path with blanks (the module starts its PGP program with the path
// unquoted) ends at the first blank before which the line ends with this
// program's own file name, with or without ".exe", compared ignoring case.
std::string_view SkipProgramName(std::string_view line, std::string_view ownFileName);

}  // namespace pgp2gpg
