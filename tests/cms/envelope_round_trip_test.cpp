#include <gtest/gtest.h>

#include "protection/size_limits.h"
#include "support/envelope_helpers.h"
#include "support/scripted_prompt.h"

namespace mirebolt::platform {
namespace {
using testing::Bytes;
using testing::Describe;
using testing::FixtureCertificate;
using testing::Seal;
using testing::Unseal;

class EnvelopeRoundTrip : public ::testing::TestWithParam<ContentAlgorithm> {
  protected:
    Certificate alice_ = FixtureCertificate("alice.pem");
    Certificate bob_ = FixtureCertificate("bob.pem");
    Certificate carol_ = FixtureCertificate("carol.pem");
};

TEST_P(EnvelopeRoundTrip, GivesBackEveryContentLengthExactly) {
    testing::StoreCopy alices("store-alice");
    for (std::size_t size :
         {std::size_t{1}, std::size_t{7}, std::size_t{8}, std::size_t{9}, std::size_t{15},
          std::size_t{16}, std::size_t{17}, std::size_t{1} << 20, (std::size_t{1} << 20) + 3}) {
        const Bytes content = testing::RandomBytes(size);
        auto message = Seal(GetParam(), {&alice_}, content);
        ASSERT_TRUE(message) << Describe(message.failure());
        auto opened = Unseal(*message, alices.store());
        ASSERT_TRUE(opened) << size << ": " << Describe(opened.failure());
        EXPECT_EQ(*opened, content) << size;
    }
}

TEST_P(EnvelopeRoundTrip, EachOfThreeRecipientsOpensItAlone) {
    const Bytes content = testing::RandomBytes(4000);
    auto message = Seal(GetParam(), {&alice_, &bob_, &carol_}, content);
    ASSERT_TRUE(message) << Describe(message.failure());

    for (const char* store : {"store-alice", "store-bob"}) {
        testing::StoreCopy copy(store);
        auto opened = Unseal(*message, copy.store());
        ASSERT_TRUE(opened) << store << ": " << Describe(opened.failure());
        EXPECT_EQ(*opened, content) << store;
    }
    testing::StoreCopy carols("store-carol");
    testing::ScriptedKeyPrompt prompt({"carol-secret"});
    auto opened = Unseal(*message, carols.store(), &prompt);
    ASSERT_TRUE(opened) << Describe(opened.failure());
    EXPECT_EQ(*opened, content);
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(prompt.lastToken, "Personal certificate store");
}

TEST_P(EnvelopeRoundTrip, TwoMessagesOfOneContentDifferAndBothOpen) {
    testing::StoreCopy alices("store-alice");
    const Bytes content = testing::RandomBytes(100);
    auto first = Seal(GetParam(), {&alice_}, content);
    auto second = Seal(GetParam(), {&alice_}, content);
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(*Unseal(*first, alices.store()), content);
    EXPECT_EQ(*Unseal(*second, alices.store()), content);
}

TEST_P(EnvelopeRoundTrip, EachKeyOfAMixedRsaAndEcListOpensItAlone) {
    Certificate erin = FixtureCertificate("erin.pem");
    Certificate ella = FixtureCertificate("ella.pem");
    Certificate jack = FixtureCertificate("jack.pem");
    Certificate hana = FixtureCertificate("hana.pem");
    Certificate hedy = FixtureCertificate("hedy.pem");
    Certificate ivan = FixtureCertificate("ivan.pem");
    const Bytes content = testing::RandomBytes(70'001);
    // Two keys on P-256 and on P-384 share their curve's entry; the P-521 key has one alone.
    auto message = Seal(GetParam(), {&alice_, &erin, &jack, &hana, &ella, &ivan, &hedy}, content);
    ASSERT_TRUE(message) << Describe(message.failure());
    for (const char* store : {"store-alice", "store-erin", "store-ella", "store-jack", "store-hana",
                              "store-hedy", "store-ivan"}) {
        testing::StoreCopy copy(store);
        auto opened = Unseal(*message, copy.store());
        ASSERT_TRUE(opened) << store << ": " << Describe(opened.failure());
        EXPECT_EQ(*opened, content) << store;
    }
}

INSTANTIATE_TEST_SUITE_P(BothCiphers, EnvelopeRoundTrip,
                         ::testing::Values(ContentAlgorithm::Aes256Cbc,
                                           ContentAlgorithm::DesEde3Cbc),
                         [](const auto& info) {
                             return info.param == ContentAlgorithm::Aes256Cbc ? "Aes256"
                                                                              : "TripleDes";
                         });

TEST(EnvelopeLargest, TheLargestFileEncryptionTakesGoesThrough) {
    testing::StoreCopy alices("store-alice");
    Certificate alice = FixtureCertificate("alice.pem");
    Bytes content(protection::EncryptSizeLimit);
    for (std::size_t i = 0; i < content.size(); i += 4093) {
        content[i] = static_cast<std::uint8_t>(i * 31);
    }
    auto message = Seal(ContentAlgorithm::Aes256Cbc, {&alice}, content);
    ASSERT_TRUE(message) << Describe(message.failure());
    EXPECT_LE(message->size(), protection::DecryptSizeLimit)
        << "what Encrypt makes, Decrypt must take";
    auto opened = Unseal(*message, alices.store());
    ASSERT_TRUE(opened) << Describe(opened.failure());
    EXPECT_TRUE(*opened == content);
}

}  // namespace
}  // namespace mirebolt::platform
