#include "command/confirm_dialog.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

TEST(CenteredPosition, HalvesTowardMinusInfinity) {
  const struct {
    ScreenRect window;
    ScreenRect over;
    int32_t x;
    int32_t y;
  } rows[] = {
      {{0, 0, 100, 50}, {0, 0, 200, 100}, 50, 25},
      {{0, 0, 100, 50}, {0, 0, 201, 101}, 50, 25},
      // Odd negative sums: a division would give -150 and -1.
      {{0, 0, 0, 0}, {-301, -3, 0, 0}, -151, -2},
      {{10, 10, 411, 14}, {0, 0, 100, 1}, -151, -2},
      // Larger than the owner: sticks out on both sides, not clipped.
      {{0, 0, 400, 300}, {100, 100, 300, 200}, 0, 0},
      {{500, 500, 900, 800}, {-200, -100, 0, 0}, -300, -200},
      // Extreme rectangles stay in range instead of wrapping.
      {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MIN, INT_MIN, INT_MIN, INT_MIN}, INT_MIN,
       INT_MIN},
      {{0, 0, 0, 0}, {INT_MAX, INT_MAX, INT_MAX, INT_MAX}, INT_MAX, INT_MAX},
  };
  for (const auto& row : rows) {
    const ScreenPoint point = CenteredPosition(row.window, row.over);
    EXPECT_EQ(point.x, row.x) << row.over.left << "," << row.over.right;
    EXPECT_EQ(point.y, row.y) << row.over.top << "," << row.over.bottom;
  }
}

constexpr char kDecodeExplanation[] =
    "Quillnet found an encrypted text in the message window. It will be passed to PGP for "
    "decoding.\nTip: Choose 'Message|Reply' first, and then 'Run PGP...' Then you'll get the "
    "decoded text in your edit window.";

TEST(HideReplyTip, CutsTheDecodeTipOnlyInAReply) {
  const std::string fiftyChars(50, 'e');
  const std::string exactly94(94, 'e');
  const std::string exactly95(95, 'e');
  const struct {
    std::string text;
    PgpFunction function;
    bool quoted;
    std::string expected;
  } rows[] = {
      {kDecodeExplanation, Decode, true,
       "Quillnet found an encrypted text in the message window. It will be passed to PGP for "
       "decoding."},
      {kDecodeExplanation, Decode, false, kDecodeExplanation},
      {kDecodeExplanation, CheckSignature, true, kDecodeExplanation},
      {fiftyChars, Decode, true, fiftyChars},
      {exactly94, Decode, true, exactly94},
      {exactly95, Decode, true, exactly94},
  };
  for (const auto& row : rows) {
    char buffer[kMessageTextSize];
    std::strcpy(buffer, row.text.c_str());
    HideReplyTip(buffer, row.function, row.quoted);
    EXPECT_EQ(std::string(buffer), row.expected) << row.text.size();
  }
}

TEST(EncryptForFieldChanged, SwitchesOnlyWhenEmptinessChanges) {
  // Dialog opened with recipients, then: cleared, still empty, typed, typed more.
  bool fieldWasEmpty = false;
  const struct {
    int fieldLength;
    bool changed;
    int labelId;
    int explanationId;
    bool wasEmptyAfter;
  } steps[] = {
      {0, true, 24, 12, true},
      {0, false, 0, 0, true},
      {3, true, 21, 15, false},
      {5, false, 0, 0, false},
      {0, true, 24, 12, true},
  };
  for (const auto& step : steps) {
    const EncryptForSwitch change = EncryptForFieldChanged(step.fieldLength, fieldWasEmpty);
    EXPECT_EQ(change.changed, step.changed) << step.fieldLength;
    if (step.changed) {
      EXPECT_EQ(change.labelId, step.labelId);
      EXPECT_EQ(change.explanationId, step.explanationId);
    }
    EXPECT_EQ(fieldWasEmpty, step.wasEmptyAfter);
  }
}

TEST(ConfirmDialogRules, ExplanationSkipAndAnswers) {
  EXPECT_EQ(OpeningExplanationId(Encrypt, true), 15);
  EXPECT_EQ(OpeningExplanationId(Encrypt, false), 12);
  EXPECT_EQ(OpeningExplanationId(Decode, true), 10);
  EXPECT_EQ(OpeningExplanationId(AddKey, false), 13);

  const struct {
    uint16_t flags;
    bool skip;
  } skipRows[] = {{0xA000, true}, {0x8000, true}, {0x8110, true},
                  {0xC071, false}, {0xE075, false}, {0xA036, false}};
  for (const auto& row : skipRows) EXPECT_EQ(OffersSkip(row.flags), row.skip) << std::hex << row.flags;

  const struct {
    int control;
    int notification;
    int answer;
  } answerRows[] = {{1, 0, 1}, {2, 0, 2}, {2454, 0, 2454}, {1, 5, 0}, {2454, 1, 0}, {2451, 0, 0}};
  for (const auto& row : answerRows) {
    EXPECT_EQ(DialogAnswerForCommand(row.control, row.notification), row.answer)
        << row.control << "/" << row.notification;
  }
}

TEST(ShortenedDialogHeight, RunsFromDialogTopToLabelBottom) {
  EXPECT_EQ(ShortenedDialogHeight({100, 120, 500, 480}, {108, 330, 220, 343}), 223);
  EXPECT_EQ(ShortenedDialogHeight({0, -50, 10, 10}, {0, -20, 5, -10}), 40);
  EXPECT_EQ(ShortenedDialogHeight({0, 300, 10, 400}, {0, 100, 5, 200}), 0);
}

}  // namespace
