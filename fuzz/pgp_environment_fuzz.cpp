// PGP's environment block from an arbitrary environment: the size asked for
// is the size written, the block ends in two NULs, names stay in the order
// CreateProcessA expects, every entry of the client's survives but PGPPASS
// (kept only when asked and no pass phrase of the module's is given) and
// QUILLNET_VERDICT, and the module's own entries appear once each.
//
// Input: byte 0 the choices, then the environment ('\n' between entries),
// a NUL, the pass phrase, a NUL, the verdict path.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runner/pgp_runner.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string NameOf(const std::string& entry) {
  const size_t equals = entry.empty() ? std::string::npos : entry.find('=', 1);
  return entry.substr(0, equals);
}

std::vector<std::string> Entries(const char* block) {
  std::vector<std::string> entries;
  for (const char* p = block; *p != '\0'; p += std::strlen(p) + 1) entries.emplace_back(p);
  return entries;
}

std::string Piece(const char*& p, const char* end) {
  const size_t length = strnlen(p, static_cast<size_t>(end - p));
  std::string piece(p, length);
  p += length < static_cast<size_t>(end - p) ? length + 1 : length;
  return piece;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const char* p = reinterpret_cast<const char*>(data + 1);
  const char* end = reinterpret_cast<const char*>(data + size);
  const std::string environment = Piece(p, end);
  const std::string passPhrase = Piece(p, end);
  const std::string verdictPath = Piece(p, end);

  // The client's block: the lines as entries, empty ones left out.
  std::string current;
  std::vector<std::string> given;
  size_t start = 0;
  while (start <= environment.size()) {
    size_t stop = environment.find('\n', start);
    if (stop == std::string::npos) stop = environment.size();
    if (stop > start) {
      given.push_back(environment.substr(start, stop - start));
      current += given.back() + '\0';
    }
    start = stop + 1;
  }
  current += '\0';

  PgpEnvironment extra;
  extra.passPhrase = (data[0] & 1) ? passPhrase.c_str() : nullptr;
  extra.keepClientPassPhrase = (data[0] & 2) != 0;
  extra.verdictPath = (data[0] & 4) ? verdictPath.c_str() : nullptr;

  const size_t needed = ComposePgpEnvironment(current.c_str(), extra, nullptr, 0);
  std::vector<char> block(needed + 16, 'Z');
  Check(ComposePgpEnvironment(current.c_str(), extra, block.data(), needed) == needed);
  Check(needed >= 1 && block[needed - 1] == '\0');
  if (needed > 1) Check(block[needed - 2] == '\0');
  for (size_t i = needed; i < block.size(); ++i) Check(block[i] == 'Z');

  const std::vector<std::string> entries = Entries(block.data());
  for (size_t i = 1; i < entries.size(); ++i) {
    // Byte by byte as unsigned, a name before any longer one it begins; a
    // client's unsorted block comes out sorted too.
    const std::string a = Upper(NameOf(entries[i - 1]));
    const std::string b = Upper(NameOf(entries[i]));
    const std::basic_string<unsigned char> ua(a.begin(), a.end()), ub(b.begin(), b.end());
    Check(ua.compare(ub) <= 0);
  }
  int pass = 0, verdict = 0;
  for (const std::string& entry : entries) {
    const std::string name = Upper(NameOf(entry));
    if (name == "PGPPASS") ++pass;
    if (name == "QUILLNET_VERDICT") {
      ++verdict;
      Check(entry == "QUILLNET_VERDICT=" + verdictPath);
    }
  }
  Check(verdict == (extra.verdictPath ? 1 : 0));
  if (extra.passPhrase) Check(pass == 1);
  if (!extra.passPhrase && !extra.keepClientPassPhrase) Check(pass == 0);
  // Every other entry of the client's is there.
  for (const std::string& entry : given) {
    const std::string name = Upper(NameOf(entry));
    if (name == "PGPPASS" || name == "QUILLNET_VERDICT") continue;
    bool present = false;
    for (const std::string& e : entries) present = present || e == entry;
    Check(present);
  }
  return 0;
}
