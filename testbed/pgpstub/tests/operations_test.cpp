// The operations against an in-memory host: the key list, when a pass
// phrase is asked for (an unneeded question would hang an unattended run),
// and what the key list looks like after keys were added.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "keyring.h"
#include "operations.h"
#include "payloads.h"

namespace pgpstub {
namespace {

struct KeyringRow {
  std::string line;
  bool parsed;
  bool secret;
  std::string userId;
  std::string passPhrase;
};

class KeyringLines : public ::testing::TestWithParam<KeyringRow> {};

TEST_P(KeyringLines, Parse) {
  const std::vector<Key> keys = ParseKeyring(GetParam().line);
  ASSERT_EQ(keys.size(), GetParam().parsed ? 1u : 0u);
  if (!GetParam().parsed) return;
  EXPECT_EQ(keys[0].secret, GetParam().secret);
  EXPECT_EQ(keys[0].userId, GetParam().userId);
  EXPECT_EQ(keys[0].passPhrase, GetParam().passPhrase);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, KeyringLines,
    ::testing::Values(
        KeyringRow{"pub John Smith <js@x.org>\r\n", true, false, "John Smith <js@x.org>", ""},
        KeyringRow{"sec John Smith <js@x.org>  secret  \r\n", true, true, "John Smith <js@x.org>", "secret"},
        KeyringRow{"  pub Alice", true, false, "Alice", ""},
        KeyringRow{"sec Alice", false, false, "", ""},  // no pass phrase
        KeyringRow{"pub ", false, false, "", ""}, KeyringRow{"# pub Alice", false, false, "", ""},
        KeyringRow{"public Alice", false, false, "", ""}, KeyringRow{"PUB Alice", false, false, "", ""},
        KeyringRow{"pub \xE4rger", true, false, "\xE4rger", ""}));

TEST(Keyring, SelectsKeysAsPgpDoes) {
  const std::vector<Key> keys = ParseKeyring(
      "sec Alice Example <alice@x.org> pw\npub Alice Example <alice@x.org>\n"
      "pub John Smith <js@x.org>\npub Johnny <j@y.org>\nsec Johnny <j@y.org> pw2\n");
  ASSERT_NE(FindPublicKey(keys, "JOHN"), nullptr);
  EXPECT_EQ(FindPublicKey(keys, "JOHN")->userId, "John Smith <js@x.org>");  // first match
  EXPECT_EQ(FindPublicKey(keys, "johnny")->userId, "Johnny <j@y.org>");
  EXPECT_EQ(FindPublicKey(keys, "alice")->secret, false);
  EXPECT_EQ(FindPublicKey(keys, "bob"), nullptr);
  EXPECT_EQ(FindPublicKey(keys, ""), nullptr);
  EXPECT_EQ(FirstSecretKey(keys)->userId, "Alice Example <alice@x.org>");
  EXPECT_EQ(SecretKeysOf(keys, "johnny <J@Y.ORG>").size(), 1u);
  EXPECT_EQ(SecretKeysOf(keys, "Johnny").size(), 0u);  // a message names the whole id
}

class MemoryHost final : public Host {
 public:
  std::map<std::string, std::string> files;
  std::optional<std::string> phrase;
  int phraseQuestions = 0;
  bool failWipe = false;
  std::string said, complained;

