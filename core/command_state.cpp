#include "core/command_state.h"

#include <cstring>

#include "core/text_chars.h"
#include "resources/resource_ids.h"

int CaptionLabelId(PgpFunction function, bool recipientsGiven) {
  switch (function) {
    case Decode: return IDS_LABEL_DECODE;
    case CheckSignature: return IDS_LABEL_CHECK;
    case Encrypt: return recipientsGiven ? IDS_LABEL_ENCRYPT : IDS_LABEL_CLEARSIGN;
    case AddKey: return IDS_LABEL_ADDKEY;
    case NoFunction: break;
  }
  return IDS_LABEL_FUNCTIONS;
}

int ExplanationId(PgpFunction function) {
  static const int ids[] = {IDS_EXPLAIN_DECODE, IDS_EXPLAIN_CHECK, IDS_EXPLAIN_CLEARSIGN,
                            IDS_EXPLAIN_ADDKEY, IDS_LABEL_FUNCTIONS};
  if (function < Decode || function > NoFunction) return IDS_LABEL_FUNCTIONS;
  return ids[function];
}

void ClearLeftOut(LeftOutRecipients& leftOut) { leftOut.text.clear(); }

void AddLeftOut(LeftOutRecipients& leftOut, const char* name, size_t length) {
  while (length > 0 && IsBlank(*name)) ++name, --length;
  while (length > 0 && IsBlank(name[length - 1])) --length;
  if (length == 0) return;
  if (!leftOut.text.empty()) leftOut.text += ", ";
  leftOut.text.append(name, length);
}

void ComposePgpCaption(char (&caption)[kCaptionSize], const char* label) {
  const size_t prefixLength = sizeof(kCaptionPrefix) - 1;
  std::memcpy(caption, kCaptionPrefix, prefixLength);
  size_t n = label ? strnlen(label, kCaptionLabelMax) : 0;
  if (n > 0) std::memcpy(caption + prefixLength, label, n);
  caption[prefixLength + n] = '\0';
}
