// The value of one character of the Base64 alphabet that PGP's armour
// uses, or -1 for a character outside it. Shared by the PGP stand-in and
// pgp2gpg, which both read armoured blocks.
#pragma once

constexpr int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}
