// How one call of the stand-in is described: the command line as PGP 2 read
// it, the faults a test asked for, and the line the call leaves in the call
// log. Pure: no platform header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pgpstub {

// Words separated by runs of blanks and tabs, by the C runtime's rules that
// PGP's own argument parsing followed: a double quote starts or ends a
// stretch in which blanks do not separate and is dropped, so "John Smith" is
// one word; backslashes are plain characters (paths) except in front of a
// double quote, where \" is a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view raw);

enum class Operation {
  Help,        // -h: usage, success
  Decode,      // no letters: decode a message or check a clear signature
  Armor,       // -a with e and/or s: an armoured message
  ClearSign,   // -as(t) +clearsig=on
  AddKey,      // -ka keyfile
  ExtractKey,  // -kx userid... keyfile
};

struct Invocation {
  Operation operation = Operation::Help;
  bool encrypt = false;
  bool sign = false;
  bool textMode = false;
  bool wipe = false;
  std::string file;                  // input; for ExtractKey the key file
  std::vector<std::string> userIds;  // recipients; for ExtractKey the keys
  std::string error;                 // set: the arguments are unusable
};

// The whole command line as received, program word included.
Invocation ParseInvocation(std::string_view rawCommandLine);

// The file the operation writes, derived from its input name as PGP does:
// ".asc" removed after decoding (nothing when the name lacks it), ".asc"
// appended for armoured output.
std::optional<std::string> OutputFileOf(const Invocation& invocation);

// PGPSTUB_FAULT, a comma-separated list: exit=N (decimal or 0x hex, 32
// bits), empty, nooutput, sleep=MS, crash.
struct Faults {
  std::optional<uint32_t> exitCode;
  bool emptyOutput = false;
  bool noOutput = false;
  bool crash = false;
  bool noVerdict = false;  // writes no verdict file, as a real PGP 2 writes none
  uint32_t sleepMs = 0;
  std::string error;  // set: an item was not understood
};
Faults ParseFaults(std::string_view list);

// One call-log line: "cmdline=<raw>\tpgppass=yes|no\texit=<n>\n". The raw
// command line is written as received except that tabs and line ends in it
// become blanks, so the line stays one line of three fields.
std::string FormatLogLine(std::string_view rawCommandLine, bool passPhraseSet,
                          std::string_view exitText);

}  // namespace pgpstub
