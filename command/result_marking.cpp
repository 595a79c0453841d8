#include "command/result_marking.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "command/result_delivery.h"
#include "core/text_chars.h"
#include "core/text_lines.h"
#include "resources/resource_ids.h"
#include "runner/temp_files.h"

namespace {

constexpr size_t kUserIdShown = 80;

// ---- what a reader sees ---------------------------------------------------

// Each byte of the Windows character set by what it looks like in a
// marker's first words.
enum Look : uint8_t {
  kOther,
  kInvisible,   // C0 controls but the line feed, DEL, the code points 1252 leaves empty
  kSoftHyphen,  // shown as a dash by some windows, as nothing by others
  kBlank,       // blank, tab, no-break space
  kDash,        // hyphen-minus, en dash, em dash
  kBracket,     // '['
  kQ, kU, kI, kN, kE, kT,  // the letters of "quillnet", with the ones that pass for them
};

constexpr std::array<Look, 256> MakeLooks() {
  std::array<Look, 256> looks{};
  for (int c = 0; c < 0x20; ++c) looks[c] = kInvisible;
  looks['\n'] = kOther;  // a match never runs into the next line
  looks[0x7F] = kInvisible;
  for (int c : std::initializer_list<int>{0x81, 0x8D, 0x8F, 0x90, 0x9D}) looks[c] = kInvisible;
  looks[0xAD] = kSoftHyphen;
  for (int c : std::initializer_list<int>{' ', '\t', 0xA0}) looks[c] = kBlank;
  for (int c : std::initializer_list<int>{'-', 0x96, 0x97}) looks[c] = kDash;
  looks['['] = kBracket;
  for (int c : std::initializer_list<int>{'q', 'Q'}) looks[c] = kQ;
  for (int c : std::initializer_list<int>{'u', 'U', 0xB5, 0xD9, 0xDA, 0xDB, 0xDC, 0xF9, 0xFA, 0xFB, 0xFC}) looks[c] = kU;
  for (int c : std::initializer_list<int>{'i', 'I', 'l', 'L', '1', '|', '!', 0xA1, 0xA6, 0xCC, 0xCD, 0xCE, 0xCF, 0xEC, 0xED,
                0xEE, 0xEF})
    looks[c] = kI;
  for (int c : std::initializer_list<int>{'n', 'N', 0xD1, 0xF1}) looks[c] = kN;
  for (int c : std::initializer_list<int>{'e', 'E', 0xC8, 0xC9, 0xCA, 0xCB, 0xE8, 0xE9, 0xEA, 0xEB}) looks[c] = kE;
  for (int c : std::initializer_list<int>{'t', 'T'}) looks[c] = kT;
  return looks;
}

constexpr std::array<Look, 256> kLooks = MakeLooks();
constexpr Look kWord[] = {kQ, kU, kI, kI, kI, kN, kE, kT};

Look LookAt(std::string_view text, size_t i) { return kLooks[static_cast<unsigned char>(text[i])]; }

// Skips what a reader does not see between two characters of the word.
size_t SkipInvisible(std::string_view text, size_t i) {
  while (i < text.size() && (LookAt(text, i) == kInvisible || LookAt(text, i) == kSoftHyphen)) ++i;
  return i;
}

// ---- the first marker -------------------------------------------------------

// Sender's text on the marker's line: controls shown as '?', nothing else
// of it cut or changed (a date, a fingerprint, a word of the PGP program).
std::string OnOneLine(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, kUserIdShown)) out += IsControl(c) ? '?' : c;
  if (text.size() > kUserIdShown) out += "...";
  return out;
}

bool VouchedFor(const std::string& validity) {
  return validity == "full" || validity == "fully" || validity == "ultimate";
}


