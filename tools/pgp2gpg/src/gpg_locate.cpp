#include "gpg_locate.h"

#include <algorithm>

namespace pgp2gpg {
namespace {

std::string Joined(std::string directory, std::string_view name, PathStyle style) {
  const char separator = style == PathStyle::Windows ? '\\' : '/';
  const bool endsInSeparator =
      !directory.empty() && (directory.back() == separator ||
                             (style == PathStyle::Windows && directory.back() == '/'));
  if (!endsInSeparator) directory += separator;
  return directory + std::string(name);
}

std::optional<std::string> NonEmpty(const EnvLookup& environment, const char* name) {
  std::optional<std::string> value = environment(name);
  if (value && value->empty()) value.reset();
  return value;
}

// "/x" on POSIX; "C:\x", "C:/x" or "\\server\share" on Windows ("\x" and
// "C:x" depend on the current drive or folder).
bool IsFullPath(const std::string& entry, PathStyle style) {
  const auto slash = [style](char c) {
    return c == '/' || (style == PathStyle::Windows && c == '\\');
  };
  if (style == PathStyle::Posix) return !entry.empty() && entry.front() == '/';
  const char letter = entry.empty() ? '\0' : static_cast<char>(entry[0] | 0x20);
  const bool drive = entry.size() >= 3 && letter >= 'a' && letter <= 'z' && entry[1] == ':' &&
                     slash(entry[2]);
  const bool unc = entry.size() >= 3 && slash(entry[0]) && slash(entry[1]) && !slash(entry[2]);
  return drive || unc;
}

void AddPathEntries(const std::string& path, PathStyle style, std::vector<std::string>& out) {
  const char listSeparator = style == PathStyle::Windows ? ';' : ':';
  const std::string_view name = style == PathStyle::Windows ? "gpg.exe" : "gpg";
  std::string entry;
  bool quoted = false;
  for (size_t i = 0; i <= path.size(); ++i) {
    const char c = i < path.size() ? path[i] : listSeparator;
    // Windows allows an entry in quotes, which may then hold the separator.
    if (style == PathStyle::Windows && c == '"') {
      quoted = !quoted;
    } else if (c == listSeparator && !(quoted && i < path.size())) {
      if (IsFullPath(entry, style)) out.push_back(Joined(entry, name, style));
      entry.clear();
      quoted = false;
    } else {
      entry += c;
    }
  }
}

}  // namespace

std::vector<std::string> GpgCandidates(const EnvLookup& environment, PathStyle style) {
  if (auto chosen = NonEmpty(environment, "QUILLNET_GPG")) return {*chosen};
  std::vector<std::string> candidates;
  if (auto path = NonEmpty(environment, "PATH")) AddPathEntries(*path, style, candidates);
  if (style == PathStyle::Windows) {
    const auto x86 = NonEmpty(environment, "ProgramFiles(x86)");
    const auto native = NonEmpty(environment, "ProgramFiles");
    if (x86) candidates.push_back(*x86 + "\\GnuPG\\bin\\gpg.exe");
    if (native) candidates.push_back(*native + "\\GnuPG\\bin\\gpg.exe");
    if (x86) candidates.push_back(*x86 + "\\Gpg4win\\..\\GnuPG\\bin\\gpg.exe");
  }
  std::vector<std::string> unique;
  for (std::string& candidate : candidates) {
    if (std::find(unique.begin(), unique.end(), candidate) == unique.end()) {
      unique.push_back(std::move(candidate));
    }
  }
  return unique;
}

}  // namespace pgp2gpg
