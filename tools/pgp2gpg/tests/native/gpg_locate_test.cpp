#include "gpg_locate.h"

#include <gtest/gtest.h>

#include <map>

namespace pgp2gpg {
namespace {

struct LocateRow {
  std::string name;
  std::map<std::string, std::string> environment;
  PathStyle style;
  std::vector<std::string> candidates;
};

class Locate : public testing::TestWithParam<LocateRow> {};

TEST_P(Locate, ListsThePlacesInOrder) {
  const LocateRow& row = GetParam();
  const EnvLookup lookup = [&](const char* name) -> std::optional<std::string> {
    auto found = row.environment.find(name);
    if (found == row.environment.end()) return std::nullopt;
    return found->second;
  };
  EXPECT_EQ(GpgCandidates(lookup, row.style), row.candidates);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Locate,
    testing::Values(
        LocateRow{"WindowsAll",
                  {{"PATH", "C:\\bin;;.;bin;\\bin;C:bin;\"C:\\my;tools\\\";D:\\x\\;\\\\srv\\gnupg"},
                   {"ProgramFiles(x86)", "C:\\Program Files (x86)"},
                   {"ProgramFiles", "C:\\Program Files"}},
                  PathStyle::Windows,
                  {"C:\\bin\\gpg.exe", "C:\\my;tools\\gpg.exe", "D:\\x\\gpg.exe",
                   "\\\\srv\\gnupg\\gpg.exe",
                   "C:\\Program Files (x86)\\GnuPG\\bin\\gpg.exe",
                   "C:\\Program Files\\GnuPG\\bin\\gpg.exe",
                   "C:\\Program Files (x86)\\Gpg4win\\..\\GnuPG\\bin\\gpg.exe"}},
        LocateRow{"WindowsOverride",
                  {{"QUILLNET_GPG", "E:\\gnupg\\gpg.exe"}, {"PATH", "C:\\bin"}},
                  PathStyle::Windows,
                  {"E:\\gnupg\\gpg.exe"}},
        LocateRow{"WindowsEmptyOverrideIgnored",
                  {{"QUILLNET_GPG", ""}, {"ProgramFiles", "C:\\PF"}},
                  PathStyle::Windows,
                  {"C:\\PF\\GnuPG\\bin\\gpg.exe"}},
        LocateRow{"WindowsDuplicatesOnce",
                  {{"PATH", "C:\\PF\\GnuPG\\bin;C:\\PF\\GnuPG\\bin\\"}, {"ProgramFiles", "C:\\PF"}},
                  PathStyle::Windows,
                  {"C:\\PF\\GnuPG\\bin\\gpg.exe"}},
        // An empty or relative PATH entry names the current directory or
        // one below it: never searched.
        LocateRow{"PosixPath", {{"PATH", ":/usr/local/bin::.:bin:/usr/bin/"}}, PathStyle::Posix,
                  {"/usr/local/bin/gpg", "/usr/bin/gpg"}},
        LocateRow{"PosixOverride", {{"QUILLNET_GPG", "/opt/gpg"}, {"PATH", "/usr/bin"}},
                  PathStyle::Posix, {"/opt/gpg"}},
        LocateRow{"Nothing", {}, PathStyle::Posix, {}}),
    [](const testing::TestParamInfo<LocateRow>& info) { return info.param.name; });

}  // namespace
}  // namespace pgp2gpg