bool SameAddress(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool AmongSignerAddresses(std::string_view address, const VerdictFile& verdict) {
  for (const std::string& known : verdict.signerAddresses)
    if (SameAddress(address, known)) return true;
  return false;
}

// A template of the texts with its "%s" filled by the sender's (or PGP's)
// text, which never acts as a template itself.
std::string Filled(const std::string& pattern, const std::string& text) {
  return FillTemplate(pattern.c_str(), {text.c_str()}, {});
}

std::string Counted(const std::string& pattern, size_t count) {
  return FillTemplate(pattern.c_str(), {}, {static_cast<uint32_t>(count)});
}

// The parts of a marker's text follow one another after "; ", the details
// of a signature after ", ".
constexpr char kNextPart[] = "; ";
constexpr char kNextDetail[] = ", ";

std::string GoodSignatureText(const VerdictFile& verdict, const MarkerTexts& texts) {
  if (VouchedFor(verdict.validity) && !verdict.signer.empty())
    return Filled(texts.goodFrom, ShownUserId(verdict.signer));
  // Only a user id whose own validity PGP vouches for names the signer;
  // anything else is what the key says about itself.
  const std::string& name = verdict.keyName.empty() ? verdict.signer : verdict.keyName;
  std::string text = Filled(texts.goodUnverified, verdict.validity.empty()
                                                      ? texts.validityUnknown
                                                      : OnOneLine(verdict.validity));
  if (!name.empty()) text += kNextPart + Filled(texts.keyCallsItself, ShownUserId(name));
  return text;
}

std::string BadSignatureText(const VerdictFile& verdict, const MarkerTexts& texts) {
  const std::string& name = verdict.signer.empty() ? verdict.keyName : verdict.signer;
  const std::string signer = name.empty() ? texts.unnamedSigner : ShownUserId(name);
  if (verdict.problem.empty()) return Filled(texts.bad, signer);
  return FillTemplate(texts.badProblem.c_str(), {OnOneLine(verdict.problem).c_str(), signer.c_str()},
                      {});
}

std::string SignatureText(const VerdictFile& verdict, const MarkerTexts& texts,
                          const MarkerNotes& notes) {
  if (verdict.status == "unknown-key") {
    return verdict.fingerprint.empty() ? texts.unknownKey
                                       : Filled(texts.unknownKeyNamed, OnOneLine(verdict.fingerprint));
  }
  std::string text = verdict.status == "good" ? GoodSignatureText(verdict, texts)
                                              : BadSignatureText(verdict, texts);
  if (!verdict.signedAt.empty()) text += kNextDetail + Filled(texts.made, OnOneLine(verdict.signedAt));
  if (!verdict.fingerprint.empty())
    text += kNextDetail + Filled(texts.key, OnOneLine(verdict.fingerprint));
  if (verdict.status == "good" && !notes.fromAddress.empty() &&
      !AmongSignerAddresses(notes.fromAddress, verdict))
    text += kNextPart + Filled(texts.fromUnverified, ShownUserId(notes.fromAddress));
  return text;
}

std::string VerdictText(PgpFunction function, const VerdictFile& verdict, const MarkerTexts& texts,
                        const MarkerNotes& notes) {
  std::string text;
  if (function == Decode) {
    text = verdict.encrypted       ? texts.decrypted
           : verdict.signedMessage ? texts.notEncrypted
                                   : texts.plain;
  }
  if (verdict.signedMessage) {
    text += (text.empty() ? "" : kNextPart) + SignatureText(verdict, texts, notes);
  } else if (verdict.encrypted) {
    text += kNextPart + texts.notSigned;
  } else if (function == CheckSignature) {
    text = texts.noSignature;
  }
  return text;
}

std::string NotesText(const MarkerNotes& notes, const MarkerTexts& texts) {
  std::string text;
  if (notes.innerSignature) text += kNextPart + texts.innerSignature;
  if (notes.unknownCharset.size() > 0)
    text += kNextPart + Filled(texts.unknownCharset, ShownUserId(notes.unknownCharset));
  if (notes.unmappable > 0)
    text += kNextPart +
            Counted(notes.unmappable == 1 ? texts.unmappableOne : texts.unmappable, notes.unmappable);
  if (notes.incomplete) text += kNextPart + texts.damaged;
  return text;
}

std::string Marker(const std::string& text) { return "[-- Quillnet: " + text + " --]"; }

}  // namespace

std::string ShownUserId(std::string_view userId) {
  std::string clean;
  bool blankPending = false;
  for (char c : userId) {
    const auto u = static_cast<unsigned char>(c);
    if (c == ' ' || c == '\t' || u == 0xA0) {
      blankPending = !clean.empty();
      continue;
    }
    if (blankPending) clean += ' ';
    blankPending = false;
    clean += IsControl(c) ? '?' : c == '[' ? '(' : c == ']' ? ')' : c == '"' ? '\'' : c;
  }
  if (clean.size() > kUserIdShown) {
    constexpr size_t kFront = (kUserIdShown - 3) / 2;
    constexpr size_t kBack = kUserIdShown - 3 - kFront;
    clean = clean.substr(0, kFront) + "..." + clean.substr(clean.size() - kBack);
  }
  return "\"" + clean + "\"";
}

