// The names under which the stand-in client saves a sender's attachments in
// its attachment folder. The name is the sender's choice, so it is made
// harmless here before any file is touched: it cannot name a folder, a
// device or a stream, and its length is bounded. Pure: no platform header.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace attachnames {

// Room for the folder in front while the whole path stays well inside the
// 128 characters that programs of the client's era keep for a path.
inline constexpr size_t kMaxNameLength = 64;

// A file name in the client's character set made from the sender's `name`:
// only what follows the last '\' or '/', reserved characters (<>:"|?* and
// controls) as '_', no leading blanks, no trailing dots or blanks, a device
// name (CON, NUL, COM1, LPT¹, ...) with '_' in front, at most `maxLength`
// characters with the extension kept. A name that leaves nothing comes from
// the media type instead ("pgp-encrypted.txt", "octet-stream.bin").
std::string SafeFileName(std::string_view name, std::string_view mediaType,
                         size_t maxLength = kMaxNameLength);

// The n-th choice for a safe name, as the real client numbers a name that is
// taken: n = 1 is the name itself, then "name (2).ext", "name (3).ext", ...
std::string NumberedName(std::string_view safeName, unsigned n);

}  // namespace attachnames
