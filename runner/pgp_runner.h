// PGP's command line as the module builds it from a request's option bits,
// and the rules that decide when the console waits for the user and when a
// kept pass phrase is forgotten. Pure; the process handling is Win32 glue.
#pragma once

#include <cstdint>

// Option bits of a PgpRequest's flags.
constexpr uint16_t PGPREQ_ENCRYPT = 0x0001;     // letter e
constexpr uint16_t PGPREQ_CLEARSIG = 0x0002;    // word "+clearsig=on"
constexpr uint16_t PGPREQ_SIGN = 0x0004;        // letter s
constexpr uint16_t PGPREQ_ARMOR = 0x0010;       // letter a
constexpr uint16_t PGPREQ_TEXT = 0x0020;        // letter t
constexpr uint16_t PGPREQ_WIPE = 0x0040;        // letter w
constexpr uint16_t PGPREQ_KEYADD = 0x0100;      // letter k
constexpr uint16_t PGPREQ_PASSPHRASE = 0x2000;  // the run needs the pass phrase
constexpr uint16_t PGPREQ_USERID = 0x4000;      // word: the user ids
constexpr uint16_t PGPREQ_FILE = 0x8000;        // word: the file name
