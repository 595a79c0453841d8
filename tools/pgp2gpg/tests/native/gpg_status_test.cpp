#include "gpg_status.h"

#include <gtest/gtest.h>

#include "exit_codes.h"

namespace pgp2gpg {
namespace {

std::string Joined(const Verdict& verdict) {
  std::string all;
  for (const std::string& line : verdict.lines) all += line + "\n";
  return all;
}

// Status texts as gpg 2.2 writes them (trimmed to the lines that matter).
const char* const kDecryptOk =
    "[GNUPG:] ENC_TO B95E8136F9CE46E0 18 0\n"
    "[GNUPG:] ENC_TO 95E782453533AE05 18 0\n"
    "[GNUPG:] NO_SECKEY 95E782453533AE05\n"
    "[GNUPG:] BEGIN_DECRYPTION\n"
    "[GNUPG:] PLAINTEXT 74 1796753213 msg\n"
    "[GNUPG:] DECRYPTION_OKAY\n"
    "[GNUPG:] GOODMDC\n"
    "[GNUPG:] END_DECRYPTION\n";
const char* const kGoodSig =
    "[GNUPG:] PLAINTEXT 74 0 \n"
    "[GNUPG:] NEWSIG alice@example.org\n"
    "[GNUPG:] GOODSIG F2D4FBC23A804AE8 Alice <alice@example.org>\n"
    "[GNUPG:] VALIDSIG E7ECA65B7617243DF22431CDF2D4FBC23A804AE8 2026-12-08 1796753224 0 4 0 22 8 01 E7EC\n"
    "[GNUPG:] TRUST_ULTIMATE 0 pgp\n";

struct DecodeRow {
  std::string name;
  std::string status;
  int gpgExit;
  bool expectSignature;
  int exitCode;
  std::string linePart;
};

class Decode : public testing::TestWithParam<DecodeRow> {};

TEST_P(Decode, GivesPgpsVerdict) {
  const DecodeRow& row = GetParam();
  const Verdict verdict = JudgeDecode(GpgOutcome{ParseStatus(row.status), row.gpgExit, true},
                                      row.expectSignature);
  EXPECT_EQ(verdict.exitCode, row.exitCode) << Joined(verdict);
  EXPECT_NE(Joined(verdict).find(row.linePart), std::string::npos) << Joined(verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Decode,
    testing::Values(
        DecodeRow{"EncryptedOnly", kDecryptOk, 0, false, kExitOk, ""},
        DecodeRow{"ClearSignedGood", kGoodSig, 0, true, kExitOk,
                  "Good signature from user \"Alice <alice@example.org>\"."},
        DecodeRow{"EncryptedAndSigned", std::string(kDecryptOk) +
                      "[GNUPG:] GOODSIG F2D4 Bob <bob@example.org>\n",
                  0, false, kExitOk, "Good signature from user \"Bob"},
        DecodeRow{"BadPassphraseByErrorCode",
                  "[GNUPG:] ENC_TO B95E 18 0\n[GNUPG:] ERROR pkdecrypt_failed 67108875\n"
                  "[GNUPG:] BEGIN_DECRYPTION\n[GNUPG:] DECRYPTION_FAILED\n[GNUPG:] END_DECRYPTION\n",
                  2, false, kExitDecryptError, "Bad pass phrase"},
        DecodeRow{"BadPassphraseStatus", "[GNUPG:] ENC_TO B95E 18 0\n[GNUPG:] BAD_PASSPHRASE B95E\n",
                  2, false, kExitDecryptError, "Bad pass phrase"},
        DecodeRow{"PinentryCancelled",
                  "[GNUPG:] ENC_TO B95E 18 0\n[GNUPG:] ERROR pkdecrypt_failed 83886179\n"
                  "[GNUPG:] DECRYPTION_FAILED\n",
                  2, false, kExitDecryptError, "No pass phrase"},
        DecodeRow{"NoSecretKey",
                  "[GNUPG:] ENC_TO AAAA 18 0\n[GNUPG:] NO_SECKEY AAAA\n"
                  "[GNUPG:] BEGIN_DECRYPTION\n[GNUPG:] DECRYPTION_FAILED\n",
                  2, false, kExitDecryptError, "secret key needed"},
        // Decryption reported okay but the integrity check failed.
        DecodeRow{"BadMdc", std::string(kDecryptOk) + "[GNUPG:] BADMDC\n", 2, false,
                  kExitDecryptError, "Decryption failed"},
        DecodeRow{"TamperedClearSignature",
                  "[GNUPG:] PLAINTEXT 74 0 \n[GNUPG:] BADSIG F2D4 Alice <alice@example.org>\n", 1,
                  true, kExitSignatureBad, "Bad signature from user \"Alice"},
        DecodeRow{"SignerKeyMissing",
                  "[GNUPG:] PLAINTEXT 74 0 \n"
                  "[GNUPG:] ERRSIG F2D4FBC23A804AE8 22 8 01 1796753224 9 E7EC\n"
                  "[GNUPG:] NO_PUBKEY F2D4FBC23A804AE8\n",
                  2, true, kExitSignatureBad, "Key ID F2D4FBC23A804AE8 not found"},
        // Mail for the user from someone whose key they lack is read; the
        // signature is reported unchecked. Any other failure still counts.
        DecodeRow{"EncryptedSignedByUnknownKey",
                  std::string(kDecryptOk) + "[GNUPG:] ERRSIG F2D4 22 8 00 1796753224 9 -\n", 2,
                  false, kExitOk, "its signature was not checked"},
        DecodeRow{"EncryptedSignedByUnknownKeyButFailed",
                  std::string(kDecryptOk) + "[GNUPG:] ERRSIG F2D4 22 8 00 1796753224 9 -\n"
                                            "[GNUPG:] FAILURE decrypt 33554433\n",
                  2, false, kExitDecryptError, "exit code 2"},
        DecodeRow{"EncryptedButSignatureUnverifiable",
                  std::string(kDecryptOk) + "[GNUPG:] ERRSIG F2D4 22 8 00 1796753224 4 -\n", 2,
                  false, kExitSignatureBad, "Can't check"},
        // Without an MDC the text is refused (see the round trips); AEAD
        // protects it as well as an MDC does.
        DecodeRow{"Aead",
                  "[GNUPG:] ENC_TO AB 18 0\n[GNUPG:] DECRYPTION_INFO 0 9 2\n"
                  "[GNUPG:] PLAINTEXT 62 0 \n[GNUPG:] DECRYPTION_OKAY\n",
                  0, false, kExitOk, ""},
        DecodeRow{"RevokedKey", "[GNUPG:] PLAINTEXT 74 0 \n[GNUPG:] REVKEYSIG F2D4 Al\n", 0, true,
                  kExitSignatureBad, "revoked"},
        DecodeRow{"ExpiredKey", "[GNUPG:] PLAINTEXT 74 0 \n[GNUPG:] EXPKEYSIG F2D4 Al\n", 0, true,
                  kExitSignatureBad, "expired key"},
        DecodeRow{"TwoGoodSignatures",
                  std::string(kGoodSig) + "[GNUPG:] PLAINTEXT 74 0 \n"
                                          "[GNUPG:] GOODSIG 1234 Mallory <m@example.org>\n",
                  2, true, kExitSignatureBad, "holds 2 signatures"},
        DecodeRow{"GoodAndBad",
                  std::string(kGoodSig) + "[GNUPG:] BADSIG 1234 Mallory\n", 1, true,
                  kExitSignatureBad, "  Bad signature from user \"Mallory\"."},
        DecodeRow{"SignedTextWithoutSignature", "[GNUPG:] PLAINTEXT 74 0 \n[GNUPG:] NODATA 4\n", 2,
                  true, kExitSignatureBad, "No signature found"},
        DecodeRow{"GoodVerdictButGpgFailed", kGoodSig, 2, true, kExitSignatureBad, "exit code 2"},
        DecodeRow{"TwoTexts", std::string(kDecryptOk) + "[GNUPG:] PLAINTEXT 74 0 x\n", 0, false,
                  kExitDecryptError, "more than one text"},
        DecodeRow{"NotPgpAtAll", "[GNUPG:] NODATA 1\n", 2, false, kExitBadInput, "No PGP data"},
        DecodeRow{"LiteralOnly", "[GNUPG:] PLAINTEXT 62 0 x\n", 0, false, kExitOk,
                  "neither encrypted nor signed"},
        // A user id that tries to write a second line or drive the terminal.
        DecodeRow{"SignerIdEscaped",
                  "[GNUPG:] PLAINTEXT 74 0 \n[GNUPG:] GOODSIG F2D4 Eve%0AGood signature from "
                  "user \"Alice\".%1B[2J\n",
                  0, true, kExitOk, "Eve\\x0AGood signature from user \"Alice\".\\x1B[2J"},
        DecodeRow{"UntrustedKeyWarned",
                  std::string(kGoodSig) + "[GNUPG:] TRUST_UNDEFINED 0 pgp\n", 0, true, kExitOk,
                  "not certified"},
        DecodeRow{"CrlfStatus",
                  "[GNUPG:] PLAINTEXT 74 0 \r\n[GNUPG:] GOODSIG F2D4 Al\r\n", 0, true, kExitOk,
                  "\"Al\"."}),
    [](const testing::TestParamInfo<DecodeRow>& info) { return info.param.name; });

TEST(DecodeStatusBound, CutStatusIsNeverSuccess) {
  const Verdict verdict = JudgeDecode(GpgOutcome{ParseStatus(kGoodSig), 0, false}, true);
  EXPECT_EQ(verdict.exitCode, kExitSignatureBad);
}

TEST(DecodeStatusLines, ForeignLinesAreIgnored) {
  // gpg's human text can name a user id that holds "[GNUPG:] GOODSIG";
  // only whole status lines count.
  const Verdict verdict = JudgeDecode(
      GpgOutcome{ParseStatus("gpg: x [GNUPG:] GOODSIG 1 Al\n[GNUPG:] PLAINTEXT 74 0 \n"), 0, true},
      true);
  EXPECT_EQ(verdict.exitCode, kExitSignatureBad);
}

struct EncryptRow {
  std::string name;
  std::string status;
  int gpgExit;
  bool sign;
  int exitCode;
  std::string linePart;
};

class Encrypt : public testing::TestWithParam<EncryptRow> {};

TEST_P(Encrypt, GivesPgpsVerdict) {
  const EncryptRow& row = GetParam();
  const Verdict verdict =
      JudgeEncrypt(GpgOutcome{ParseStatus(row.status), row.gpgExit, true}, row.sign);
  EXPECT_EQ(verdict.exitCode, row.exitCode) << Joined(verdict);
  EXPECT_NE(Joined(verdict).find(row.linePart), std::string::npos) << Joined(verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Encrypt,
    testing::Values(
        EncryptRow{"Done", "[GNUPG:] BEGIN_ENCRYPTION 2 9\n[GNUPG:] END_ENCRYPTION\n", 0, false,
                   kExitOk, ""},
        EncryptRow{"SignedDone",
                   "[GNUPG:] BEGIN_SIGNING H8\n[GNUPG:] BEGIN_ENCRYPTION 2 9\n"
                   "[GNUPG:] SIG_CREATED S 22 8 00 1 E7\n[GNUPG:] END_ENCRYPTION\n",
                   0, true, kExitOk, ""},
        EncryptRow{"UnknownRecipient", "[GNUPG:] INV_RECP 1 -o x\n[GNUPG:] FAILURE encrypt 9\n", 2,
                   false, kExitNoKey, "user ID '-o x': no key found"},
        EncryptRow{"UntrustedRecipient", "[GNUPG:] INV_RECP 10 carol\n", 2, false, kExitNoKey,
                   "not certified"},
        EncryptRow{"NoRecipient", "[GNUPG:] NO_RECP 0\n", 2, false, kExitNoKey, "any recipient"},
        EncryptRow{"RecipientBeatsSigner", "[GNUPG:] INV_SGNR 9 x\n[GNUPG:] INV_RECP 1 y\n", 2, true,
                   kExitNoKey, "'y'"},
        EncryptRow{"BadPassphraseWhileSigning",
                   "[GNUPG:] BEGIN_SIGNING H8\n[GNUPG:] FAILURE sign 67108875\n", 2, true,
                   kExitSignError, "Bad pass phrase"},
        EncryptRow{"NoSigningKey", "[GNUPG:] INV_SGNR 9 alice\n[GNUPG:] FAILURE sign 17\n", 2, true,
                   kExitSignError, "no secret key"},
        // Encrypted but gpg never said it signed: not a signed message.
        EncryptRow{"SignatureMissing", "[GNUPG:] BEGIN_ENCRYPTION 2 9\n[GNUPG:] END_ENCRYPTION\n", 0,
                   true, kExitSignError, "Signing failed"},
        EncryptRow{"WriteFailed", "[GNUPG:] BEGIN_ENCRYPTION 2 9\n", 2, false, kExitEncryptError,
                   "exit code 2"},
        EncryptRow{"EndWithoutExitZero", "[GNUPG:] END_ENCRYPTION\n", 2, false, kExitEncryptError,
                   ""}),
    [](const testing::TestParamInfo<EncryptRow>& info) { return info.param.name; });

struct SimpleRow {
  std::string name;
  std::string status;
  int gpgExit;
  int exitCode;
  std::string linePart;
};

class Sign : public testing::TestWithParam<SimpleRow> {};

TEST_P(Sign, GivesPgpsVerdict) {
  const SimpleRow& row = GetParam();
  const Verdict verdict = JudgeSign(GpgOutcome{ParseStatus(row.status), row.gpgExit, true});
  EXPECT_EQ(verdict.exitCode, row.exitCode) << Joined(verdict);
  EXPECT_NE(Joined(verdict).find(row.linePart), std::string::npos) << Joined(verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Sign,
    testing::Values(
        SimpleRow{"Done", "[GNUPG:] BEGIN_SIGNING H8\n[GNUPG:] SIG_CREATED C 22 8 01 1 E7\n", 0,
                  kExitOk, ""},
        SimpleRow{"BadPassphrase", "[GNUPG:] BEGIN_SIGNING H8\n[GNUPG:] FAILURE sign 67108875\n", 2,
                  kExitSignError, "Bad pass phrase"},
        SimpleRow{"NoPassphrase", "[GNUPG:] FAILURE sign 67108881\n[GNUPG:] MISSING_PASSPHRASE\n",
                  2, kExitSignError, "No pass phrase"},
        SimpleRow{"NoSecretKey", "[GNUPG:] NO_SGNR 0\n", 2, kExitSignError, "No secret key"},
        SimpleRow{"CreatedButFailed", "[GNUPG:] SIG_CREATED C 22 8 01 1 E7\n", 2, kExitSignError,
                  "exit code 2"},
        SimpleRow{"Silent", "", 0, kExitSignError, "Signing failed"}),
    [](const testing::TestParamInfo<SimpleRow>& info) { return info.param.name; });

class Import : public testing::TestWithParam<SimpleRow> {};

TEST_P(Import, GivesPgpsVerdict) {
  const SimpleRow& row = GetParam();
  const Verdict verdict = JudgeImport(GpgOutcome{ParseStatus(row.status), row.gpgExit, true});
  EXPECT_EQ(verdict.exitCode, row.exitCode) << Joined(verdict);
  EXPECT_NE(Joined(verdict).find(row.linePart), std::string::npos) << Joined(verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Import,
    testing::Values(
        SimpleRow{"NewKey",
                  "[GNUPG:] IMPORTED F2D4 Alice <alice@example.org>\n[GNUPG:] IMPORT_OK 1 E7EC\n"
                  "[GNUPG:] IMPORT_RES 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0\n",
                  0, kExitOk, "Key added: \"Alice <alice@example.org>\""},
        SimpleRow{"Unchanged", "[GNUPG:] IMPORT_OK 0 E7EC\n[GNUPG:] IMPORT_RES 1 0 0 0 1 0 0 0 0 0 0 0 0 0 0\n",
                  0, kExitOk, "unchanged: 1"},
        SimpleRow{"NothingThere", "[GNUPG:] NODATA 1\n[GNUPG:] IMPORT_RES 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n",
                  2, kExitKeyAddError, "No keys found"},
        SimpleRow{"NoResult", "", 2, kExitKeyAddError, "No keys found"},
        SimpleRow{"SomeRefused", "[GNUPG:] IMPORT_RES 2 0 1 0 0 0 0 0 0 0 0 0 0 1 0\n", 2,
                  kExitKeyAddError, "1 of 2 keys could not be added"},
        SimpleRow{"GpgFailed", "[GNUPG:] IMPORT_RES 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0\n", 2,
                  kExitKeyAddError, "exit code 2"}),
    [](const testing::TestParamInfo<SimpleRow>& info) { return info.param.name; });

TEST(ParseStatusLines, SplitsKeywordArgumentsAndRest) {
  const auto lines = ParseStatus("noise\n[GNUPG:] GOODSIG  ABCD Al Ice\n[GNUPG:] END_ENCRYPTION");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].keyword, "GOODSIG");
  EXPECT_EQ(lines[0].rest, " ABCD Al Ice");
  EXPECT_EQ(lines[0].args, (std::vector<std::string>{"ABCD", "Al", "Ice"}));
  EXPECT_EQ(lines[1].keyword, "END_ENCRYPTION");
  EXPECT_TRUE(lines[1].args.empty());
}

}  // namespace
}  // namespace pgp2gpg