// Whether the '[' at `at` begins "[", dashes, blanks, "quillnet" as a reader
// sees them. Every step stops at the first character of another kind, and
// a '[' is one, so the work from all brackets of a text is linear.
bool IsLookAlikeAt(std::string_view text, size_t at) {
  size_t i = at + 1;
  size_t dashes = 0;
  for (; i < text.size(); ++i) {
    const Look look = LookAt(text, i);
    if (look == kDash || look == kSoftHyphen) ++dashes;
    else if (look != kInvisible) break;
  }
  if (dashes == 0) return false;
  while (i < text.size() && (LookAt(text, i) == kBlank || LookAt(text, i) == kInvisible ||
                             LookAt(text, i) == kSoftHyphen))
    ++i;
  for (Look letter : kWord) {
    i = SkipInvisible(text, i);
    if (i >= text.size() || LookAt(text, i) != letter) return false;
    ++i;
  }
  return true;
}

size_t FindLookAlikeMarker(std::string_view text, size_t from) {
  while (from < text.size()) {
    const void* found = std::memchr(text.data() + from, '[', text.size() - from);
    if (found == nullptr) return std::string_view::npos;
    const size_t at = static_cast<size_t>(static_cast<const char*>(found) - text.data());
    if (IsLookAlikeAt(text, at)) return at;
    from = at + 1;
  }
  return std::string_view::npos;
}

bool IsDefused(std::string_view text, size_t at) {
  return at >= kDefuseTag.size() && text.substr(at - kDefuseTag.size(), kDefuseTag.size()) == kDefuseTag;
}

bool LooksLikeMarker(std::string_view line) {
  for (size_t at = FindLookAlikeMarker(line); at != std::string_view::npos;
       at = FindLookAlikeMarker(line, at + 1))
    if (!IsDefused(line, at)) return true;
  return false;
}

MarkerTexts LoadMarkerTexts(const std::function<std::string(int id)>& load) {
  MarkerTexts t;
  const std::pair<std::string MarkerTexts::*, int> ids[] = {
      {&MarkerTexts::decrypted, IDS_MARK_DECRYPTED},
      {&MarkerTexts::notEncrypted, IDS_MARK_NOT_ENCRYPTED},
      {&MarkerTexts::plain, IDS_MARK_PLAIN},
      {&MarkerTexts::notSigned, IDS_MARK_NOT_SIGNED},
      {&MarkerTexts::noSignature, IDS_MARK_NO_SIGNATURE},
      {&MarkerTexts::goodFrom, IDS_MARK_GOOD_FROM},
      {&MarkerTexts::goodUnverified, IDS_MARK_GOOD_UNVERIFIED},
      {&MarkerTexts::validityUnknown, IDS_MARK_VALIDITY_UNKNOWN},
      {&MarkerTexts::keyCallsItself, IDS_MARK_KEY_CALLS_ITSELF},
      {&MarkerTexts::unknownKey, IDS_MARK_UNKNOWN_KEY},
      {&MarkerTexts::unknownKeyNamed, IDS_MARK_UNKNOWN_KEY_NAMED},
      {&MarkerTexts::bad, IDS_MARK_BAD},
      {&MarkerTexts::badProblem, IDS_MARK_BAD_PROBLEM},
      {&MarkerTexts::unnamedSigner, IDS_MARK_UNNAMED_SIGNER},
      {&MarkerTexts::made, IDS_MARK_MADE},
      {&MarkerTexts::key, IDS_MARK_KEY},
      {&MarkerTexts::fromUnverified, IDS_MARK_FROM_UNVERIFIED},
      {&MarkerTexts::innerSignature, IDS_MARK_INNER_SIGNATURE},
      {&MarkerTexts::unknownCharset, IDS_MARK_UNKNOWN_CHARSET},
      {&MarkerTexts::unmappableOne, IDS_MARK_UNMAPPABLE_ONE},
      {&MarkerTexts::unmappable, IDS_MARK_UNMAPPABLE},
      {&MarkerTexts::damaged, IDS_MARK_DAMAGED},
      {&MarkerTexts::noVerdictCheck, IDS_MARK_NO_VERDICT_CHECK},
      {&MarkerTexts::noVerdict, IDS_MARK_NO_VERDICT},
      {&MarkerTexts::moreKeyOne, IDS_KEYS_MORE_ONE},
      {&MarkerTexts::moreKeys, IDS_KEYS_MORE},
      {&MarkerTexts::keyYouHad, IDS_KEYS_HAD},
      {&MarkerTexts::noNewUserId, IDS_KEYS_NO_NEW_ID},
      {&MarkerTexts::noUserId, IDS_KEYS_NO_ID},
      {&MarkerTexts::moreUserIds, IDS_KEYS_MORE_IDS},
      {&MarkerTexts::noFingerprint, IDS_KEYS_NO_FINGERPRINT},
  };
  for (const auto& [field, id] : ids) t.*field = load(id);
  return t;
}

