#include "command/confirm_dialog_win.h"

#include "command/confirm_dialog.h"
#include "command/text_capture_win.h"
#include "core/module_win.h"
#include "core/shared_state_win.h"
#include "resources/resource_ids.h"
#include "runner/pgp_runner_win.h"

namespace {

ScreenRect ToScreenRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

void ShowExplanation(HWND dialog, int id) {
  char explanation[kMessageTextSize];
  LoadModuleString(static_cast<UINT>(id), explanation, sizeof explanation);
  SetDlgItemTextA(dialog, IDC_EXPLANATION, explanation);
}

Confirmation* ConfirmationOf(HWND dialog) {
  return reinterpret_cast<Confirmation*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// Hidden through the style bit: the dialog is not on screen yet, and a
// disabled control is also left out of the tab order.
void HideAndDisable(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return;
  SetWindowLongA(control, GWL_STYLE, GetWindowLongA(control, GWL_STYLE) & ~WS_VISIBLE);
  EnableWindow(control, FALSE);
}

// Without the Encrypt-for field the dialog ends below that field's label.
void DropEncryptFor(HWND dialog) {
  HideAndDisable(dialog, IDC_ENCRYPT_FOR_LABEL);
  HideAndDisable(dialog, IDC_ENCRYPT_FOR);
  RECT frame;
  RECT label;
  if (!GetWindowRect(dialog, &frame) ||
      !GetWindowRect(GetDlgItem(dialog, IDC_ENCRYPT_FOR_LABEL), &label)) {
    return;
  }
  const int32_t height = ShortenedDialogHeight(ToScreenRect(frame), ToScreenRect(label));
  SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, height,
               SWP_NOMOVE | SWP_NOZORDER);
}

BOOL InitDialog(HWND dialog, Confirmation& confirmation) {
  RunState& state = confirmation.state;
  CenterWindow(dialog, sharedState.clientMainWindow);
  SetDlgItemTextA(dialog, IDC_PREVIEW, confirmation.preview.c_str());
  const PgpFunction function = state.function;
  char explanation[kMessageTextSize];
  LoadModuleString(static_cast<UINT>(ExplanationId(function)), explanation, sizeof explanation);
  HideReplyTip(explanation, function, state.quoted != 0);
  SetDlgItemTextA(dialog, IDC_EXPLANATION, explanation);
  const bool recipientsGiven = RecipientsGiven(state);
  SetPgpCaption(state, recipientsGiven);
  SetWindowTextA(dialog, state.PgpCaption);
  if (function == Encrypt) {
    // Set before the field gets its text, so the change notice that
    // setting the text sends finds nothing to switch.
    confirmation.fieldWasEmpty = !recipientsGiven;
    if (recipientsGiven) ShowExplanation(dialog, IDS_EXPLAIN_ENCRYPT);
    // The field takes as much as PGP's command line could; the default
    // limit of an edit control is shorter.
    SendDlgItemMessageA(dialog, IDC_ENCRYPT_FOR, EM_LIMITTEXT, kCommandLineMax, 0);
    SetDlgItemTextA(dialog, IDC_ENCRYPT_FOR, state.recipients.c_str());
  } else {
    DropEncryptFor(dialog);
  }
  // A dialog opened without a request offers Skip, as every request that
  // neither encrypts nor signs does.
  const uint16_t flags = confirmation.request != nullptr ? confirmation.request->flags : 0;
  if (!OffersSkip(flags)) HideAndDisable(dialog, IDC_SKIP);
  return TRUE;
}

void EncryptForChanged(HWND dialog, Confirmation& confirmation) {
  const int length = GetWindowTextLengthA(GetDlgItem(dialog, IDC_ENCRYPT_FOR));
  const EncryptForSwitch change = EncryptForFieldChanged(length, confirmation.fieldWasEmpty);
  if (!change.changed) return;
  char label[kCaptionLabelMax + 1];
  LoadModuleString(static_cast<UINT>(change.labelId), label, sizeof label);
  ComposePgpCaption(confirmation.state.PgpCaption, label);
  SetWindowTextA(dialog, confirmation.state.PgpCaption);
  ShowExplanation(dialog, change.explanationId);
}

void Command(HWND dialog, Confirmation* confirmation, int id, int notification) {
  const bool encrypting = confirmation != nullptr && confirmation->state.function == Encrypt;
  if (id == IDOK && encrypting) {
    confirmation->state.recipients = WindowText(GetDlgItem(dialog, IDC_ENCRYPT_FOR));
  }
  if (id == IDC_ENCRYPT_FOR) {
    if (notification == EN_CHANGE && encrypting) EncryptForChanged(dialog, *confirmation);
    return;
  }
  const int answer = DialogAnswerForCommand(id, notification);
  if (answer != 0) EndDialog(dialog, answer);
}

}  // namespace

INT_PTR Confirm(HWND owner, Confirmation& confirmation) {
  return DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_CONFIRM), owner, ConfirmDialogProc,
                         reinterpret_cast<LPARAM>(&confirmation));
}

void CenterWindow(HWND window, HWND over) {
  RECT w;
  RECT o;
  if (window == nullptr || over == nullptr) return;
  if (!GetWindowRect(window, &w) || !GetWindowRect(over, &o)) return;
  const ScreenPoint at = CenteredPosition(ToScreenRect(w), ToScreenRect(o));
  SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

extern "C" INT_PTR CALLBACK ConfirmDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      // Opened without its parameter the dialog has nothing to show.
      if (lParam == 0) return TRUE;
      return InitDialog(dialog, *reinterpret_cast<Confirmation*>(lParam));
    case WM_COMMAND:
      Command(dialog, ConfirmationOf(dialog), LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_DESTROY:
      return TRUE;
    default:
      return FALSE;
  }
}
