#include "key_file.h"

#include <cstdint>
#include <string>
#include <vector>

#include "common/base64.h"

namespace pgp2gpg {
namespace {

bool IsBlankLine(std::string_view line) {
  return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

std::string_view Trimmed(std::string_view line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
    line.remove_suffix(1);
  }
  return line;
}

// Appends the decoded bytes of one body line; false on a character that is
// not radix-64.
bool DecodeBase64Line(std::string_view line, uint32_t& bits, int& bitCount,
                      std::vector<uint8_t>& out) {
  for (char c : Trimmed(line)) {
    if (c == '=') break;  // padding ends the data of the block
    if (c == ' ' || c == '\t') continue;
    const int value = Base64Value(c);
    if (value < 0) return false;
    bits = (bits << 6) | static_cast<uint32_t>(value);
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      out.push_back(static_cast<uint8_t>(bits >> bitCount));
    }
  }
  return true;
}

bool IsAllowedTag(int tag) {
  // signature, public key, marker, trust, user id, public subkey, attribute
  return tag == 2 || tag == 6 || tag == 10 || tag == 12 || tag == 13 || tag == 14 || tag == 17;
}

bool ReadBigEndian(const std::vector<uint8_t>& data, size_t& pos, int bytes, size_t& value) {
  if (pos + static_cast<size_t>(bytes) > data.size()) return false;
  value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | data[pos++];
  return true;
}

// Reads one packet header at pos; false when it is damaged. A partial
// (streamed) length is reported as length 0 with partial set: key material
// never comes that way.
bool ReadHeader(const std::vector<uint8_t>& data, size_t& pos, int& tag, size_t& length,
                bool& partial) {
  const uint8_t first = data[pos++];
  partial = false;
  if ((first & 0x80) == 0) return false;
  if (first & 0x40) {
    tag = first & 0x3F;
    size_t octet = 0;
    if (!ReadBigEndian(data, pos, 1, octet)) return false;
    if (octet < 192) {
      length = octet;
    } else if (octet < 224) {
      size_t second = 0;
      if (!ReadBigEndian(data, pos, 1, second)) return false;
      length = ((octet - 192) << 8) + second + 192;
    } else if (octet == 255) {
      if (!ReadBigEndian(data, pos, 4, length)) return false;
    } else {
      partial = true;
      length = 0;
    }
    return true;
  }
  tag = (first >> 2) & 0x0F;
  switch (first & 0x03) {
    case 0: return ReadBigEndian(data, pos, 1, length);
    case 1: return ReadBigEndian(data, pos, 2, length);
    case 2: return ReadBigEndian(data, pos, 4, length);
    default: length = data.size() - pos; return true;
  }
}

void CheckPackets(const std::vector<uint8_t>& data, KeyFileReport& report) {
  size_t pos = 0;
  while (pos < data.size() && report.check == KeyFileCheck::PublicKeysOnly) {
    int tag = 0;
    size_t length = 0;
    bool partial = false;
    if (!ReadHeader(data, pos, tag, length, partial) || length > data.size() - pos) {
      report.check = KeyFileCheck::Damaged;
    } else if (partial || !IsAllowedTag(tag)) {
      report.check = KeyFileCheck::OtherPackets;
      report.offendingTag = tag;
    } else {
      if (tag == 6) ++report.keys;
      pos += length;
    }
  }
}

class BlockReader {
 public:
  explicit BlockReader(KeyFileReport& report) : report_(report) {}

  void Line(std::string_view line) {
    if (line.substr(0, 15) == "-----BEGIN PGP ") {
      Close();
      inBlock_ = true;
      // A clear-signed text is text, not radix-64: skip to its signature.
      skipText_ = Trimmed(line) == "-----BEGIN PGP SIGNED MESSAGE-----";
      inHeaders_ = true;
      ++blocks_;
      return;
    }
    if (!inBlock_ || skipText_) return;
    if (line.substr(0, 13) == "-----END PGP ") {
      Close();
      return;
    }
    if (inHeaders_) {
      if (IsBlankLine(line)) inHeaders_ = false;
      if (line.find(": ") != std::string_view::npos || !inHeaders_) return;
      inHeaders_ = false;  // no header lines and no blank line before the data
    }
    if (!line.empty() && line[0] == '=') {
      checksumSeen_ = true;  // the CRC line; data lines no longer follow
      return;
    }
    if (checksumSeen_ || !DecodeBase64Line(line, bits_, bitCount_, data_)) damaged_ = true;
  }

  void Close() {
    if (inBlock_ && !skipText_) {
      if (damaged_) report_.check = KeyFileCheck::Damaged;
      if (report_.check == KeyFileCheck::PublicKeysOnly) CheckPackets(data_, report_);
    }
    inBlock_ = skipText_ = damaged_ = checksumSeen_ = false;
    data_.clear();
    bits_ = 0;
    bitCount_ = 0;
  }

  int blocks() const { return blocks_; }

 private:
  KeyFileReport& report_;
  bool inBlock_ = false, skipText_ = false, inHeaders_ = false, damaged_ = false;
  bool checksumSeen_ = false;
  int blocks_ = 0;
  uint32_t bits_ = 0;
  int bitCount_ = 0;
  std::vector<uint8_t> data_;
};

}  // namespace

KeyFileReport CheckKeyFile(std::string_view text) {
  KeyFileReport report;
  report.check = KeyFileCheck::PublicKeysOnly;
  BlockReader reader(report);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    reader.Line(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  reader.Close();
  if (reader.blocks() == 0) return KeyFileReport{KeyFileCheck::NoArmour, 0, 0};
  if (report.check == KeyFileCheck::PublicKeysOnly && report.keys == 0) {
    report.check = KeyFileCheck::NoKeys;
  }
  return report;
}

}  // namespace pgp2gpg
