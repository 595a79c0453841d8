#include "core/armor_scanner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

// Every text is copied into a heap block of exactly its size, so that
// AddressSanitizer reports any read past the terminating NUL (or, for the
// length-taking calls, past the last character).
class ExactText {
 public:
  ExactText(const std::string& text, bool withNul)
      : size_(text.size()), data_(new char[text.size() + (withNul ? 1 : 0)]) {
    std::memcpy(data_.get(), text.data(), text.size());
    if (withNul) data_[size_] = '\0';
  }
  const char* get() const { return data_.get(); }
  size_t size() const { return size_; }

 private:
  size_t size_;
  std::unique_ptr<char[]> data_;
};

constexpr int32_t kAny = -1;

struct ScanRow {
  const char* name;
  std::string text;
  WindowKind window;
  ArmorKind kind;
  int32_t blockStart = kAny;
  int32_t blockEnd = kAny;
  bool quoted = false;
};

const std::string kEncrypted = "-----BEGIN PGP MESSAGE-----\nhQEM\n-----END PGP MESSAGE-----";
const std::string kKeyBlock =
    "-----BEGIN PGP PUBLIC KEY BLOCK-----\nmQ\n-----END PGP PUBLIC KEY BLOCK-----";
const std::string kClearSigned =
    "Hi Bob,\n-----BEGIN PGP SIGNED MESSAGE-----\nHash: SHA1\n\nHello\n"
    "-----BEGIN PGP SIGNATURE-----\niQA\n-----END PGP SIGNATURE-----\n";

const ScanRow kScanRows[] = {
    {"Empty", "", MessageWindow, None},
    {"NoArmour", "Dear Bob, -----Original Message----- follows", MessageWindow, None},
    {"BeginWithoutEnd", "-----BEGIN PGP MESSAGE-----\nhQEM\n", MessageWindow, None},
    {"EndBeforeBeginIsNotUsed",
     "-----END PGP MESSAGE-----\n-----BEGIN PGP MESSAGE-----\nhQEM\n", MessageWindow, None},
    {"MessageEndedBySignature",
     "-----BEGIN PGP MESSAGE-----\nx\n-----END PGP SIGNATURE-----", MessageWindow, None},
    {"LowerCase", "-----begin pgp message-----\nx\n-----end pgp message-----", MessageWindow,
     None},
    {"EncryptedAtStart", kEncrypted + "\n", CompositionWindow, Message, 0, 58, false},
    {"QuotedDirectly", ">-----BEGIN PGP MESSAGE-----\n>hQEM\n>-----END PGP MESSAGE-----",
     MessageWindow, Message, 1, 61, true},
    {"QuotedWithBlank", "> " + kEncrypted, MessageWindow, Message, 2, 60, false},
    {"QuotedButIncompleteIsNotQuoted", ">-----BEGIN PGP MESSAGE-----\n", MessageWindow, None, 1,
     kAny, false},
    {"ClearSigned", kClearSigned, CompositionWindow, Signed, 8, 122, false},
    {"ClearSignedEndMeasuredAsSignature",
     "-----BEGIN PGP SIGNED MESSAGE-----\nx\n-----BEGIN PGP SIGNATURE-----\ny\n"
     "-----END PGP SIGNED MESSAGE-----",
     MessageWindow, Signed, 0, 96, false},
    {"DetachedSignatureAlone",
     "-----BEGIN PGP SIGNATURE-----\nx\n-----END PGP SIGNATURE-----", MessageWindow, None},
    {"SignatureThenMessage",
     "-----BEGIN PGP SIGNATURE-----\nsig\n-----END PGP SIGNATURE-----\ntext\n" + kEncrypted +
         "\n",
     MessageWindow, Message, 0, 125, false},
    {"SameUnknownWordInMessageWindow", "-----BEGIN PGP FOO-----\nx\n-----END PGP FOO-----",
     MessageWindow, None, 0, 60, false},
    {"SameUnknownWordInComposition", "-----BEGIN PGP FOO-----\nx\n-----END PGP FOO-----",
     CompositionWindow, None, 0, 60, false},
    {"KeyInMessageWindow", kKeyBlock, MessageWindow, PublicKey, 0, 74, false},
    {"KeyInComposition", kKeyBlock, CompositionWindow, None},
    {"KeyWithoutWindow", kKeyBlock, NoWindow, None},
    {"QuotedKeyInComposition", ">" + kKeyBlock, CompositionWindow, None, 1, 75, false},
    {"SixDashes", "------BEGIN PGP MESSAGE-----\nx\n------END PGP MESSAGE-----", MessageWindow,
     Message, 1, 57, false},
    {"NotAtLineStart", "see-----BEGIN PGP MESSAGE-----x-----END PGP MESSAGE-----", MessageWindow,
     Message, 3, 56, false},
    {"CutInBeginPrefix", "text -----BEGIN PG", MessageWindow, None},
    {"CutInBeginWord", "-----BEGIN PGP MESSA", MessageWindow, None},
    {"CutInEndWord", "-----BEGIN PGP MESSAGE-----\nx\n-----END PGP MESSAGE----", MessageWindow,
     None, 0, 64, false},
    {"CutInSecondBeginWord", "-----BEGIN PGP SIGNED MESSAGE-----\nx\n-----BEGIN PGP SIGNATU",
     MessageWindow, None},
};

