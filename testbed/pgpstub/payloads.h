// What the stand-in puts inside its armour instead of cryptography: a small
// readable record naming the recipients and the signer, followed by the
// exact input bytes, so that every operation can be undone byte for byte and
// every tampering is noticed. Pure: no platform header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "armor.h"

namespace pgpstub {

// Stands in for a signature: ties the signer's user id to the signed bytes.
// Not cryptographic, only good enough to notice a changed text.
uint64_t SignatureSum(std::string_view signer, std::string_view data);

struct Message {
  bool textMode = false;
  std::vector<std::string> recipients;  // full user ids of the keys used
  std::string signer;                   // empty when not signed
  uint64_t sum = 0;                     // SignatureSum(signer, data) when signed
  std::string data;                     // the exact input bytes
};

// "-----BEGIN PGP MESSAGE-----" block; the sum is computed here.
std::string MakeMessageArmor(Message message);
std::optional<Message> ParseMessagePayload(std::string_view payload);
bool SignatureHolds(const Message& message);

// Clear signing. Every line of the text that starts with '-' is written as
// "- -..." so that no line of the text can pass for an armour line. The
// signature sum is taken over the text with CR LF turned into LF, so that a
// text whose line ends were converted on the way still verifies.
std::string DashEscape(std::string_view text);
std::string DashUnescape(std::string_view text);
std::string NormaliseLineEnds(std::string_view text);
std::string ClearSign(std::string_view text, std::string_view signer);

enum class CheckStatus { Good, Bad, Malformed };
struct ClearCheck {
  CheckStatus status = CheckStatus::Malformed;
  std::string text;    // dash-escaping undone, line ends as found
  std::string signer;
};
// Checks the clear-signed block whose BEGIN line is lines[beginIndex] in
// `file` (from which `lines` were split).
ClearCheck CheckClearSigned(std::string_view file, const std::vector<Line>& lines,
                            size_t beginIndex);

// "-----BEGIN PGP PUBLIC KEY BLOCK-----" holding the given user ids.
std::string MakeKeyBlock(const std::vector<std::string>& userIds);
// The user ids of the first public key block anywhere in `file`, however
// much text surrounds it; nullopt when there is none or it is damaged.
std::optional<std::vector<std::string>> ParseKeyBlock(std::string_view file);

// A user id that can be stored in a record line and in the key list.
bool IsUsableUserId(std::string_view userId);

}  // namespace pgpstub
