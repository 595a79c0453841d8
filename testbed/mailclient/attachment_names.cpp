#include "testbed/mailclient/attachment_names.h"

#include <algorithm>

namespace attachnames {
namespace {

constexpr std::string_view kReserved = "<>:\"/\\|?*";
constexpr size_t kMaxExtension = 16;  // a longer "extension" is part of the name

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Upper(x) == Upper(y); });
}

void TrimTail(std::string& name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
}

// Windows opens a device for these whatever extension follows, and with
// trailing blanks or dots; the superscript digits (ANSI 0xB9, 0xB2, 0xB3)
// count as digits here.
bool IsDeviceName(std::string_view name) {
  std::string stem(name.substr(0, name.find('.')));
  TrimTail(stem);
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
    if (SameLetters(stem, device)) return true;
  if (stem.size() != 4) return false;
  const std::string_view head = std::string_view(stem).substr(0, 3);
  const auto digit = static_cast<unsigned char>(stem[3]);
  return (SameLetters(head, "COM") || SameLetters(head, "LPT")) &&
         ((digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3);
}

std::string NameFromType(std::string_view mediaType) {
  const size_t slash = mediaType.find('/');
  std::string subtype(slash == std::string_view::npos ? std::string_view("octet-stream")
                                                      : mediaType.substr(slash + 1));
  std::string_view extension = ".bin";
  if (mediaType == "text/html") extension = ".htm";
  else if (mediaType.starts_with("text/") || mediaType == "application/pgp-encrypted") extension = ".txt";
  else if (mediaType.starts_with("message/")) extension = ".eml";
  else if (mediaType == "application/pgp-signature" || mediaType == "application/pgp-keys")
    extension = ".asc";
  else if (mediaType == "application/pdf") extension = ".pdf";
  return subtype + std::string(extension);
}

// Cuts the name to `maxLength`, keeping a short extension whole.
std::string Bounded(std::string name, size_t maxLength) {
  if (name.size() <= maxLength) return name;
  const size_t dot = name.rfind('.');
  std::string extension;
  if (dot != std::string::npos && dot > 0 && name.size() - dot <= kMaxExtension) extension = name.substr(dot);
  name.resize(maxLength > extension.size() ? maxLength - extension.size() : 0);
  TrimTail(name);
  return name + extension;
}

std::string Cleaned(std::string_view name) {
  const size_t slash = name.find_last_of("\\/");
  if (slash != std::string_view::npos) name = name.substr(slash + 1);
  std::string out;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    out += u < 0x20 || u == 0x7F || kReserved.find(c) != std::string_view::npos ? '_' : c;
  }
  out.erase(0, std::min(out.find_first_not_of(' '), out.size()));
  TrimTail(out);
  return out;
}

}  // namespace

std::string SafeFileName(std::string_view name, std::string_view mediaType, size_t maxLength) {
  std::string safe = Cleaned(name.substr(0, 4096));
  if (safe.empty()) safe = Cleaned(NameFromType(mediaType));
  if (IsDeviceName(safe)) safe.insert(0, "_");
  safe = Bounded(std::move(safe), maxLength);
  // Cutting may leave a device name ("CON.x" from "CON" + a long tail) or
  // nothing at all.
  if (IsDeviceName(safe)) safe.insert(0, "_");
  return safe.empty() ? std::string("attachment.bin") : safe;
}

std::string NumberedName(std::string_view safeName, unsigned n) {
  if (n <= 1) return std::string(safeName);
  const size_t dot = safeName.rfind('.');
  const bool hasExtension = dot != std::string_view::npos && dot > 0;
  const std::string_view stem = hasExtension ? safeName.substr(0, dot) : safeName;
  const std::string_view extension = hasExtension ? safeName.substr(dot) : std::string_view();
  return std::string(stem) + " (" + std::to_string(n) + ")" + std::string(extension);
}

}  // namespace attachnames
