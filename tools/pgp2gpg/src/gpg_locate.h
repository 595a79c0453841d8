// Where gpg is looked for, in order. QUILLNET_GPG, when set, is the only
// place: a user who names a gpg means that one, and falling back to another
// would hide the mistake. Otherwise each directory of PATH that is a full
// path (empty and relative entries such as "." name a folder relative to
// the current one, which is where a message's files are: they are
// skipped), and on Windows then the folders GnuPG and Gpg4win install into.
// Pure: the environment comes in through a lookup function.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pgp2gpg {

using EnvLookup = std::function<std::optional<std::string>(const char* name)>;

enum class PathStyle { Posix, Windows };

std::vector<std::string> GpgCandidates(const EnvLookup& environment, PathStyle style);

}  // namespace pgp2gpg