std::string FirstMarker(PgpFunction function, const VerdictFile* verdict, const MarkerTexts& texts,
                        const MarkerNotes& notes) {
  if (verdict == nullptr) {
    return Marker((function == CheckSignature ? texts.noVerdictCheck : texts.noVerdict) +
                  NotesText(notes, texts));
  }
  return Marker(VerdictText(function, *verdict, texts, notes) + NotesText(notes, texts));
}

std::string_view FromAddressOf(std::string_view messageText) {
  constexpr size_t kHeaderLook = 64 << 10;  // a header block is never longer
  const std::string_view header = messageText.substr(0, kHeaderLook);
  for (size_t pos = 0; pos < header.size();) {
    const TextLine next = LineAt(header, pos);
    pos = next.next;
    std::string_view line = next.text;
    if (line.empty()) break;  // the headers end here
    if (line.size() < 5 || !SameAddress(line.substr(0, 5), "from:")) continue;
    line.remove_prefix(5);
    const size_t open = line.find('<');
    const size_t close = open == std::string_view::npos ? open : line.find('>', open);
    if (close != std::string_view::npos && line.substr(open, close - open).find('@') != std::string_view::npos)
      return line.substr(open + 1, close - open - 1);
    const size_t at = line.find('@');
    if (at == std::string_view::npos) return {};
    const size_t start = line.find_last_of(" \t,;:\"(", at);
    const size_t stop = line.find_first_of(" \t,;\")", at);
    const size_t from = start == std::string_view::npos ? 0 : start + 1;
    return line.substr(from, (stop == std::string_view::npos ? line.size() : stop) - from);
  }
  return {};
}

namespace {

std::string GroupedFingerprint(std::string_view fingerprint, const MarkerTexts& texts) {
  std::string out;
  for (size_t i = 0; i < fingerprint.size(); i += 4) {
    if (i > 0) out += ' ';
    out += OnOneLine(fingerprint.substr(i, 4));
  }
  return out.empty() ? texts.noFingerprint : out;
}

// One key's lines: the entries of one fingerprint stand together.
struct KeyLines {
  std::string fingerprint;
  bool updated;
  std::vector<std::string> userIds;
};

std::vector<KeyLines> GroupKeys(const VerdictFile& verdict) {
  std::vector<KeyLines> keys;
  const auto add = [&keys](const auto& entries, bool updated) {
    for (const auto& [fingerprint, userId] : entries) {
      if (keys.empty() || keys.back().fingerprint != fingerprint || keys.back().updated != updated)
        keys.push_back({fingerprint, updated, {}});
      if (!userId.empty()) keys.back().userIds.push_back(userId);
    }
  };
  add(verdict.keysAdded, false);
  add(verdict.keysUpdated, true);
  return keys;
}

}  // namespace

std::string KeysAddedList(const VerdictFile& verdict, const MarkerTexts& texts, size_t maxLines) {
  constexpr size_t kUserIdsShown = 8;  // of one key: a key can carry any number
  const std::vector<KeyLines> keys = GroupKeys(verdict);
  std::string list;
  size_t lines = 0;
  for (size_t k = 0; k < keys.size(); ++k) {
    const KeyLines& key = keys[k];
    const size_t shown = std::min(key.userIds.size(), kUserIdsShown);
    const size_t needed = 1 + std::max<size_t>(shown, 1) + (shown < key.userIds.size());
    if (lines + needed > maxLines && k > 0) {
      const size_t left = keys.size() - k;
      list += "\n  " + Counted(left == 1 ? texts.moreKeyOne : texts.moreKeys, left);
      break;
    }
    list += "\n  " + GroupedFingerprint(key.fingerprint, texts) +
            (key.updated ? "  " + texts.keyYouHad : std::string());
    if (key.userIds.empty()) list += "\n    " + (key.updated ? texts.noNewUserId : texts.noUserId);
    for (size_t u = 0; u < shown; ++u) list += "\n    " + ShownUserId(key.userIds[u]);
    if (shown < key.userIds.size())
      list += "\n    " + Counted(texts.moreUserIds, key.userIds.size() - shown);
    lines += needed;
  }
  return list;
}

std::string ComposeMarkedText(std::string_view head, std::string_view output,
                              std::string_view tail, char quote, std::string_view firstMarker,
                              std::string_view attachmentPrefix) {
  const std::string source(output);
  const MarkedSplicePlan plan =
      PlanMarkedSplice(head, source, tail, quote, firstMarker, attachmentPrefix);
  std::string block(source);
  block.resize(plan.BlockSize());
  RebuildMarkedSplice(block.data(), plan, head, tail, quote, firstMarker);
  block.pop_back();  // the terminator
  return block;
}
