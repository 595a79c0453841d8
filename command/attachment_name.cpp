#include "command/attachment_name.h"
#include "core/text_chars.h"

#include <algorithm>

namespace {

constexpr size_t kExtensionMax = 16;


bool IsReserved(char c) {
  return IsControl(c) || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
}

// The digit of "COMn"/"LPTn": an ASCII digit, or a superscript one the file
// system folds to it (¹²³ in the client's Windows-1252, or in UTF-8).
bool IsDeviceDigit(std::string_view rest) {
  if (rest.size() == 1) return (rest[0] >= '0' && rest[0] <= '9') || rest == "\xB9" ||
                               rest == "\xB2" || rest == "\xB3";
  return rest == "\xC2\xB9" || rest == "\xC2\xB2" || rest == "\xC2\xB3";
}

std::string_view TrimTrailingDotsAndBlanks(std::string_view name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  return name;
}

// Where the extension begins ('.' included); the end when there is none or
// it is too long to be one.
size_t ExtensionStart(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || name.size() - dot > kExtensionMax) return name.size();
  return dot;
}

std::string FallbackName(std::string_view contentType) {
  std::string type;
  for (char c : contentType.substr(0, 64)) type += LowerAscii(c);
  static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
      {"text/html", "message.html"},
      {"text/plain", "text.txt"},
      {"text/calendar", "invite.ics"},
      {"message/rfc822", "message.eml"},
      {"application/pgp-signature", "signature.asc"},
      {"application/pgp-keys", "key.asc"},
      {"application/pgp-encrypted", "pgp-control.txt"},
      {"application/pkcs7-signature", "smime.p7s"},
      {"application/pdf", "attachment.pdf"},
      {"application/zip", "attachment.zip"},
      {"image/png", "image.png"},
      {"image/jpeg", "image.jpg"},
      {"image/gif", "image.gif"},
  };
  for (const auto& [known, name] : kNames)
    if (type == known) return std::string(name);
  if (type.rfind("text/", 0) == 0) return "text.txt";
  return "attachment.bin";
}

// The stem cut so that stem + `suffix` + extension fit `maxLength`. A cut
// can leave a device's name ("COM1" of "COM1x", then " (2)"); the '_' that
// defuses it goes before the cut, so the whole still fits.
std::string FitName(std::string_view name, std::string_view suffix, size_t maxLength) {
  const size_t extStart = ExtensionStart(name);
  const std::string_view extension = name.substr(extStart);
  std::string stem(name.substr(0, extStart));
  const size_t fixed = suffix.size() + extension.size();
  if (fixed >= maxLength) return {};
  for (int pass = 0; pass < 2; ++pass) {
    std::string fitted(TrimTrailingDotsAndBlanks(std::string_view(stem).substr(0, maxLength - fixed)));
    if (fitted.empty()) return {};
    fitted.append(suffix);
    fitted.append(extension);
    if (!IsDeviceName(fitted)) return fitted;
    stem.insert(0, 1, '_');
  }
  return {};
}

}  // namespace

bool IsDeviceName(std::string_view name) {
  std::string stem;
  for (char c : name.substr(0, name.find_first_of(". "))) stem += LowerAscii(c);
  for (std::string_view device : {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"})
    if (stem == device) return true;
  const std::string_view head = std::string_view(stem).substr(0, 3);
  return stem.size() > 3 && (head == "com" || head == "lpt") &&
         IsDeviceDigit(std::string_view(stem).substr(3));
}


std::string SafeAttachmentName(std::string_view senderName, std::string_view contentType) {
  const size_t lastSeparator = senderName.find_last_of("/\\");
  if (lastSeparator != std::string_view::npos) senderName.remove_prefix(lastSeparator + 1);
  std::string name;
  name.reserve(senderName.size());
  for (char c : senderName) {
    if (name.empty() && c == ' ') continue;
    name += IsReserved(c) ? '_' : c;
  }
  name = std::string(TrimTrailingDotsAndBlanks(name));
  if (name.size() > kAttachmentNameMax || IsDeviceName(name))
    name = FitName(IsDeviceName(name) ? "_" + name : name, "", kAttachmentNameMax);
  if (name.empty()) return FallbackName(contentType);
  return name;
}

std::string NumberedAttachmentName(std::string_view safeName, int number, size_t maxLength) {
  const std::string suffix = number >= 2 ? " (" + std::to_string(number) + ")" : "";
  if (suffix.empty() && safeName.size() <= maxLength) return std::string(safeName);
  return FitName(safeName, suffix, maxLength);
}

std::string FolderOfPath(std::string_view path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? std::string() : std::string(path.substr(0, separator + 1));
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (std::any_of(name.begin(), name.end(), IsReserved)) return false;
  if (name.back() == '.' || name.back() == ' ') return false;
  return !IsDeviceName(name);
}
