#include "keyring.h"

#include "armor.h"

namespace pgpstub {

std::vector<Key> ParseKeyring(std::string_view text) {
  std::vector<Key> keys;
  for (const Line& line : SplitLines(text)) {
    const std::string_view content = TrimBlanks(line.text);
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
  return keys;
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
  for (const std::string& id : userIds) out.append("pub ").append(id).append("\r\n");
  return out;
}

}  // namespace pgpstub