  ReadStatus ReadWholeFile(const std::string& path, std::string& bytes) override {
    const auto found = files.find(path);
    if (found == files.end()) return ReadStatus::NotFound;
    bytes = found->second;
    return ReadStatus::Ok;
  }
  bool WriteWholeFile(const std::string& path, std::string_view bytes) override {
    if (path.find("readonly") != std::string::npos) return false;
    files[path] = std::string(bytes);
    return true;
  }
  bool AppendToFile(const std::string& path, std::string_view bytes) override {
    files[path] += std::string(bytes);
    return true;
  }
  bool WipeFile(const std::string& path) override { return !failWipe && files.erase(path) == 1; }
  std::optional<std::string> PassPhrase() override {
    ++phraseQuestions;
    return phrase;
  }
  void Say(std::string_view line) override { said.append(line).append("\n"); }
  void Complain(std::string_view line) override { complained.append(line).append("\n"); }
};

constexpr char kKeyring[] = "keyring.txt";

class Operations : public ::testing::Test {
 protected:
  void SetUp() override {
    host.files[kKeyring] =
        "pub Alice <a@x.org>\r\nsec Alice <a@x.org> apw\r\npub Bob <b@x.org>\r\n";
    host.files["plain"] = "text\r\n";
  }
  uint32_t Run(const std::string& commandLine) {
    return RunInvocation(ParseInvocation("pgp " + commandLine), kKeyring, host);
  }
  MemoryHost host;
};

TEST_F(Operations, EncryptionAloneNeverAsksForAPassPhrase) {
  EXPECT_EQ(Run("-aetw plain alice bob"), kExitOk);
  EXPECT_EQ(host.phraseQuestions, 0);
  EXPECT_EQ(host.files.count("plain"), 0u);
  EXPECT_EQ(host.files.count("plain.asc"), 1u);
}

TEST_F(Operations, AnUnknownRecipientFailsBeforeThePassPhraseIsAsked) {
  EXPECT_EQ(Run("-aestw plain alice carol"), kExitNoKey);
  EXPECT_EQ(host.phraseQuestions, 0);
  EXPECT_EQ(host.files.count("plain"), 1u);  // nothing wiped after a failure
  EXPECT_EQ(host.files.count("plain.asc"), 0u);
}

TEST_F(Operations, DecodingWithoutASecretKeyFailsWithoutAsking) {
  ASSERT_EQ(Run("-aetw plain bob"), kExitOk);
  EXPECT_EQ(Run("plain.asc"), kExitDecryptFailed);
  EXPECT_EQ(host.phraseQuestions, 0);
  EXPECT_EQ(host.files.count("plain"), 0u);
}

TEST_F(Operations, SignedOnlyMessagesDecodeWithoutAPassPhrase) {
  host.phrase = "apw";
  ASSERT_EQ(Run("-as plain"), kExitOk);
  EXPECT_EQ(host.phraseQuestions, 1);
  host.files.erase("plain");
  EXPECT_EQ(Run("plain.asc"), kExitOk);
  EXPECT_EQ(host.phraseQuestions, 1);
  EXPECT_EQ(host.files["plain"], "text\r\n");
  EXPECT_NE(host.said.find("Good signature from user \"Alice <a@x.org>\"."), std::string::npos);
}

TEST_F(Operations, FailedWipeKeepsTheGoodResult) {
  host.failWipe = true;
  EXPECT_EQ(Run("-aetw plain bob"), kExitOk);
  EXPECT_EQ(host.files.count("plain.asc"), 1u);
  EXPECT_NE(host.complained.find("Could not wipe"), std::string::npos);
}

TEST_F(Operations, UnwritableOutputIsAFileError) {
  host.files["readonly"] = "x";
  EXPECT_EQ(Run("-aetw readonly bob"), kExitFileError);
  EXPECT_EQ(host.files.count("readonly"), 1u);
}

TEST_F(Operations, AddingKeysAppendsOnlyNewOnesOnTheirOwnLines) {
  host.files[kKeyring] = "pub Alice <a@x.org>";  // no final line end
  host.files["keys.asc"] = MakeKeyBlock({"Alice <a@x.org>", "Carol <c@x.org>", "Carol <c@x.org>"});
  EXPECT_EQ(Run("-ka keys.asc"), kExitOk);
  const std::string added =
      "pub Alice <a@x.org>\r\npub Carol <c@x.org>\r\nunverified Carol <c@x.org>\r\n";
  EXPECT_EQ(host.files[kKeyring], added);
  EXPECT_EQ(Run("-ka keys.asc"), kExitOk);  // nothing new: no change, still success
  EXPECT_EQ(host.files[kKeyring], added);
}

TEST_F(Operations, AddingKeysToAMissingKeyListCreatesIt) {
  host.files.erase(kKeyring);
  host.files["keys.asc"] = MakeKeyBlock({"Carol <c@x.org>"});
  EXPECT_EQ(Run("-ka keys.asc"), kExitOk);
  EXPECT_EQ(host.files[kKeyring], "pub Carol <c@x.org>\r\nunverified Carol <c@x.org>\r\n");
}

TEST_F(Operations, ExtractedKeysAreTheFullIdsOfTheMatches) {
  EXPECT_EQ(Run("-kx BOB alice keys"), kExitOk);
  EXPECT_EQ(ParseKeyBlock(host.files["keys.asc"]),
            (std::vector<std::string>{"Bob <b@x.org>", "Alice <a@x.org>"}));
  EXPECT_EQ(Run("-kx carol keys2"), kExitNoKey);
  EXPECT_EQ(host.files.count("keys2.asc"), 0u);
}

TEST_F(Operations, BadArgumentsTouchNothing) {
  EXPECT_EQ(Run("-aetwz plain bob"), kExitBadArguments);
  EXPECT_EQ(host.files.size(), 2u);
  EXPECT_NE(host.complained.find("pgp -h"), std::string::npos);
}

// What the verdict file will say: encryption, the signature and how far its
// signer is vouched for, the keys a -ka added (all of a block's keys).
TEST_F(Operations, TheVerdictSaysWhatWasFound) {
  host.phrase = "apw";
  host.files[kKeyring] += "pub Carol <c@x.org>\r\nunverified Carol <c@x.org>\r\n";
  const struct {
    const char* make;
    std::string status;
    bool encrypted;
    bool signedMessage;
    std::string validity;
  } rows[] = {
      {"-aestw plain alice", "good", true, true, "full"},
      {"-aetw plain alice", "none", true, false, ""},
      {"-a plain", "none", false, false, ""},  // literal data only
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.make);
    host.files["plain"] = "text\r\n";
    ASSERT_EQ(Run(row.make), kExitOk);
    VerdictFile verdict;
    ASSERT_EQ(RunInvocation(ParseInvocation("pgp plain.asc"), kKeyring, host, &verdict), kExitOk);
    EXPECT_EQ(verdict.status, row.status);
    EXPECT_EQ(verdict.encrypted, row.encrypted);
    EXPECT_EQ(verdict.signedMessage, row.signedMessage);
    EXPECT_EQ(verdict.validity, row.validity);
    EXPECT_EQ(verdict.signer, row.signedMessage ? "Alice <a@x.org>" : "");
  }
  host.files["signed.asc"] = ClearSign("Hi\r\n", "Alice <A@X.org>");
  host.files[kKeyring] += "pub Alice <A@X.org>\r\n";
  VerdictFile alice;
  RunInvocation(ParseInvocation("pgp signed.asc"), kKeyring, host, &alice);
  EXPECT_EQ(alice.signer, "Alice <A@X.org>");
  EXPECT_EQ(alice.signerAddresses, (std::vector<std::string>{"a@x.org"}));
  EXPECT_EQ(alice.fingerprint, Fingerprint("Alice <A@X.org>"));
  host.files["signed.asc"] = ClearSign("Hi\r\n", "Carol <c@x.org>");
  VerdictFile carol;
  RunInvocation(ParseInvocation("pgp signed.asc"), kKeyring, host, &carol);
  EXPECT_EQ(carol.status, "good");
  EXPECT_EQ(carol.validity, "undefined") << "added with -ka, never certified";
  EXPECT_EQ(carol.signer, "") << "an unverified key names nobody as the signer";
  EXPECT_EQ(carol.keyName, "Carol <c@x.org>");
  EXPECT_TRUE(carol.signerAddresses.empty());
  host.files["signed.asc"] = ClearSign("Hi\r\n", "Mallory <m@x.org>");
  VerdictFile stranger;
  EXPECT_EQ(RunInvocation(ParseInvocation("pgp signed.asc"), kKeyring, host, &stranger), kExitOk);
  EXPECT_EQ(stranger.status, "unknown-key");
  EXPECT_EQ(stranger.signer + stranger.keyName + stranger.validity, "") << "the record's name is no proof";
  EXPECT_EQ(stranger.fingerprint, KeyId("Mallory <m@x.org>"));
  EXPECT_EQ(stranger.fingerprint.size(), 16u);

