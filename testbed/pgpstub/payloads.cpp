#include "payloads.h"

#include <charconv>

namespace pgpstub {
namespace {

constexpr std::string_view kMessageMagic = "PGPSTUB MESSAGE 1";
constexpr std::string_view kSignatureMagic = "PGPSTUB SIGNATURE 1";
constexpr std::string_view kKeysMagic = "PGPSTUB KEYS 1";

std::string SumText(uint64_t sum) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, sum >>= 4) out[static_cast<size_t>(i)] = kDigits[sum & 15];
  return out;
}

std::optional<uint64_t> ParseSum(std::string_view text) {
  uint64_t value = 0;
  if (text.size() != 16) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The record is a first line naming its kind, then "name: value" lines, then
// (for messages) a blank line and the data. Split off one field line.
struct Field {
  std::string_view name;
  std::string_view value;
};

std::optional<Field> TakeField(std::string_view& rest) {
  const size_t lf = rest.find('\n');
  if (lf == std::string_view::npos) return std::nullopt;
  const std::string_view line = rest.substr(0, lf);
  rest.remove_prefix(lf + 1);
  const size_t colon = line.find(": ");
  if (colon == std::string_view::npos) return std::nullopt;
  return Field{line.substr(0, colon), line.substr(colon + 2)};
}

bool TakeLine(std::string_view& rest, std::string_view expected) {
  if (rest.substr(0, expected.size()) != expected || rest.size() == expected.size() ||
      rest[expected.size()] != '\n')
    return false;
  rest.remove_prefix(expected.size() + 1);
  return true;
}

// Offsets of the starts of the lines of `text`.
template <typename Visit>
void ForEachLineStart(std::string_view text, Visit visit) {
  for (size_t pos = 0; pos < text.size();) {
    visit(pos);
    const size_t lf = text.find('\n', pos);
    if (lf == std::string_view::npos) break;
    pos = lf + 1;
  }
}

bool IsHeaderLine(std::string_view text) {
  return !text.empty() && text[0] != ' ' && text.find(": ") != std::string_view::npos;
}

}  // namespace

uint64_t SignatureSum(std::string_view signer, std::string_view data) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  const auto mix = [&hash](unsigned char byte) {
    hash ^= byte;
    hash *= 0x100000001b3ULL;
  };
  for (char c : signer) mix(static_cast<unsigned char>(c));
  mix(0);
  for (char c : data) mix(static_cast<unsigned char>(c));
  return hash;
}

bool IsUsableUserId(std::string_view userId) {
  if (TrimBlanks(userId).empty() || TrimBlanks(userId).size() != userId.size()) return false;
  for (char c : userId)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  return true;
}

std::string MakeMessageArmor(Message message) {
  std::string payload(kMessageMagic);
  payload.append("\nmode: ").append(message.textMode ? "t" : "b").append("\n");
  for (const std::string& recipient : message.recipients)
    payload.append("to: ").append(recipient).append("\n");
  if (!message.signer.empty()) {
    message.sum = SignatureSum(message.signer, message.data);
    payload.append("by: ").append(message.signer).append("\n");
    payload.append("sum: ").append(SumText(message.sum)).append("\n");
  }
  payload.append("size: ").append(std::to_string(message.data.size())).append("\n\n");
  payload.append(message.data);
  return WrapArmor("MESSAGE", payload);
}

std::optional<Message> ParseMessagePayload(std::string_view payload) {
  std::string_view rest = payload;
  if (!TakeLine(rest, kMessageMagic)) return std::nullopt;
  Message message;
  bool haveMode = false, haveSum = false;
  std::optional<size_t> size;
  while (!rest.empty() && rest[0] != '\n') {
    const auto field = TakeField(rest);
    if (!field) return std::nullopt;
    if (field->name == "mode" && (field->value == "t" || field->value == "b")) {
      message.textMode = field->value == "t";
      haveMode = true;
    } else if (field->name == "to" && IsUsableUserId(field->value)) {
      message.recipients.emplace_back(field->value);
    } else if (field->name == "by" && IsUsableUserId(field->value) && message.signer.empty()) {
      message.signer = field->value;
    } else if (field->name == "sum" && ParseSum(field->value)) {
      message.sum = *ParseSum(field->value);
      haveSum = true;
    } else if (field->name == "size") {
      size_t value = 0;
      const auto [end, error] =
          std::from_chars(field->value.data(), field->value.data() + field->value.size(), value);
      if (error != std::errc() || end != field->value.data() + field->value.size())
        return std::nullopt;
      size = value;
    } else {
      return std::nullopt;
    }
  }
  if (rest.empty() || !haveMode || !size || haveSum != !message.signer.empty()) return std::nullopt;
  rest.remove_prefix(1);
  if (rest.size() != *size) return std::nullopt;
  message.data.assign(rest);
  return message;
}

