#include "armor_survey.h"

#include <gtest/gtest.h>

namespace pgp2gpg {
namespace {

struct SurveyRow {
  std::string name;
  std::string text;
  BlockKind kind;
  bool complete, before, after, keyBlock;
};

ArmorSurvey SurveyOf(const std::string& text, size_t chunk) {
  ArmorSurvey survey;
  for (size_t i = 0; i < text.size(); i += chunk) survey.Feed(std::string_view(text).substr(i, chunk));
  survey.Finish();
  return survey;
}

class Survey : public testing::TestWithParam<SurveyRow> {};

// Fed whole and one byte at a time: a line split between chunks must be
// seen the same.
TEST_P(Survey, FindsTheBlockAndTheTextAroundIt) {
  const SurveyRow& row = GetParam();
  for (size_t chunk : {row.text.size() + 1, size_t{1}, size_t{7}}) {
    const ArmorSurvey survey = SurveyOf(row.text, chunk);
    EXPECT_EQ(survey.kind(), row.kind) << chunk;
    EXPECT_EQ(survey.complete(), row.complete) << chunk;
    EXPECT_EQ(survey.textBefore(), row.before) << chunk;
    EXPECT_EQ(survey.textAfter(), row.after) << chunk;
    EXPECT_EQ(survey.sawKeyBlock(), row.keyBlock) << chunk;
  }
}

const std::string kMessage = "-----BEGIN PGP MESSAGE-----\n\nhQ==\n-----END PGP MESSAGE-----\n";
const std::string kSigned =
    "-----BEGIN PGP SIGNED MESSAGE-----\r\nHash: SHA256\r\n\r\n- -----END PGP SIGNATURE-----\r\n"
    "text\r\n-----BEGIN PGP SIGNATURE-----\r\n\r\niQ==\r\n-----END PGP SIGNATURE-----\r\n";
const std::string kKey = "-----BEGIN PGP PUBLIC KEY BLOCK-----\n\nmQ==\n-----END PGP PUBLIC KEY BLOCK-----\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, Survey,
    testing::Values(
        SurveyRow{"Message", kMessage, BlockKind::Message, true, false, false, false},
        SurveyRow{"SignedCrlf", kSigned, BlockKind::SignedMessage, true, false, false, false},
        SurveyRow{"BlankLinesAround", "\n \t\r\n" + kMessage + "\r\n\n", BlockKind::Message, true,
                  false, false, false},
        SurveyRow{"TextBefore", "Hi Bob,\n" + kSigned, BlockKind::SignedMessage, true, true, false,
                  false},
        SurveyRow{"TextAfter", kSigned + "P.S. unsigned", BlockKind::SignedMessage, true, false,
                  true, false},
        SurveyRow{"SecondBlock", kSigned + kSigned, BlockKind::SignedMessage, true, false, true,
                  false},
        SurveyRow{"Unterminated", "-----BEGIN PGP MESSAGE-----\n\nhQ==\n", BlockKind::Message, false,
                  false, false, false},
        SurveyRow{"TrailingBlanksOnArmour", "-----BEGIN PGP MESSAGE-----  \n-----END PGP MESSAGE----- \n",
                  BlockKind::Message, true, false, false, false},
        SurveyRow{"IndentedIsNotArmour", " -----BEGIN PGP MESSAGE-----\n", BlockKind::None, false,
                  true, false, false},
        SurveyRow{"KeyOnly", kKey, BlockKind::None, false, true, false, true},
        SurveyRow{"KeyThenMessage", kKey + kMessage, BlockKind::Message, true, true, false, true},
        SurveyRow{"Nothing", "", BlockKind::None, false, false, false, false}),
    [](const testing::TestParamInfo<SurveyRow>& info) { return info.param.name; });

}  // namespace
}  // namespace pgp2gpg
