// The character classes every text rule of the module shares, in the single
// byte Windows character set. One definition each, so that two rules never
// disagree about what a blank or a control character is.
#pragma once

// White space that ends a word or an address: the blank and codes 9-13.
constexpr bool IsBlank(char c) { return c == ' ' || (c >= 9 && c <= 13); }

// A control character: codes 0-31 and 127 (DEL).
constexpr bool IsControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 32 || u == 127;
}

// What the eye does not see as anything but a gap, in the client's
// character set: blanks, control characters, the no-break space and the
// soft hyphen.
constexpr bool IsSpacing(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u <= 0x20 || u == 0x7F || u == 0xA0 || u == 0xAD;
}

// Case folding of ASCII letters only: other bytes are letters of the
// character set in force, which these rules do not fold.
constexpr char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