bool SignatureHolds(const Message& message) {
  return message.signer.empty() || message.sum == SignatureSum(message.signer, message.data);
}

std::string DashEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t copied = 0;
  ForEachLineStart(text, [&](size_t start) {
    if (text[start] != '-') return;
    out.append(text.substr(copied, start - copied)).append("- ");
    copied = start;
  });
  out.append(text.substr(copied));
  return out;
}

std::string DashUnescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t copied = 0;
  ForEachLineStart(text, [&](size_t start) {
    if (text.substr(start, 2) != "- ") return;
    out.append(text.substr(copied, start - copied));
    copied = start + 2;
  });
  out.append(text.substr(copied));
  return out;
}

std::string NormaliseLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}

std::string ClearSign(std::string_view text, std::string_view signer) {
  std::string payload(kSignatureMagic);
  payload.append("\nby: ").append(signer).append("\n");
  payload.append("sum: ").append(SumText(SignatureSum(signer, NormaliseLineEnds(text))));
  payload.append("\n");
  // The line end after the text belongs to the armour, not to the text, so
  // that a text with or without a final line end comes back unchanged.
  std::string out("-----BEGIN PGP SIGNED MESSAGE-----\r\n\r\n");
  out.append(DashEscape(text)).append("\r\n");
  out.append(WrapArmor("SIGNATURE", payload));
  return out;
}

ClearCheck CheckClearSigned(std::string_view file, const std::vector<Line>& lines,
                            size_t beginIndex) {
  ClearCheck result;
  size_t i = beginIndex + 1;
  while (i < lines.size() && IsHeaderLine(lines[i].text)) ++i;
  if (i >= lines.size() || !TrimBlanks(lines[i].text).empty()) return result;
  ++i;
  const size_t textStart = i < lines.size() ? lines[i].start : file.size();
  const auto signatureLine = FindBeginLine(lines, i, "SIGNATURE");
  if (!signatureLine) return result;
  // A BEGIN line of another kind inside the text means the dash escaping is
  // missing, so the block cannot be what was signed.
  if (FindBeginLine(lines, i, "") != signatureLine) return result;
  const auto payload = UnwrapArmor(lines, *signatureLine, "SIGNATURE");
  if (!payload) return result;

  std::string_view rest = *payload;
  if (!TakeLine(rest, kSignatureMagic)) return result;
  const auto by = TakeField(rest);
  const auto sum = TakeField(rest);
  if (!by || !sum || by->name != "by" || !IsUsableUserId(by->value) || sum->name != "sum" ||
      !ParseSum(sum->value) || !rest.empty())
    return result;

  std::string_view signedPart = file.substr(textStart, lines[*signatureLine].start - textStart);
  if (!signedPart.empty() && signedPart.back() == '\n') signedPart.remove_suffix(1);
  if (!signedPart.empty() && signedPart.back() == '\r') signedPart.remove_suffix(1);
  result.text = DashUnescape(signedPart);
  result.signer = by->value;
  result.status = SignatureSum(result.signer, NormaliseLineEnds(result.text)) == *ParseSum(sum->value)
                      ? CheckStatus::Good
                      : CheckStatus::Bad;
  return result;
}

std::string MakeKeyBlock(const std::vector<std::string>& userIds) {
  std::string payload(kKeysMagic);
  payload.append("\n");
  for (const std::string& id : userIds) payload.append("pub: ").append(id).append("\n");
  return WrapArmor("PUBLIC KEY BLOCK", payload);
}

std::optional<std::vector<std::string>> ParseKeyBlock(std::string_view file) {
  const std::vector<Line> lines = SplitLines(file);
  const auto begin = FindBeginLine(lines, 0, "PUBLIC KEY BLOCK");
  if (!begin) return std::nullopt;
  const auto payload = UnwrapArmor(lines, *begin, "PUBLIC KEY BLOCK");
  if (!payload) return std::nullopt;
  std::string_view rest = *payload;
  if (!TakeLine(rest, kKeysMagic)) return std::nullopt;
  std::vector<std::string> ids;
  while (!rest.empty()) {
    const auto field = TakeField(rest);
    if (!field || field->name != "pub" || !IsUsableUserId(field->value)) return std::nullopt;
    ids.emplace_back(field->value);
  }
  return ids;
}

}  // namespace pgpstub
