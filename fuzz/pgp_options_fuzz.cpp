// PGP's option text and the recipients that go onto it: whatever the flags,
// the file name and the user ids, the text is exactly the whole text the
// request asks for (no word is ever dropped), and the command line is made
// exactly when it fits Windows' limit. The option-like check finds a word
// PGP would take for an option whenever there is one, and only then.
//
// Input: bytes 0-1 the flags, byte 2 the length of the file name, then the
// file name and the user ids.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command/run_pgp_driver.h"
#include "runner/pgp_runner.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string WholeOptions(uint16_t flags, const std::string& file, const std::string& users) {
  std::string text;
  const struct {
    char letter;
    uint16_t mask;
  } letters[] = {{'-', 0x0175}, {'k', PGPREQ_KEYADD}, {'a', PGPREQ_ARMOR}, {'e', PGPREQ_ENCRYPT},
                 {'s', PGPREQ_SIGN}, {'t', PGPREQ_TEXT}, {'w', PGPREQ_WIPE}};
  for (const auto& l : letters)
    if (flags & l.mask) text += l.letter;
  if (flags & PGPREQ_CLEARSIG) text += " +clearsig=on";
  if (flags & PGPREQ_FILE) text += " " + file;
  if (flags & PGPREQ_USERID) text += " " + users;
  return text;
}

bool StartsLikeAnOption(const std::string& word) {
  const size_t at = word.find_first_not_of('"');
  return at != std::string::npos && (word[at] == '-' || word[at] == '+');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint16_t flags = static_cast<uint16_t>(data[0] | data[1] << 8);
  const char* rest = reinterpret_cast<const char*>(data + 3);
  const size_t restSize = size - 3;
  const size_t fileLength = data[2] < restSize ? data[2] : restSize;
  std::string file(rest, strnlen(rest, fileLength));
  std::string users(rest + fileLength, strnlen(rest + fileLength, restSize - fileLength));

  const std::string options = BuildPgpOptions(flags, file.c_str(), users.c_str());
  Check(options == WholeOptions(flags, file, users));
  std::string line;
  const bool made = ComposePgpCommandLine(file.c_str(), options, line);
  Check(made == (file.size() + 3 + options.size() <= kCommandLineMax));
  Check(made ? line == "\"" + file + "\" " + options : line.empty());

  UserIdSpan span;
  const bool found = FindOptionLikeUserId(users.c_str(), span);
  bool any = false;
  size_t start = 0;
  const std::string& list = users;
  while (start < list.size()) {
    size_t end = start;
    while (end < list.size() && list[end] != ' ' && !(list[end] >= 9 && list[end] <= 13)) ++end;
    if (end > start && StartsLikeAnOption(list.substr(start, end - start))) any = true;
    start = end + 1;
  }
  Check(found == any);
  if (found) {
    Check(span.start >= 0 && span.length > 0 &&
          static_cast<size_t>(span.start + span.length) <= list.size());
    Check(StartsLikeAnOption(list.substr(static_cast<size_t>(span.start),
                                         static_cast<size_t>(span.length))));
  }
  return 0;
}
