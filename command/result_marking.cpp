#include "command/result_marking.h"

namespace {

constexpr size_t kSignerShown = 80;

// The sender's user id on one line: no control character can break the
// marker or start a line of its own.
std::string Shown(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, kSignerShown)) {
    const auto u = static_cast<unsigned char>(c);
    out += u < 0x20 || u == 0x7F ? '?' : c;
  }
  if (text.size() > kSignerShown) out += "...";
  return out;
}

bool VouchedFor(const std::string& validity) {
  return validity == "full" || validity == "fully" || validity == "ultimate";
}

std::string SignatureText(const VerdictFile& verdict) {
  const std::string signer = verdict.signer.empty() ? "an unnamed signer" : Shown(verdict.signer);
  std::string text;
  if (verdict.status == "good" && VouchedFor(verdict.validity)) {
    text = "good signature from " + signer;
  } else if (verdict.status == "good") {
    text = "good signature, but by a key not verified as " + signer + "'s (validity " +
           (verdict.validity.empty() ? "unknown" : Shown(verdict.validity)) + ")";
  } else if (verdict.status == "unknown-key") {
    return "signature by an unknown key" +
           (verdict.fingerprint.empty() ? std::string() : " " + Shown(verdict.fingerprint)) +
           ", which PGP could not check";
  } else {
    text = "BAD signature" +
           (verdict.problem.empty() ? std::string() : " (" + Shown(verdict.problem) + ")") +
           " from " + signer;
  }
  if (!verdict.signedAt.empty()) text += ", made " + Shown(verdict.signedAt);
  if (!verdict.fingerprint.empty()) text += ", key " + Shown(verdict.fingerprint);
  return text;
}

std::string Marker(const std::string& text) { return "[-- Quillnet: " + text + " --]"; }

// Appends pieces of the delivered text, defusing every line that would pass
// for a marker. `atLineStart` says whether the next character begins a line.
class Composer {
 public:
  explicit Composer(char quote) : quote_(quote) {}

  // Text of the message or of PGP's output; `quoteLines` puts the quote
  // mark after each of its line feeds.
  void Append(std::string_view text, bool quoteLines) {
    for (size_t i = 0; i < text.size(); ++i) {
      if (atLineStart_ && LooksLikeMarker(text.substr(i))) {
        const size_t prefix = text.find_first_not_of("> \t", i) - i;
        out_.append(text.substr(i, prefix));
        out_.append(kDefuseTag);
        i += prefix;
      }
      out_ += text[i];
      atLineStart_ = text[i] == '\n';
      if (atLineStart_ && quoteLines && quote_ != '\0') out_ += quote_;
    }
  }
  // One of the module's own lines, ending in a line break (and the quote).
  void AppendMarker(std::string_view marker) {
    out_.append(marker);
    atLineStart_ = false;
  }
  void BreakLine() {
    out_.append("\r\n");
    if (quote_ != '\0') out_ += quote_;
    atLineStart_ = true;
  }
  // Whether the text so far ends where a line begins (after the quote mark
  // of a quoted line).
  bool AtLineStart() const {
    if (out_.empty() || out_.back() == '\n') return true;
    if (quote_ == '\0' || out_.back() != quote_) return false;
    return out_.size() == 1 || out_[out_.size() - 2] == '\n';
  }
  std::string Take() { return std::move(out_); }

 private:
  char quote_;
  std::string out_;
  bool atLineStart_ = true;
};

}  // namespace

std::string FirstMarker(PgpFunction function, const VerdictFile* verdict) {
  if (verdict == nullptr) {
    return Marker(function == CheckSignature
                      ? "PGP reports a good signature; the signer is named in PGP's output"
                      : "PGP reports success; what it found (encryption, a signer) is named "
                        "in PGP's output");
  }
  std::string text;
  if (function == Decode) {
    text = verdict->encrypted       ? "decrypted"
           : verdict->signedMessage ? "not encrypted"
                                    : "not encrypted and not signed";
  }
  if (verdict->signedMessage) {
    text += (text.empty() ? "" : "; ") + SignatureText(*verdict);
  } else if (verdict->encrypted) {
    text += "; not signed";
  } else if (function == CheckSignature) {
    text = "no signature found";
  }
  return Marker(text);
}

bool LooksLikeMarker(std::string_view line) {
  const size_t start = line.find_first_not_of("> \t");
  return start != std::string_view::npos && line.substr(start, kMarkerStart.size()) == kMarkerStart;
}

std::string ComposeMarkedText(std::string_view head, std::string_view output,
                              std::string_view tail, char quote, std::string_view firstMarker) {
  Composer text(quote);
  text.Append(head, false);
  // A BEGIN line in the middle of a line: the marked part starts on the next.
  if (!text.AtLineStart()) text.BreakLine();
  text.AppendMarker(firstMarker);
  text.BreakLine();
  text.Append(output, true);
  if (!text.AtLineStart()) text.BreakLine();
  text.AppendMarker(kEndMarker);
  // The END line's own line end ends the marker's line; anything else after
  // the block goes to a line of its own.
  const bool tailBeginsALine = tail.substr(0, 2) == "\r\n" || tail.substr(0, 1) == "\n";
  if (!tail.empty() && !tailBeginsALine) text.BreakLine();
  text.Append(tail, false);
  return text.Take();
}
