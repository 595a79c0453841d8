// The Win32 tests rely on the answerer to get past modal boxes; if it ever
// stops seeing or pressing them, every such test would hang or lie.
#include <gtest/gtest.h>

#include "tests/win/support/dialog_answerer.h"

TEST(DialogAnswerer, AnswersMessageBoxesInOrderAndRecordsTheirTexts) {
  DialogAnswerer answerer({{"Quillnet", IDCANCEL}, {"Second", IDYES}});
  EXPECT_EQ(MessageBoxA(nullptr, "first text", "Quillnet", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "second text", "Second", MB_YESNO), IDYES);
  auto seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].title, "Quillnet");
  EXPECT_EQ(seen[0].text, "first text");
  EXPECT_EQ(seen[1].text, "second text");
  EXPECT_EQ(answerer.Unexpected(), 0);
}

TEST(DialogAnswerer, CancelsBoxesBeyondTheScript) {
  DialogAnswerer answerer({});
  EXPECT_EQ(MessageBoxA(nullptr, "surprise", "Other", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(answerer.Unexpected(), 1);
}
