#include "key_listing.h"

#include <algorithm>
#include <unordered_set>

namespace pgp2gpg {
namespace {

constexpr size_t kMailboxLimit = 254;  // RFC 5321's longest path

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    const size_t colon = line.find(':');
    fields.push_back(line.substr(0, colon));
    if (colon == std::string_view::npos) return fields;
    line.remove_prefix(colon + 1);
  }
}

std::string_view Field(const std::vector<std::string_view>& fields, size_t number) {
  return number <= fields.size() ? fields[number - 1] : std::string_view();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameFingerprint(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return Lower(x) == Lower(y);
         });
}

std::string_view TrimmedBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A mail address as mail programs accept one: one '@' between a local part
// and a dotted domain, nothing that a mail header would read otherwise.
bool IsPlainAddress(std::string_view text) {
  const size_t at = text.find('@');
  if (text.empty() || text.size() > kMailboxLimit || at == 0 || at == std::string_view::npos ||
      at + 1 == text.size() || text.find('@', at + 1) != std::string_view::npos) {
    return false;
  }
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    const bool special = std::string_view("<>()[],;:\\\"").find(c) != std::string_view::npos;
    if (u <= 0x20 || u == 0x7F || special) return false;
  }
  const std::string_view domain = text.substr(at + 1);
  return domain.front() != '.' && domain.back() != '.' &&
         domain.find("..") == std::string_view::npos;
}

bool IsValid(const ListedUserId& userId) {
  return userId.validity == "f" || userId.validity == "u";
}

// gpg's hash tells user ids apart; the text does where gpg gives none.
std::string IdentityOf(const ListedUserId& userId) {
  return userId.hash.empty() ? "text:" + userId.text : "hash:" + userId.hash;
}

const ListedUserId* ChosenSigner(const ListedKey& key, const std::string& namedByGpg) {
  const ListedUserId* first = nullptr;
  for (const ListedUserId& userId : key.userIds) {
    if (!IsValid(userId)) continue;
    if (userId.text == namedByGpg) return &userId;
    if (first == nullptr) first = &userId;
  }
  return first;
}

std::vector<std::string> ValidAddresses(const ListedKey& key) {
  std::vector<std::string> addresses;
  std::unordered_set<std::string> seen;
  for (const ListedUserId& userId : key.userIds) {
    if (!IsValid(userId)) continue;
    std::optional<std::string> mailbox = MailboxOf(userId.text);
    if (!mailbox) continue;
    std::transform(mailbox->begin(), mailbox->end(), mailbox->begin(), Lower);
    if (seen.insert(*mailbox).second) addresses.push_back(std::move(*mailbox));
  }
  return addresses;
}

void AddLines(const std::string& fingerprint, const std::vector<const ListedUserId*>& userIds,
              std::vector<std::pair<std::string, std::string>>& lines) {
  if (userIds.empty()) lines.emplace_back(fingerprint, "");
  for (const ListedUserId* userId : userIds) lines.emplace_back(fingerprint, userId->text);
}

std::vector<const ListedUserId*> UserIdsNotIn(const ListedKey* after, const ListedKey* before) {
  std::vector<const ListedUserId*> added;
  if (after == nullptr) return added;
  std::unordered_set<std::string> known;
  if (before != nullptr) {
    for (const ListedUserId& userId : before->userIds) known.insert(IdentityOf(userId));
  }
  for (const ListedUserId& userId : after->userIds) {
    if (known.count(IdentityOf(userId)) == 0) added.push_back(&userId);
  }
  return added;
}

}  // namespace

std::string UnquoteColonField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] == 'x') {
      const int high = HexDigit(field[i + 2]);
      const int low = HexDigit(field[i + 3]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

std::vector<ListedKey> ParseKeyListing(std::string_view colons) {
  std::vector<ListedKey> keys;
  bool primaryFingerprintNext = false;
  for (size_t end = colons.find('\n'); end != std::string_view::npos; end = colons.find('\n')) {
    std::string_view line = colons.substr(0, end);
    colons.remove_prefix(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::vector<std::string_view> fields = Fields(line);
    const std::string_view type = fields.front();
    if (type == "pub") {
      keys.push_back(ListedKey{"", std::string(Field(fields, 2)), {}});
      primaryFingerprintNext = true;
    } else if (type == "fpr" && primaryFingerprintNext) {
      keys.back().fingerprint = std::string(Field(fields, 10));
      primaryFingerprintNext = false;
    } else if (type == "uid" && !keys.empty()) {
      keys.back().userIds.push_back(ListedUserId{UnquoteColonField(Field(fields, 10)),
                                                 std::string(Field(fields, 2)),
                                                 std::string(Field(fields, 8))});
    } else if (type == "sub") {
      primaryFingerprintNext = false;
    }
  }
  return keys;
}

const ListedKey* FindKey(const std::vector<ListedKey>& keys, std::string_view fingerprint) {
  if (fingerprint.empty()) return nullptr;
  for (const ListedKey& key : keys) {
    if (SameFingerprint(key.fingerprint, fingerprint)) return &key;
  }
  return nullptr;
}

std::optional<std::string> MailboxOf(std::string_view userId) {
  const std::string_view text = TrimmedBlanks(userId);
  std::string_view candidate = text;
  if (!text.empty() && text.back() == '>') {
    const size_t open = text.rfind('<');
    if (open == std::string_view::npos) return std::nullopt;
    candidate = text.substr(open + 1, text.size() - open - 2);
  }
  if (!IsPlainAddress(candidate)) return std::nullopt;
  return std::string(candidate);
}

std::string ValidityWord(std::string_view letter) {
  if (letter == "f") return "full";
  if (letter == "u") return "ultimate";
  if (letter == "m") return "marginal";
  if (letter == "n") return "never";
  if (letter == "q") return "undefined";
  if (letter == "r") return "revoked";
  if (letter == "e") return "expired";
  if (letter == "i") return "invalid";
  if (letter == "d") return "disabled";
  return "unknown";
}

void NameSigner(const ListedKey* signingKey, VerdictFile& verdict) {
  verdict.signer.clear();
  verdict.signerAddresses.clear();
  if (signingKey == nullptr) return;
  if (const ListedUserId* signer = ChosenSigner(*signingKey, verdict.keyName)) {
    verdict.signer = signer->text;
    verdict.validity = ValidityWord(signer->validity);
    verdict.keyName.clear();
    verdict.signerAddresses = ValidAddresses(*signingKey);
    return;
  }
  if (!signingKey->userIds.empty()) verdict.keyName = signingKey->userIds.front().text;
  if (verdict.validity.empty()) verdict.validity = ValidityWord(signingKey->validity);
}

VerdictFile ImportVerdict(const std::vector<ImportedKey>& imported,
                          const std::vector<ListedKey>& before,
                          const std::vector<ListedKey>& after) {
  VerdictFile verdict;
  std::vector<std::string> done;
  for (const ImportedKey& key : imported) {
    if (key.flags == 0 || std::any_of(done.begin(), done.end(), [&](const std::string& seen) {
          return SameFingerprint(seen, key.fingerprint);
        })) {
      continue;
    }
    done.push_back(key.fingerprint);
    const ListedKey* now = FindKey(after, key.fingerprint);
    if ((key.flags & 1) != 0) {
      AddLines(key.fingerprint, UserIdsNotIn(now, nullptr), verdict.keysAdded);
    } else {
      AddLines(key.fingerprint, UserIdsNotIn(now, FindKey(before, key.fingerprint)),
               verdict.keysUpdated);
    }
  }
  return verdict;
}

}  // namespace pgp2gpg
