#include "armor_survey.h"

namespace pgp2gpg {
namespace {

// An armour line as gpg accepts it: the exact text at the start of the line,
// then nothing but blanks (the line end is not part of the head).
bool IsArmorLine(std::string_view head, std::string_view armor) {
  if (head.substr(0, armor.size()) != armor) return false;
  for (char c : head.substr(armor.size())) {
    if (c != ' ' && c != '\t' && c != '\r') return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

void ArmorSurvey::Feed(std::string_view chunk) {
  for (char c : chunk) {
    if (c == '\n') {
      EndLine();
      continue;
    }
    if (head_.size() < kHeadSize) head_ += c;
    if (!IsBlank(c)) lineHasText_ = true;
  }
}

void ArmorSurvey::Finish() {
  if (!head_.empty() || lineHasText_) EndLine();
}

void ArmorSurvey::EndLine() {
  const std::string_view head = head_;
  switch (state_) {
    case State::Before:
      if (IsArmorLine(head, "-----BEGIN PGP MESSAGE-----")) {
        state_ = State::Inside, kind_ = BlockKind::Message;
      } else if (IsArmorLine(head, "-----BEGIN PGP SIGNED MESSAGE-----")) {
        state_ = State::Inside, kind_ = BlockKind::SignedMessage;
      } else if (lineHasText_) {
        textBefore_ = true;
        if (IsArmorLine(head, "-----BEGIN PGP PUBLIC KEY BLOCK-----")) sawKeyBlock_ = true;
      }
      break;
    case State::Inside:
      if (kind_ == BlockKind::Message ? IsArmorLine(head, "-----END PGP MESSAGE-----")
                                      : IsArmorLine(head, "-----END PGP SIGNATURE-----")) {
        state_ = State::After;
      }
      break;
    case State::After:
      if (lineHasText_) textAfter_ = true;
      break;
  }
  head_.clear();
  lineHasText_ = false;
}

}  // namespace pgp2gpg
