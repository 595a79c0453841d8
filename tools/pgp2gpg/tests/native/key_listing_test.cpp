#include "key_listing.h"

#include <gtest/gtest.h>

namespace pgp2gpg {
namespace {

// A listing as gpg 2.2 writes it: a user id with gpg's quoting, a subkey
// with a fingerprint of its own, and a second key whose user id was cut at
// the listing's bound, which must not pass for a shorter user id.
TEST(KeyListing, TakesUserIdsWholeAndKeysByTheirPrimaryFingerprint) {
  const std::vector<ListedKey> keys = ParseKeyListing(
      "tru::1:1796800822:0:3:1:5\n"
      "pub:f:255:22:788D5EFF0EF9AD4B:1796800822:::-:::scSC:::::ed25519:::0:\n"
      "fpr:::::::::86CCC97589C22E39854C582A788D5EFF0EF9AD4B:\n"
      "uid:f::::1796800822::1A58B3EC::Al\\x3aice\\x5c%0A\\x0a <a@example.org>::::::::::0:\n"
      "sub:f:255:18:934CABE511ED0DCC:1796800822::::::e:::::cv25519::\n"
      "fpr:::::::::F939EA0E265C834DA90358BF934CABE511ED0DCC:\n"
      "pub:-:255:22:1FCEE1AD90C92F2A:1796800760:::-:::scSC:::::ed25519:::0:\n"
      "fpr:::::::::E89C2F766CEAB60719305FA11FCEE1AD90C92F2A:\n"
      "uid:f::::1796800760::29B80C24::Alice <alice@example.org> and the rest");
  ASSERT_EQ(keys.size(), 2u);
  ASSERT_EQ(keys[0].userIds.size(), 1u);
  EXPECT_EQ(keys[0].userIds[0].text, "Al:ice\\%0A\n <a@example.org>");
  EXPECT_EQ(keys[0].userIds[0].validity, "f");
  EXPECT_TRUE(keys[1].userIds.empty());
  EXPECT_EQ(FindKey(keys, "86ccc97589c22e39854c582a788d5eff0ef9ad4b"), &keys[0]);
  EXPECT_EQ(FindKey(keys, "F939EA0E265C834DA90358BF934CABE511ED0DCC"), nullptr);
  EXPECT_EQ(FindKey(keys, "E89C2F766CEAB60719305FA11FCEE1AD90C92F2"), nullptr);
}

}  // namespace
}  // namespace pgp2gpg
