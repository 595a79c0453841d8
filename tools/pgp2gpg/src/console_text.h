// Texts that come from other people (a signer's user id, a key's name, gpg's
// own complaints) reach the user's console only through these, so that a
// crafted user id cannot move the cursor, clear the screen, reverse the text
// direction or fake a second line. Pure.
#pragma once

#include <string>
#include <string_view>

namespace pgp2gpg {

// gpg's status lines carry user ids in UTF-8 with %XX escapes.
std::string PercentDecode(std::string_view text);

// Valid UTF-8 printable text passes (backslashes too: Windows paths stay
// readable, and an escape-like text cannot move anything); control
// characters (C0, DEL, C1), line and paragraph separators and the bidi
// controls become "\xNN" or "\u{XXXX}"; bytes that are not valid UTF-8
// become "\xNN".
std::string EscapeForConsole(std::string_view text);

}  // namespace pgp2gpg
