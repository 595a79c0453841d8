#include "command/confirm_dialog.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "resources/resource_ids.h"
#include "runner/pgp_runner.h"

namespace {

// Right shift of a negative value is arithmetic in C++20, so the halving
// rounds toward minus infinity as the window arithmetic always did; a plain
// division would round toward zero and move odd negative sums by a pixel.
int32_t HalfSum(int64_t a, int64_t b, int64_t c, int64_t d) {
  const int64_t half = (a + b + c - d) >> 1;
  return static_cast<int32_t>(std::clamp<int64_t>(half, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

ScreenPoint CenteredPosition(const ScreenRect& window, const ScreenRect& over) {
  return {HalfSum(over.left, over.right, window.left, window.right),
          HalfSum(over.top, over.bottom, window.top, window.bottom)};
}

int OpeningExplanationId(PgpFunction function, bool recipientsGiven) {
  if (function == Encrypt && recipientsGiven) return IDS_EXPLAIN_ENCRYPT;
  return ExplanationId(function);
}

void HideReplyTip(char* explanation, PgpFunction function, bool quoted) {
  if (explanation == nullptr || function != Decode || !quoted) return;
  if (strnlen(explanation, kDecodeTipCut + 1) > static_cast<size_t>(kDecodeTipCut)) {
    explanation[kDecodeTipCut] = '\0';
  }
}

EncryptForSwitch EncryptForFieldChanged(int fieldLength, bool& fieldWasEmpty) {
  const bool empty = fieldLength <= 0;
  if (empty == fieldWasEmpty) return {};
  fieldWasEmpty = empty;
  if (empty) return {true, IDS_LABEL_CLEARSIGN, IDS_EXPLAIN_CLEARSIGN};
  return {true, IDS_LABEL_ENCRYPT, IDS_EXPLAIN_ENCRYPT};
}

bool OffersSkip(uint16_t flags) {
  return (flags & (PGPREQ_ENCRYPT | PGPREQ_SIGN)) == 0;
}

int32_t ShortenedDialogHeight(const ScreenRect& dialog, const ScreenRect& label) {
  const int64_t height = static_cast<int64_t>(label.bottom) - dialog.top;
  return static_cast<int32_t>(std::clamp<int64_t>(height, 0, std::numeric_limits<int32_t>::max()));
}

int DialogAnswerForCommand(int controlId, int notification) {
  if (notification != 0) return 0;
  if (controlId == 1 || controlId == 2 || controlId == IDC_SKIP) return controlId;
  return 0;
}
