// The pass-phrase dialog as the user sees it: a screenshot for the test
// output, and the layout facts a screenshot alone would not prove.
#include <gtest/gtest.h>

#include "command/passphrase_dialog_win.h"
#include "core/module_win.h"
#include "resources/resource_ids.h"
#include "tests/win/support/dialog_answerer.h"
#include "tests/win/support/screen_capture.h"

TEST(PassPhraseDialogLook, ShowsItsPromptFieldAndButtons) {
  char typed[kPassPhraseSize] = {};
  HWND dialog = CreateDialogParamA(moduleInstance, MAKEINTRESOURCEA(IDD_PASSPHRASE), nullptr,
                                   PassPhraseDialogProc, reinterpret_cast<LPARAM>(typed));
  ASSERT_NE(dialog, nullptr);
  ShowWindow(dialog, SW_SHOW);
  SetDlgItemTextA(dialog, IDC_PASSPHRASE, "typed");
  SettlePaint();
  EXPECT_TRUE(SaveBmp(CaptureWindow(dialog), ScreenshotPath("passphrase_dialog")));

  EXPECT_EQ(WindowTextOf(dialog), "Quillnet - Enter Password");
  HWND edit = GetDlgItem(dialog, IDC_PASSPHRASE);
  EXPECT_TRUE(GetWindowLongA(edit, GWL_STYLE) & ES_PASSWORD);
  EXPECT_EQ(WindowTextOf(GetDlgItem(dialog, IDOK)), "OK");
  EXPECT_EQ(WindowTextOf(GetDlgItem(dialog, IDCANCEL)), "Cancel");
  // The field sits to the right of its label and above the buttons.
  RECT field{}, ok{};
  GetWindowRect(edit, &field);
  GetWindowRect(GetDlgItem(dialog, IDOK), &ok);
  EXPECT_LT(field.bottom, ok.top);
  SetDlgItemTextA(dialog, IDC_PASSPHRASE, "");
  DestroyWindow(dialog);
}
