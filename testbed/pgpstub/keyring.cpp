#include "keyring.h"

#include <cstdint>

#include "armor.h"

namespace pgpstub {

std::vector<Key> ParseKeyring(std::string_view text) {
  std::vector<Key> keys;
  std::vector<std::string> unverified;
  constexpr std::string_view kUnverified = "unverified ";
  for (const Line& line : SplitLines(text)) {
    const std::string_view content = TrimBlanks(line.text);
    if (content.substr(0, kUnverified.size()) == kUnverified) {
      unverified.emplace_back(TrimBlanks(content.substr(kUnverified.size())));
      continue;
    }
    const std::string_view kind = content.substr(0, 4);
    const std::string_view rest = TrimBlanks(content.substr(kind.size()));
    if (kind == "pub " && !rest.empty()) {
      keys.push_back({false, std::string(rest), {}});
    } else if (kind == "sec ") {
      const size_t lastBlank = rest.find_last_of(" \t");
      if (lastBlank == std::string_view::npos) continue;
      const std::string_view id = TrimBlanks(rest.substr(0, lastBlank));
      if (!id.empty()) keys.push_back({true, std::string(id), std::string(rest.substr(lastBlank + 1))});
    }
  }
  for (Key& key : keys)
    for (const std::string& id : unverified)
      if (!key.secret && key.userId == id) key.unverified = true;
  return keys;
}

const Key* PublicKeyOf(const std::vector<Key>& keys, std::string_view userId) {
  for (const Key& key : keys)
    if (!key.secret && key.userId == userId) return &key;
  return nullptr;
}

std::string Fingerprint(std::string_view userId) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (uint32_t round = 0; round < 5; ++round) {
    uint32_t hash = 2166136261u ^ (round * 0x9E3779B9u);
    for (char c : userId) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(hash >> shift) & 0xF];
  }
  return out;
}

std::string KeyId(std::string_view userId) { return Fingerprint(userId).substr(24); }

std::string MailAddressOf(std::string_view userId) {
  std::string_view address = TrimBlanks(userId);
  const size_t open = address.rfind('<');
  if (open != std::string_view::npos) {
    const size_t close = address.find('>', open);
    if (close == std::string_view::npos) return {};
    address = TrimBlanks(address.substr(open + 1, close - open - 1));
  }
  const size_t at = address.find('@');
  if (at == std::string_view::npos || at == 0 || at + 1 == address.size() ||
      address.find_first_of(" \t<>\"") != std::string_view::npos)
    return {};
  std::string lower;
  for (char c : address) lower += LowerAscii(c);
  return lower;
}

const Key* FindPublicKey(const std::vector<Key>& keys, std::string_view pattern) {
  if (pattern.empty()) return nullptr;
  for (const Key& key : keys)
    if (!key.secret && ContainsNoCase(key.userId, pattern)) return &key;
  return nullptr;
}

const Key* FirstSecretKey(const std::vector<Key>& keys) {
  for (const Key& key : keys)
    if (key.secret) return &key;
  return nullptr;
}

std::vector<const Key*> SecretKeysOf(const std::vector<Key>& keys, std::string_view userId) {
  std::vector<const Key*> found;
  for (const Key& key : keys)
    if (key.secret && EqualsNoCase(key.userId, userId)) found.push_back(&key);
  return found;
}

bool HasPublicKey(const std::vector<Key>& keys, std::string_view userId) {
  for (const Key& key : keys)
    if (!key.secret && key.userId == userId) return true;
  return false;
}

std::string KeyringAppendText(std::string_view existing, const std::vector<std::string>& userIds) {
  std::string out;
  if (!existing.empty() && existing.back() != '\n') out.append("\r\n");
  for (const std::string& id : userIds) {
    out.append("pub ").append(id).append("\r\n");
    out.append("unverified ").append(id).append("\r\n");
  }
  return out;
}

}  // namespace pgpstub
