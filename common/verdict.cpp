#include "common/verdict.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

std::string Escaped(std::string_view value) {
  std::string out;
  for (char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '%') {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Unescaped(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size()) {
      const int high = HexValue(value[i + 1]);
      const int low = HexValue(value[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += value[i];
  }
  return out;
}

void Line(std::string& out, std::string_view key, std::string_view value) {
  out.append(key).append("=").append(Escaped(value)).append("\r\n");
}

const char* YesNo(bool value) { return value ? "yes" : "no"; }

}  // namespace

std::string FormatVerdictFile(const VerdictFile& verdict) {
  std::string out;
  Line(out, "status", verdict.status);
  Line(out, "encrypted", YesNo(verdict.encrypted));
  Line(out, "signed", YesNo(verdict.signedMessage));
  if (!verdict.signer.empty()) Line(out, "signer", verdict.signer);
  if (!verdict.keyName.empty()) Line(out, "key_name", verdict.keyName);
  for (const std::string& address : verdict.signerAddresses) Line(out, "signer_address", address);
  if (!verdict.fingerprint.empty()) Line(out, "fingerprint", verdict.fingerprint);
  if (!verdict.signedAt.empty()) Line(out, "signed_at", verdict.signedAt);
  if (!verdict.validity.empty()) Line(out, "validity", verdict.validity);
  if (!verdict.problem.empty()) Line(out, "problem", verdict.problem);
  for (const auto& [fingerprint, userId] : verdict.keysAdded)
    Line(out, "key_added", userId.empty() ? fingerprint : fingerprint + " " + userId);
  for (const auto& [fingerprint, userId] : verdict.keysUpdated)
    Line(out, "key_updated", userId.empty() ? fingerprint : fingerprint + " " + userId);
  return out;
}

VerdictFile ParseVerdictFile(std::string_view text) {
  VerdictFile verdict;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    const std::string value = Unescaped(line.substr(equals + 1));
    if (key == "status") verdict.status = value;
    else if (key == "encrypted") verdict.encrypted = value == "yes";
    else if (key == "signed") verdict.signedMessage = value == "yes";
    else if (key == "signer") verdict.signer = value;
    else if (key == "fingerprint") verdict.fingerprint = value;
    else if (key == "signed_at") verdict.signedAt = value;
    else if (key == "validity") verdict.validity = value;
    else if (key == "problem") verdict.problem = value;
    else if (key == "key_name") verdict.keyName = value;
    else if (key == "signer_address") verdict.signerAddresses.push_back(value);
    else if (key == "key_added" || key == "key_updated") {
      const size_t blank = value.find(' ');
      auto& keys = key == "key_added" ? verdict.keysAdded : verdict.keysUpdated;
      keys.emplace_back(value.substr(0, blank),
                        blank == std::string::npos ? "" : value.substr(blank + 1));
    }
  }
  return verdict;
}
