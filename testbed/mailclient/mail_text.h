// Text handling of the stand-in mail client that needs no window: line ends,
// wrapping, nicknames, headers and quoting. Kept free of platform headers so
// that the rules the module depends on can be tested on their own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mailtext {

// The column at which Wrap Selection breaks lines, as the real client does.
inline constexpr size_t kWrapColumn = 76;

// Every line end (LF, CR or CRLF) becomes CRLF: the edit controls need CRLF
// and message files written on Linux have LF.
std::string ToCrlf(std::string_view text);

// Breaks every line longer than `width` at its last blank at or before
// `width` (or, for a first word longer than `width`, at the first blank
// after it); the blank becomes CRLF. Lines that fit, and existing line ends,
// are kept byte for byte.
std::string WrapLines(std::string_view text, size_t width = kWrapColumn);

struct Nickname {
  std::string name;
  std::string addresses;  // as written in the file: entries separated by ','
};

// Reads the lines "alias <name> <addresses>" of a nickname file; the name may
// be in double quotes. Other lines (notes, comments, blanks) are skipped.
std::vector<Nickname> ParseNicknames(std::string_view file);

// The addresses of a nickname (compared without regard to case), with
// entries that are nicknames themselves expanded too, joined by ", ".
// Nicknames that refer to each other stop expanding at the loop.
std::optional<std::string> ExpandNickname(std::string_view name,
                                          const std::vector<Nickname>& table);

// The replacement of a selected entry by Finish Nickname: the blanks around
// the entry are kept, the nickname in between is replaced by its addresses.
// Empty when the trimmed entry is no nickname.
std::optional<std::string> FinishNickname(std::string_view selected,
                                          const std::vector<Nickname>& table);

// The value of the first header line "<name>: value" of a message (before
// the first empty line); the name is compared without regard to case.
std::string HeaderValue(std::string_view message, std::string_view name);

// The name part of an address ("Alice <a@b>" gives Alice, quotes removed),
// or the address itself when it has no name.
std::string DisplayName(std::string_view address);

// Everything after the header block (the message itself when it has none).
std::string_view BodyOf(std::string_view message);

// Puts `mark` in front of every line, the empty ones included.
std::string QuoteLines(std::string_view text, std::string_view mark = ">");

// "Re: subject" unless the subject already starts with "Re:".
std::string ReplySubject(std::string_view subject);

// Converted-attachment lines ("<prefix><path>") with a path relative to the
// mail folder are shown with the folder in front, as the real client shows
// the full path of its attachment directory.
std::string ResolveAttachmentLines(std::string_view text, std::string_view prefix,
                                   std::string_view folder);

// The first argument of a Windows command line (quotes removed), which the
// client takes as its mail folder.
std::string FirstArgument(std::string_view arguments);

}  // namespace mailtext
