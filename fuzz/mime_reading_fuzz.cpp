// Reads arbitrary bytes as PGP's decoded output with a host that saves
// nothing to disk, and checks what the reading promises with checks of its
// own rather than the reader's:
// - it reads nothing outside its input (ASan, the input in a block of its
//   exact size);
// - the text stays within maxBytes, every line ends in CR LF, no NUL;
// - every name it asks the host to save under is a plain name in the
//   folder: no separator, reserved or control character, no trailing dot or
//   blank, no device name, bounded; so are the numbered names of a retry;
// - no line of the text passes for an attachment line unless it is one the
//   host returned, and the host's lines come through whole.
//
// Input: byte 0 chooses the limits and whether the host refuses to save,
// the rest is the entity.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "command/attachment_name.h"
#include "command/mime_reading.h"

namespace {

const std::string kPrefix = "Attachment Converted: ";
const std::string kFolder = "C:\\Mail\\attach\\";

void Require(bool condition) {
  if (!condition) std::abort();
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// What the eye skips over in Windows-1252: blanks, controls, no-break space, soft hyphen.
bool Invisible(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u <= 32 || u == 127 || u == 0xA0 || u == 0xAD;
}

// The line with its quote marks and everything invisible taken out, lower case.
std::string Visible(std::string_view line) {
  size_t start = 0;
  while (start < line.size() && (line[start] == '>' || Invisible(line[start]))) ++start;
  std::string seen;
  for (char c : line.substr(start))
    if (!Invisible(c)) seen += Lower(c);
  return seen;
}

bool PassesForAttachmentLine(std::string_view line) {
  const std::string seen = Visible(line);
  const std::string prefix = Visible(kPrefix);
  return seen.compare(0, prefix.size(), prefix) == 0;
}

// A name Windows takes as a plain file in the folder.
void RequirePlainName(const std::string& name, size_t maxLength) {
  Require(!name.empty() && name.size() <= maxLength);
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    Require(u >= 32 && u != 127 && std::string_view("<>:\"/\\|?*").find(c) == std::string_view::npos);
  }
  Require(name.back() != '.' && name.back() != ' ');
  std::string stem;
  for (char c : name) {
    if (c == '.' || c == ' ') break;
    stem += Lower(c);
  }
  for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"}) Require(stem != device);
  if (stem.size() >= 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0)) {
    const std::string digit = stem.substr(3);
    const bool deviceDigit = (digit.size() == 1 && ((digit[0] >= '0' && digit[0] <= '9') ||
                                                    digit == "\xB9" || digit == "\xB2" || digit == "\xB3")) ||
                             digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
    Require(!deviceDigit);
  }
}

class CheckingHost : public MimeHost {
 public:
  CheckingHost(size_t inputSize, bool refuse) : inputSize_(inputSize), refuse_(refuse) {}

  std::optional<std::string> ConvertCharset(std::string_view charset, std::string_view bytes,
                                            size_t& unmappable) override {
    std::string name;
    for (char c : charset) name += Lower(c);
    // A host may hand back line breaks and NULs of its own; the reader copes.
    if (name == "x-raw") return std::string(bytes) + std::string("\r\0\n", 3);
    if (name != "utf-8" && name != "iso-8859-1") return std::nullopt;
    std::string text(bytes);
    for (char& c : text)
      if (static_cast<unsigned char>(c) >= 0x80 && name == "utf-8") c = '?', ++unmappable;
    return text;
  }

  std::optional<std::string> SaveAttachment(const std::string& safeName, std::string_view data,
                                            std::string& why) override {
    RequirePlainName(safeName, kAttachmentNameMax);
    // Decoding never grows a part, but for quoted-printable's bare line feeds
    // (each a CR LF in the canonical form).
    Require(data.size() <= 2 * inputSize_);
    for (int number : {2, 10, 100}) {
      const size_t room = 20 + safeName.size() % 40;
      const std::string numbered = NumberedAttachmentName(safeName, number, room);
      if (!numbered.empty()) RequirePlainName(numbered, room);
    }
    if (refuse_) {
      why = "refused";
      return std::nullopt;
    }
    std::string line = kPrefix + "\"" + kFolder + safeName + "\"";
    lines.insert(line);
    ++saves;
    return line;
  }

  std::set<std::string> lines;
  size_t saves = 0;

 private:
  size_t inputSize_;
  bool refuse_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  MimeLimits limits;
  if (data[0] & 1) limits = {data[0] >> 5, static_cast<size_t>(1 + (data[0] >> 1 & 15)),
                             static_cast<size_t>(64 + 64 * (data[0] >> 2))};
  const bool refuse = (data[0] & 0x10) != 0 && (data[0] & 1) == 0;
  auto copy = std::make_unique<char[]>(size - 1);
  std::memcpy(copy.get(), data + 1, size - 1);
  const std::string_view entity(copy.get(), size - 1);

  CheckingHost host(entity.size(), refuse);
  const std::optional<MimeReading> reading = ReadMimeEntity(entity, kPrefix, host, limits);
  RequirePlainName(SafeAttachmentName(entity.substr(0, 300), entity.substr(0, 40)), kAttachmentNameMax);
  if (!reading) return 0;
  Require(reading->text.size() <= limits.maxBytes);
  Require(std::memchr(reading->text.data(), '\0', reading->text.size()) == nullptr);
  Require(reading->attachmentsSaved == host.saves);

  std::string_view text = reading->text;
  while (!text.empty()) {
    const size_t end = text.find("\r\n");
    Require(end != std::string_view::npos);
    const std::string_view line = text.substr(0, end);
    Require(line.find_first_of("\r\n") == std::string_view::npos);
    if (PassesForAttachmentLine(line)) Require(host.lines.count(std::string(line)) == 1);
    text.remove_prefix(end + 2);
  }
  return 0;
}