class ScanArmorTest : public testing::TestWithParam<ScanRow> {
 protected:
  static void Expect(const ScanRow& row, ArmorKind kind, const ArmorBlock& block) {
    EXPECT_EQ(kind, row.kind);
    if (row.blockStart != kAny) EXPECT_EQ(block.blockStart, row.blockStart);
    if (row.blockEnd != kAny) EXPECT_EQ(block.blockEnd, row.blockEnd);
    EXPECT_EQ(block.quoted, row.quoted);
  }
};

TEST_P(ScanArmorTest, NulTerminated) {
  const ScanRow& row = GetParam();
  ExactText text(row.text, true);
  ArmorBlock block{7, 7, true};
  Expect(row, ScanArmor(text.get(), row.window, block), block);
}

TEST_P(ScanArmorTest, LengthOnlyWithoutNul) {
  const ScanRow& row = GetParam();
  ExactText text(row.text, false);
  ArmorBlock block{7, 7, true};
  Expect(row, ScanArmor(text.get(), text.size(), row.window, block), block);
}

INSTANTIATE_TEST_SUITE_P(Rows, ScanArmorTest, testing::ValuesIn(kScanRows),
                         [](const testing::TestParamInfo<ScanRow>& info) { return info.param.name; });

TEST(ScanArmor, LengthEndsTheTextBeforeItsNul) {
  ArmorBlock block;
  EXPECT_EQ(ScanArmor(kEncrypted.c_str(), kEncrypted.size() - 1, MessageWindow, block), None);
  EXPECT_EQ(ScanArmor(kEncrypted.c_str(), kEncrypted.size(), MessageWindow, block), Message);
  EXPECT_EQ(ScanArmor(nullptr, MessageWindow, block), None);
}

// The search skips ahead by up to the prefix's length; a block placed at every
// offset behind text full of near misses shows that no skip goes too far.
TEST(ScanArmor, FindsTheBlockAtEveryOffset) {
  const std::string filler = "Re: PGP -- see ----Original Message---- P GP- BEGIN PGP x-ray -----";
  for (size_t offset = 0; offset <= filler.size(); ++offset) {
    ExactText text(filler.substr(0, offset) + kEncrypted, false);
    ArmorBlock block;
    ASSERT_EQ(ScanArmor(text.get(), text.size(), CompositionWindow, block), Message) << offset;
    EXPECT_EQ(block.blockStart, static_cast<int32_t>(offset));
    EXPECT_EQ(block.blockEnd, static_cast<int32_t>(offset + kEncrypted.size()));
  }
}