  host.files["keys.asc"] = MakeKeyBlock({"Harmless <h@x.org>", "Bob <bob@example.com>"});
  VerdictFile keys;
  ASSERT_EQ(RunInvocation(ParseInvocation("pgp -ka keys.asc"), kKeyring, host, &keys), kExitOk);
  ASSERT_EQ(keys.keysAdded.size(), 2u) << "the hidden second key is named too";
  EXPECT_EQ(keys.keysAdded[1].second, "Bob <bob@example.com>");
  EXPECT_EQ(keys.keysAdded[1].first, Fingerprint("Bob <bob@example.com>"));
}

// Mail encrypted to the user and signed by someone whose key the user lacks
// is still the user's mail: it is decrypted, and the signer stays unchecked.
TEST_F(Operations, AMessageSignedByAnUnknownKeyIsDecrypted) {
  host.phrase = "apw";
  Message message;
  message.recipients = {"Alice <a@x.org>"};
  message.signer = "Stranger <s@elsewhere.org>";
  message.data = "Gr\xC3\xBC\xC3\x9F" "e\r\n";
  host.files["m.asc"] = MakeMessageArmor(message);
  VerdictFile verdict;
  ASSERT_EQ(RunInvocation(ParseInvocation("pgp m.asc"), kKeyring, host, &verdict), kExitOk) << host.complained;
  EXPECT_EQ(host.files["m"], message.data);
  EXPECT_EQ(FormatVerdictFile(verdict),
            "status=unknown-key\r\nencrypted=yes\r\nsigned=yes\r\nfingerprint=" +
                KeyId("Stranger <s@elsewhere.org>") + "\r\n");
  EXPECT_EQ(host.said.find("Good signature"), std::string::npos) << host.said;
  EXPECT_NE(host.said.find("can't check signature integrity"), std::string::npos);
}

}  // namespace
}  // namespace pgpstub
