#include "common/verdict.h"

#include <gtest/gtest.h>

namespace {

TEST(VerdictFile, ReadsBackWhatWasWritten) {
  VerdictFile verdict;
  verdict.status = "good";
  verdict.encrypted = true;
  verdict.signedMessage = true;
  verdict.signer = "Bob <bob@example.net>";
  verdict.fingerprint = "0123456789ABCDEF0123456789ABCDEF01234567";
  verdict.signedAt = "2026-12-08T10:00:00Z";
  verdict.validity = "full";
  verdict.keyName = "Bob B.";
  verdict.signerAddresses = {"bob@example.net", "b@example.org"};
  verdict.keysAdded = {{"AAAA", "Carol <c@x>"}, {"AAAA", "Carol <c2@x>"}, {"BBBB", ""}};
  verdict.keysUpdated = {{"CCCC", "Dave <d@x>"}};
  const std::string text = FormatVerdictFile(verdict);
  EXPECT_EQ(text.substr(0, 13), "status=good\r\n");
  const VerdictFile back = ParseVerdictFile(text);
  EXPECT_EQ(back.status, "good");
  EXPECT_TRUE(back.encrypted);
  EXPECT_TRUE(back.signedMessage);
  EXPECT_EQ(back.signer, verdict.signer);
  EXPECT_EQ(back.fingerprint, verdict.fingerprint);
  EXPECT_EQ(back.signedAt, verdict.signedAt);
  EXPECT_EQ(back.validity, "full");
  EXPECT_EQ(back.keyName, verdict.keyName);
  EXPECT_EQ(back.signerAddresses, verdict.signerAddresses);
  EXPECT_EQ(back.keysAdded, verdict.keysAdded);
  EXPECT_EQ(back.keysUpdated, verdict.keysUpdated);
}

// A user id is the sender's text: no line break in it may add a line.
TEST(VerdictFile, AValueCannotAddALine) {
  VerdictFile verdict;
  verdict.status = "bad";
  verdict.signer = "Mallory\r\nstatus=good\nvalidity=ultimate 100%";
  const std::string text = FormatVerdictFile(verdict);
  EXPECT_EQ(text.find("\nstatus=good"), std::string::npos) << text;
  const VerdictFile back = ParseVerdictFile(text);
  EXPECT_EQ(back.status, "bad");
  EXPECT_EQ(back.validity, "");
  EXPECT_EQ(back.signer, verdict.signer);
}

TEST(VerdictFile, UnknownAndBrokenLinesAreSkipped) {
  const VerdictFile verdict =
      ParseVerdictFile("future=thing\r\nno equals sign\nsigned=yes\r\nsigner=%zz%4\n");
  EXPECT_TRUE(verdict.signedMessage);
  EXPECT_EQ(verdict.status, "none");
  EXPECT_EQ(verdict.signer, "%zz%4");
}

}  // namespace