struct WordRow {
  const char* text;
  ArmorKind kind;
};

const WordRow kWordRows[] = {
    {"MESSAGE-----", Message},
    {"MESSAGE-----\nhQEM", Message},
    {"PUBLIC KEY BLOCK-----", PublicKey},
    {"SIGNATURE-----", Signed},
    {"SIGNED MESSAGE-----", Signed},
    {"MESSAGE----", None},
    {"PUBLIC KEY BLOCK----", None},
    {"SIGNED MESSAGE----", None},
    {"SIGNATURE", None},
    {"message-----", None},
    {"PRIVATE KEY BLOCK-----", None},
    {"", None},
};

class ClassifyArmorWordTest : public testing::TestWithParam<WordRow> {};

TEST_P(ClassifyArmorWordTest, BothFormsAgree) {
  const WordRow& row = GetParam();
  ExactText withNul(row.text, true);
  EXPECT_EQ(ClassifyArmorWord(withNul.get()), row.kind);
  ExactText withoutNul(row.text, false);
  EXPECT_EQ(ClassifyArmorWord(withoutNul.get(), withoutNul.size()), row.kind);
}

INSTANTIATE_TEST_SUITE_P(Rows, ClassifyArmorWordTest, testing::ValuesIn(kWordRows));

constexpr size_t kLimit = kMessageTextSize - 1;

std::unique_ptr<char[]> FilledOutput() {
  std::unique_ptr<char[]> output(new char[kLimit + 1]);
  std::memset(output.get(), 'x', kLimit + 1);
  return output;
}

TEST(FindPublicKeyText, LongKeyBlockCopiesExactlyTheLimit) {
  const std::string key = kPublicKeyLine + std::string("\n") + std::string(1000 - 37, 'Q');
  const std::string text = "PGP said:\n" + key;
  ExactText input(text, true);
  auto output = FilledOutput();
  ASSERT_TRUE(FindPublicKeyText(input.get(), output.get(), kLimit));
  EXPECT_EQ(std::string(output.get()), key.substr(0, kLimit));
  EXPECT_EQ(output[kLimit], '\0');
}

TEST(FindPublicKeyText, ShortKeyBlockIsZeroFilledToTheLimit) {
  const std::string key = std::string(kPublicKeyLine) + "\nmQ";
  ExactText input("a key: " + key, true);
  auto output = FilledOutput();
  ASSERT_TRUE(FindPublicKeyText(input.get(), output.get(), kLimit));
  EXPECT_EQ(std::string(output.get()), key);
  for (size_t i = key.size(); i <= kLimit; ++i) ASSERT_EQ(output[i], '\0') << "at " << i;
}

TEST(FindPublicKeyText, MissingOrCutLineLeavesAnEmptyOutput) {
  for (const std::string& text :
       {std::string(), std::string("no key here"), kEncrypted,
        std::string(kPublicKeyLine).substr(0, 35), std::string("-----BEGIN PGP PUBLIC KEY BLOCK")}) {
    ExactText input(text, true);
    auto output = FilledOutput();
    EXPECT_FALSE(FindPublicKeyText(input.get(), output.get(), kLimit)) << text;
    EXPECT_EQ(output[0], '\0') << text;
  }
  auto output = FilledOutput();
  EXPECT_FALSE(FindPublicKeyText(nullptr, output.get(), kLimit));
  EXPECT_EQ(output[0], '\0');
}

TEST(FindPublicKeyText, LengthFormStopsAtLengthAndFindsOverlaps) {
  const std::string text = "-" + kKeyBlock;  // six leading dashes
  ExactText input(text, false);
  auto output = FilledOutput();
  EXPECT_FALSE(FindPublicKeyText(input.get(), 36, output.get(), kLimit));
  EXPECT_EQ(output[0], '\0');
  ASSERT_TRUE(FindPublicKeyText(input.get(), input.size(), output.get(), kLimit));
  EXPECT_EQ(std::string(output.get()), kKeyBlock);
}

}  // namespace
