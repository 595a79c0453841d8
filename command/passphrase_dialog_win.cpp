#include "command/passphrase_dialog_win.h"

#include <cstring>

#include "core/module_win.h"
#include "resources/resource_ids.h"

namespace {

// Emptying the edit control alone could leave the characters in the memory
// it gives back; a text of the same length first writes over them.
void ClearPassPhraseControl(HWND dialog) {
  char filler[kPassPhraseSize];
  const int length = GetWindowTextLengthA(GetDlgItem(dialog, IDC_PASSPHRASE));
  const int n = length < kPassPhraseSize - 1 ? length : kPassPhraseSize - 1;
  std::memset(filler, '*', n);
  filler[n] = '\0';
  SetDlgItemTextA(dialog, IDC_PASSPHRASE, filler);
  SetDlgItemTextA(dialog, IDC_PASSPHRASE, "");
}

char* TypedOf(HWND dialog) { return reinterpret_cast<char*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

}  // namespace

bool AskPassPhraseInDialog(HWND owner, char (&typed)[kPassPhraseSize]) {
  return DialogBoxParamA(moduleInstance, MAKEINTRESOURCEA(IDD_PASSPHRASE), owner,
                         PassPhraseDialogProc, reinterpret_cast<LPARAM>(typed)) == IDOK;
}

extern "C" INT_PTR CALLBACK PassPhraseDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      // Longer input would be cut silently and then fail as a wrong pass phrase.
      SendDlgItemMessageA(dialog, IDC_PASSPHRASE, EM_LIMITTEXT, kPassPhraseSize - 1, 0);
      SetDlgItemTextA(dialog, IDC_PASSPHRASE, "");
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) != 0) return FALSE;
      if (LOWORD(wParam) == IDOK) {
        // A dialog opened without a buffer takes nothing in.
        if (char* typed = TypedOf(dialog))
          GetDlgItemTextA(dialog, IDC_PASSPHRASE, typed, kPassPhraseSize);
        ClearPassPhraseControl(dialog);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        ClearPassPhraseControl(dialog);
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}
