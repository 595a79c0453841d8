// The arithmetic and text rules of the confirmation dialog (dialog 2300):
// where a centred window goes, which explanation and title label it shows,
// when the reply tip is hidden, whether Skip is offered and how short the
// dialog becomes without the Encrypt-for field. Pure; the dialog procedure
// ConfirmDialogProc and CenterWindow's Win32 calls are in confirm_dialog_win.cpp.
#pragma once

#include <cstdint>

#include "core/command_state.h"

// A screen rectangle as GetWindowRect reports it, without the platform type.
struct ScreenRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

struct ScreenPoint {
  int32_t x = 0;
  int32_t y = 0;
};

// The top-left corner that puts the centre of `window` over the centre of
// `over`: (over.left + over.right + window.left - window.right) halved
// toward minus infinity, likewise for y. No clipping to the screen: a window
// larger than `over` sticks out on both sides. Computed in 64 bits and
// clamped to the 32-bit range, so extreme rectangles cannot overflow.
ScreenPoint CenteredPosition(const ScreenRect& window, const ScreenRect& over);

// The explanation the dialog opens with: ExplanationId, except that an
// encryption with recipients already given explains the encryption (15).
int OpeningExplanationId(PgpFunction function, bool recipientsGiven);

// The index of the line feed before "Tip: " in the Decode explanation.
constexpr int kDecodeTipCut = 94;

// In a reply (`quoted`), the tip to reply first is pointless: for Decode the
// explanation ends at kDecodeTipCut. The text is left alone when it is not
// longer than that, so a short or changed string cannot be cut beyond its
// end.
void HideReplyTip(char* explanation, PgpFunction function, bool quoted);

// What editing the Encrypt-for field changes in the dialog.
struct EncryptForSwitch {
  bool changed = false;  // false: title and explanation stay as they are
  int labelId = 0;       // caption label: 24 "Clearsign " or 21 "Encrypt "
  int explanationId = 0;  // 12 (clearsign) or 15 (encrypt)
};

// The field's text length changed to `fieldLength`. When its emptiness
// differs from `fieldWasEmpty`, stores the new emptiness there and says
// which label and explanation to show; otherwise reports no change.
EncryptForSwitch EncryptForFieldChanged(int fieldLength, bool& fieldWasEmpty);

// Skip is offered unless the request encrypts or signs:
// an encryption covers the whole text, so there is nothing to skip to.
bool OffersSkip(uint16_t flags);

// The dialog's height once the Encrypt-for field is hidden: from the
// dialog's top edge down to the bottom edge of the field's label, both in
// screen coordinates. Never negative.
int32_t ShortenedDialogHeight(const ScreenRect& dialog, const ScreenRect& label);

// The answer EndDialog gets for a WM_COMMAND from a button: the control id
// (1 OK, 2 Cancel, 2454 Skip) when the notification code is 0 (a click),
// otherwise 0, meaning the dialog stays open.
int DialogAnswerForCommand(int controlId, int notification);
