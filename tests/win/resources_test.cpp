// The string table as the module loads it: LoadStringA on the linked
// resources must give the texts exactly, escapes and doubled quotes included.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "core/module_win.h"
#include "resources/resource_ids.h"
#include "tests/win/support/test_state.h"

namespace {

std::string Load(UINT id) {
  char buffer[512];
  int n = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
  return std::string(buffer, n > 0 ? n : 0);
}

struct Row {
  UINT id;
  const char* text;
};

const Row kSample[] = {
    {2, "Application already running.\nTry to terminate?"},
    {5, "Quillnet(32) does not work with  Eudora(16). "},
    {7, "Quillnet will overwrite this/these file(s): \n"},
    {12, "Quillnet couldn't find an encrypted or clearsigned text. Because you did not type a "
         "recipient name (someone to encrypt for) it will tell PGP to clearsign your message."},
    {16, "This attached file will be passed to PGP:\n  "},
    {24, "Clearsign "},
    {40, "Unknown error %lu\nFile: %s"},
    {47, "Directory for temporary files not found.\nCheck TEMP, TMP and PgpTempDir."},
    {50, " PGP returned errorcode: %u"},
    {55, "PGP succeeded. Quillnet can copy the text\nto the message window or to the clipboard.\n"
         "In the message window you can only read the text.\nEverything else will be done with "
         "the original\nencrypted text. Copy to clipboard?"},
    {57, "+++ Nothing to do +++\nCan't find encrypted text,\na signature or a key"},
    {58, " No text found  "},
    {62, "Adding the button failed, because Quillnet couldn't find the appropriate window.\nIf "
         "you choose \"Retry\", it will try again, whenever the main window becomes active or "
         "the menu is used."},
    {64, "&Exit PGP-extension"},
    {66, "R&un PGP..."},
    {73, "Press any key or click in this window..."},
    {74, "File has no or invalid data:\n  %s"},
};

}  // namespace

TEST(StringTable, TextsLoadExactly) {
  for (const Row& row : kSample) EXPECT_EQ(Load(row.id), row.text) << "string " << row.id;
}

TEST(StringTable, DecodeExplanationHasItsLineFeedAtIndex94) {
  // The confirmation dialog cuts the tip off at this index for quoted blocks.
  std::string text = Load(IDS_EXPLAIN_DECODE);
  ASSERT_GT(text.size(), 94u);
  EXPECT_EQ(text[94], '\n');
  EXPECT_EQ(text.substr(95, 5), "Tip: ");
}

TEST(StringTable, UnknownIdLoadsNothing) { EXPECT_EQ(Load(9999), ""); }

TEST(StringTable, PgpCaptionCarriesTheLoadedLabel) {
  runState.function = Encrypt;
  SetPgpCaption(runState, false);
  EXPECT_STREQ(runState.PgpCaption, " PGP - Clearsign ");
  SetPgpCaption(runState, true);
  EXPECT_STREQ(runState.PgpCaption, " PGP - Encrypt ");
  runState.function = NoFunction;
  SetPgpCaption(runState, true);
  EXPECT_STREQ(runState.PgpCaption, " PGP - Functions");
}

TEST(Resources, ButtonFaceIsTwoSquareFramesOf26Pixels) {
  HBITMAP face = LoadBitmapA(moduleInstance, MAKEINTRESOURCEA(IDB_BUTTON_FACE));
  ASSERT_NE(face, nullptr);
  BITMAP info{};
  ASSERT_EQ(GetObjectA(face, sizeof info, &info), (int)sizeof info);
  EXPECT_EQ(info.bmWidth, 52);
  EXPECT_EQ(info.bmHeight, 26);
  DeleteObject(face);
  HRSRC raw = FindResourceA(moduleInstance, MAKEINTRESOURCEA(IDB_BUTTON_FACE), (LPCSTR)RT_BITMAP);
  ASSERT_NE(raw, nullptr);
  auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(moduleInstance, raw)));
  EXPECT_EQ(header->biBitCount, 4);  // 16 colours
}

TEST(Resources, IconAndDialogsArePresent) {
  HICON icon = LoadIconA(moduleInstance, "QUILLNET");
  EXPECT_NE(icon, nullptr);
  for (int id : {IDD_PASSPHRASE, IDD_ABOUT, IDD_CONFIRM})
    EXPECT_NE(FindResourceA(moduleInstance, MAKEINTRESOURCEA(id), (LPCSTR)RT_DIALOG), nullptr) << id;
}
