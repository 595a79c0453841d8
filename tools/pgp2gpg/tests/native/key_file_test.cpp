#include "key_file.h"

#include <gtest/gtest.h>

namespace pgp2gpg {
namespace {

std::string Base64(const std::string& bytes) {
  static const char* const kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    for (int shift : {18, 12, 6, 0}) out += kAlphabet[(v >> shift) & 63];
  }
  if (i + 1 == bytes.size()) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    out += std::string{kAlphabet[(v >> 18) & 63], kAlphabet[(v >> 12) & 63]} + "==";
  } else if (i + 2 == bytes.size()) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8);
    out += std::string{kAlphabet[(v >> 18) & 63], kAlphabet[(v >> 12) & 63],
                       kAlphabet[(v >> 6) & 63]} + "=";
  }
  // Lines of 16 characters, so blocks span several lines.
  std::string lines;
  for (size_t k = 0; k < out.size(); k += 16) lines += out.substr(k, 16) + "\n";
  return lines;
}

std::string Armor(const std::string& packets, const std::string& label = "PUBLIC KEY BLOCK") {
  return "-----BEGIN PGP " + label + "-----\nVersion: test\n\n" + Base64(packets) + "=abcd\n" +
         "-----END PGP " + label + "-----\n";
}

const std::string kPublicKeyNew = std::string("\xC6\x03\x04\x01\x02", 5);
const std::string kPublicKeyOld = std::string("\x99\x00\x03\x04\x01\x02", 6);
const std::string kUserId = std::string("\xCD\x05") + "Alice";
const std::string kSignature = std::string("\xC2\x02\x04\x00", 4);
const std::string kSubkey = std::string("\xCE\x02\x04\x00", 4);
const std::string kTwoOctetLength = std::string("\xCD\xC0\x00", 3) + std::string(192, 'u');
const std::string kSecretKey = std::string("\xC5\x02\x04\x00", 4);
const std::string kSecretKeyOld = std::string("\x94\x02\x04\x00", 4);
const std::string kCompressed = std::string("\xC8\x02\x01\x00", 4);
const std::string kPartial = std::string("\xC6\xE1\x00\x00", 4);

struct KeyRow {
  std::string name;
  std::string text;
  KeyFileCheck check;
  int keys;
  int tag;
};

class CheckKeys : public testing::TestWithParam<KeyRow> {};

TEST_P(CheckKeys, AdmitsOnlyPublicKeys) {
  const KeyFileReport report = CheckKeyFile(GetParam().text);
  EXPECT_EQ(report.check, GetParam().check);
  EXPECT_EQ(report.keys, GetParam().keys);
  EXPECT_EQ(report.offendingTag, GetParam().tag);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CheckKeys,
    testing::Values(
        KeyRow{"OneKey", Armor(kPublicKeyNew + kUserId + kSignature + kSubkey + kSignature),
               KeyFileCheck::PublicKeysOnly, 1, 0},
        KeyRow{"OldFormatAndLongUid", Armor(kPublicKeyOld + kTwoOctetLength + kSignature),
               KeyFileCheck::PublicKeysOnly, 1, 0},
        KeyRow{"TwoBlocksWithTextAround",
               "Hello\n" + Armor(kPublicKeyNew + kUserId) + "between\n" + Armor(kPublicKeyOld),
               KeyFileCheck::PublicKeysOnly, 2, 0},
        KeyRow{"NoHeaders",
               "-----BEGIN PGP PUBLIC KEY BLOCK-----\n" + Base64(kPublicKeyNew) +
                   "-----END PGP PUBLIC KEY BLOCK-----\n",
               KeyFileCheck::PublicKeysOnly, 1, 0},
        KeyRow{"SecretKey", Armor(kSecretKey + kUserId), KeyFileCheck::OtherPackets, 0, 5},
        KeyRow{"SecretKeyOldFormat", Armor(kPublicKeyNew + kSecretKeyOld), KeyFileCheck::OtherPackets,
               1, 5},
        // A second block under any label is imported by gpg just the same.
        KeyRow{"SecretKeyInSecondBlock",
               Armor(kPublicKeyNew) + Armor(kSecretKey, "PRIVATE KEY BLOCK"),
               KeyFileCheck::OtherPackets, 1, 5},
        KeyRow{"CompressedHidesAnything", Armor(kCompressed), KeyFileCheck::OtherPackets, 0, 8},
        KeyRow{"PartialLength", Armor(kPartial), KeyFileCheck::OtherPackets, 0, 6},
        KeyRow{"LengthPastEnd", Armor(std::string("\xC6\x09\x04", 3)), KeyFileCheck::Damaged, 0, 0},
        KeyRow{"NotAPacket", Armor("\x01\x02"), KeyFileCheck::Damaged, 0, 0},
        KeyRow{"BadRadix64",
               "-----BEGIN PGP PUBLIC KEY BLOCK-----\n\nmQ*\n-----END PGP PUBLIC KEY BLOCK-----\n",
               KeyFileCheck::Damaged, 0, 0},
        KeyRow{"UserIdOnly", Armor(kUserId), KeyFileCheck::NoKeys, 0, 0},
        KeyRow{"NoArmour", "just text\n", KeyFileCheck::NoArmour, 0, 0},
        KeyRow{"ClearSignedTextSkipped",
               "-----BEGIN PGP SIGNED MESSAGE-----\nHash: SHA256\n\nnot *radix* 64\n" +
                   Armor(kSignature, "SIGNATURE") + Armor(kPublicKeyNew),
               KeyFileCheck::PublicKeysOnly, 1, 0}),
    [](const testing::TestParamInfo<KeyRow>& info) { return info.param.name; });

}  // namespace
}  // namespace pgp2gpg
