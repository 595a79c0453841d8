#include "host/menus.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A menu bar as Eudora shows it, by position.
const MenuBarItem kFile{0xE100, "&File"};
const MenuBarItem kEdit{0xE12B, "&Edit"};
const MenuBarItem kMailbox{0x8001, "Mailbox"};
const MenuBarItem kMessage{0x801D, "&Message"};
const MenuBarItem kWindow{0xE130, "&Window"};
const MenuBarItem kHelp{0xE142, "&Help"};

struct MenuBarRow {
  const char* name;
  std::vector<MenuBarItem> menuBar;
  MenuPositions expected;
};

class MenuPositionsTest : public testing::TestWithParam<MenuBarRow> {};

TEST_P(MenuPositionsTest, FindsTheThreePopups) {
  const MenuBarRow& row = GetParam();
  MenuPositions found = FindMenuPositions(row.menuBar);
  EXPECT_EQ(found.file, row.expected.file);
  EXPECT_EQ(found.message, row.expected.message);
  EXPECT_EQ(found.help, row.expected.help);
  EXPECT_EQ(found.edit, row.expected.edit);
}

INSTANTIATE_TEST_SUITE_P(
    MenuBars, MenuPositionsTest,
    testing::Values(
        MenuBarRow{"Standard", {kFile, kEdit, kMailbox, kMessage, kWindow, kHelp}, {0, 3, 5, 1}},
        MenuBarRow{"LowestMessageByTextWins",
                   {kFile, kEdit, {1, "&Message"}, kWindow, kWindow, {2, "&Message"}, kHelp},
                   {0, 2, 6, 1}},
        MenuBarRow{"TextIsCaseSensitive",
                   {kFile, kEdit, {1, "&message"}, {2, "&help"}, {3, "&file"}}, {0, 3, 4, 1}},
        MenuBarRow{"EmptyTextSkippedEvenWithMatchingId",
                   {kFile, kEdit, {0x801D, ""}, kMessage, {0xE142, ""}, kHelp}, {0, 3, 5, 1}},
        MenuBarRow{"HelpByIdOnly", {kFile, kEdit, kMessage, {0xE142, "?"}, kWindow}, {0, 2, 3, 1}},
        MenuBarRow{"MessageByIdOnly", {kFile, kEdit, {0x801D, "Nachricht"}, kHelp}, {0, 2, 3, 1}},
        MenuBarRow{"FileByMaskedId", {{0xE110, "Datei"}, kEdit, kMessage, kHelp}, {0, 2, 3, 1}},
        MenuBarRow{"FileMaskIgnoresOtherBits", {{0xE1F0, "x"}, kEdit, kMessage, kHelp}, {0, 2, 3, 1}},
        MenuBarRow{"FileIdNotLowBitsClear", {{0xE101, "x"}, kEdit, kMessage, kHelp}, {1, 2, 3, 2}},
        MenuBarRow{"NoPopupIdIsNoFile", {{kNoMenuItemId, "x"}, kEdit, kMessage, kHelp}, {1, 2, 3, 2}},
        MenuBarRow{"NothingFoundFallsBack", {kMailbox, kMailbox, kMailbox, kMailbox, {0x8002, "&Special"}},
                   {1, 3, 4, 2}},
        MenuBarRow{"EmptyBar", {}, {1, 3, -1, 2}}),
    [](const testing::TestParamInfo<MenuBarRow>& info) { return info.param.name; });

TEST(MenuPositionsOverlap, OnePopupMayMatchTwoRoles) {
  // A popup found as File by its id and as Message by its text holds both.
  std::vector<MenuBarItem> menuBar{kEdit, {0xE100, "&Message"}, kHelp};
  MenuPositions found = FindMenuPositions(menuBar);
  EXPECT_EQ(found.file, 1);
  EXPECT_EQ(found.message, 1);
}

struct EditMenuRow {
  const char* name;
  std::vector<uint32_t> ids;
  uint32_t next1;
  uint32_t next2;
  bool nickNamesOff;
};

class SelectAll : public testing::TestWithParam<EditMenuRow> {};

TEST_P(SelectAll, NeighboursAndNickNames) {
  const EditMenuRow& row = GetParam();
  SelectAllNeighbours found = FindSelectAllNeighbours(row.ids);
  EXPECT_EQ(found.SelectAllNext1, row.next1);
  EXPECT_EQ(found.SelectAllNext2, row.next2);
  EXPECT_EQ(NickNamesUnavailable(found), row.nickNamesOff);
}

INSTANTIATE_TEST_SUITE_P(
    EditMenus, SelectAll,
    testing::Values(
        EditMenuRow{"TwoItemsAfter", {0xE12B, 0xE12A, 0x8100, 0x8101, 0x8102}, 0x8100, 0x8101, false},
        EditMenuRow{"SelectAllLast", {0xE12B, 0xE125, 0xE12A}, kNoMenuItemId, kNoMenuItemId, false},
        EditMenuRow{"SeparatorAfter", {0xE12B, 0xE12A, 0, 0x8100}, 0, 0x8100, false},
        EditMenuRow{"ExactlyOneAfter", {0xE12A, 0x8100}, 0x8100, kNoMenuItemId, false},
        EditMenuRow{"SeparatorSecond", {0xE12A, 0x8100, 0}, 0x8100, 0, true},
        EditMenuRow{"HighestSelectAllWins", {0xE12A, 1, 2, 0xE12A, 3, 4}, 3, 4, false},
        EditMenuRow{"NoSelectAll", {0xE12B, 0xE125, 0x8100}, 0, 0, true},
        EditMenuRow{"EmptyMenu", {}, 0, 0, true}),
    [](const testing::TestParamInfo<EditMenuRow>& info) { return info.param.name; });

}  // namespace
