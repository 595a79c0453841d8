#include "core/command_state.h"

#include <gtest/gtest.h>

#include <string>

#include "resources/resource_ids.h"

TEST(CommandState, ArmorKindsBecomeTheirFunctions) {
  EXPECT_EQ(FunctionFromArmor(Message), Decode);
  EXPECT_EQ(FunctionFromArmor(Signed), CheckSignature);
  EXPECT_EQ(FunctionFromArmor(None), Encrypt);
  EXPECT_EQ(FunctionFromArmor(PublicKey), AddKey);
}

TEST(CommandState, CaptionLabelFollowsFunctionAndRecipients) {
  EXPECT_EQ(CaptionLabelId(Decode, false), 22);
  EXPECT_EQ(CaptionLabelId(CheckSignature, true), 23);
  EXPECT_EQ(CaptionLabelId(Encrypt, true), 21);
  EXPECT_EQ(CaptionLabelId(Encrypt, false), 24);
  EXPECT_EQ(CaptionLabelId(AddKey, false), 26);
  EXPECT_EQ(CaptionLabelId(NoFunction, true), 20);
}

TEST(CommandState, ExplanationIdsByValue) {
  EXPECT_EQ(ExplanationId(Decode), 10);
  EXPECT_EQ(ExplanationId(CheckSignature), 11);
  EXPECT_EQ(ExplanationId(Encrypt), 12);
  EXPECT_EQ(ExplanationId(AddKey), 13);
  EXPECT_EQ(ExplanationId(NoFunction), 20);
  EXPECT_EQ(ExplanationId(static_cast<PgpFunction>(9)), 20);
}

TEST(CommandState, CaptionCutsTheLabelAt56Characters) {
  char caption[kCaptionSize];
  ComposePgpCaption(caption, "Clearsign ");
  EXPECT_STREQ(caption, " PGP - Clearsign ");
  std::string longLabel(80, 'x');
  ComposePgpCaption(caption, longLabel.c_str());
  EXPECT_EQ(std::string(caption), " PGP - " + std::string(56, 'x'));
  ComposePgpCaption(caption, nullptr);
  EXPECT_STREQ(caption, " PGP - ");
}
