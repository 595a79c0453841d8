#include "host/toolbar_button.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct CreationRow {
  const char* name;
  int width;
  int height;
  int32_t buttonPos;
  ButtonPlace expected;
};

class ButtonAtCreation : public testing::TestWithParam<CreationRow> {};

TEST_P(ButtonAtCreation, IsPlacedOnTheBar) {
  const CreationRow& row = GetParam();
  ButtonPlace place = ButtonPlaceAtCreation(row.width, row.height, row.buttonPos);
  EXPECT_EQ(place.x, row.expected.x);
  EXPECT_EQ(place.y, row.expected.y);
}

INSTANTIATE_TEST_SUITE_P(
    Bars, ButtonAtCreation,
    testing::Values(
        CreationRow{"HorizontalFarEnd", 600, 30, 0, {572, 2}},
        CreationRow{"VerticalFarEnd", 30, 400, 0, {2, 372}},
        CreationRow{"SquareCountsAsVertical", 40, 40, 10, {7, 10}},
        CreationRow{"SquareThirty", 30, 30, 0, {2, 2}},
        CreationRow{"ButtonPosAlongHorizontal", 600, 30, 100, {100, 2}},
        CreationRow{"ButtonPosAlongVertical", 30, 400, 100, {2, 100}},
        CreationRow{"ButtonPosBeyondTheBar", 600, 30, 700, {700, 2}},
        CreationRow{"ThinBarStartsBeforeItsEdge", 600, 24, 0, {575, -1}},
        CreationRow{"OddThicknessTruncates", 600, 31, 0, {571, 2}},
        CreationRow{"ThinOddTruncatesTowardZero", 600, 23, 0, {576, -1}}),
    [](const testing::TestParamInfo<CreationRow>& info) { return info.param.name; });

struct ResizeRow {
  const char* name;
  int width;
  int height;
  int32_t buttonPos;
  ButtonPlace expected;
  int32_t buttonPosAfter;
};

class ButtonAfterSize : public testing::TestWithParam<ResizeRow> {};

TEST_P(ButtonAfterSize, FollowsTheBar) {
  const ResizeRow& row = GetParam();
  int32_t buttonPos = row.buttonPos;
  ButtonPlace place = ButtonPlaceAfterSize(row.width, row.height, buttonPos);
  EXPECT_EQ(place.x, row.expected.x);
  EXPECT_EQ(place.y, row.expected.y);
  EXPECT_EQ(buttonPos, row.buttonPosAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Bars, ButtonAfterSize,
    testing::Values(
        ResizeRow{"WiderHorizontal", 800, 30, 0, {770, 2}, 0},
        ResizeRow{"Vertical", 30, 400, 0, {2, 370}, 0},
        ResizeRow{"SquareCountsAsVertical", 30, 30, 0, {2, 0}, 0},
        ResizeRow{"ButtonPosKept", 800, 30, 100, {100, 2}, 100},
        ResizeRow{"ButtonPosKeptVertical", 30, 400, 100, {2, 100}, 100},
        ResizeRow{"ButtonPosOutsideIsGivenUp", 600, 30, 700, {570, 2}, 0},
        ResizeRow{"ButtonPosAtTheLimitIsGivenUp", 600, 30, 570, {570, 2}, 0},
        ResizeRow{"ButtonPosJustInside", 600, 30, 569, {569, 2}, 569}),
    [](const testing::TestParamInfo<ResizeRow>& info) { return info.param.name; });

TEST(ButtonGeometryLimits, ExtremeRectanglesDoNotOverflow) {
  // Runs under UBSan: a signed overflow in the arithmetic aborts the test.
  int32_t buttonPos = 0;
  ButtonPlace after = ButtonPlaceAfterSize(INT_MIN, INT_MAX, buttonPos);
  EXPECT_EQ(after.x, 2);
  EXPECT_EQ(after.y, INT_MAX);
  ButtonPlace created = ButtonPlaceAtCreation(INT_MAX, INT_MIN, 0);
  EXPECT_EQ(created.x, INT_MAX);
  EXPECT_LT(created.y, 0);
}

}  // namespace
