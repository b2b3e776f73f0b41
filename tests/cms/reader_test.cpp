// Opening the messages peers write: every recipient kind and content cipher we read, in every
// form, through the buffer entry and the stream entry alike.
#include <gtest/gtest.h>

#include "cms/envelope_description.h"
#include "cms/gcm_hash.h"
#include "support/reader_helpers.h"

namespace mirebolt::platform {
namespace {

using testing::Bytes;
using testing::OpensslMessage;

struct PeerMessage {
    const char* name;
    std::vector<std::string> options;  // openssl's, ending with the recipients
    const char* store;                 // whose key opens it
};

void PrintTo(const PeerMessage& message, std::ostream* out) {
    *out << message.name;
}

class PeerMessages : public ::testing::TestWithParam<PeerMessage> {};

TEST_P(PeerMessages, OpenWithTheRecipientsKeyThroughBothEntries) {
    const Bytes content = testing::RandomBytes(70'001);
    const Bytes message = OpensslMessage(content, GetParam().options);
    testing::StoreCopy store(GetParam().store);

    Result<Bytes> buffered = testing::Unseal(message, store.store());
    ASSERT_TRUE(buffered) << testing::Describe(buffered.failure());
    EXPECT_EQ(*buffered, content);

    Result<Bytes> streamed = testing::UnsealStream(message, store.store());
    ASSERT_TRUE(streamed) << testing::Describe(streamed.failure());
    EXPECT_EQ(*streamed, content);
}

const std::vector<std::string> kDer{"-outform", "DER"};

std::vector<std::string> Options(std::initializer_list<std::string> options) {
    std::vector<std::string> all = kDer;
    all.insert(all.end(), options);
    return all;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PeerMessages,
    ::testing::Values(
        PeerMessage{"EcP256DefaultKdf", Options({"-aes-256-cbc", "erin.pem"}), "store-erin"},
        PeerMessage{
            "EcP384Sha256Kdf",
            Options({"-aes-128-cbc", "-recip", "hana.pem", "-keyopt", "ecdh_kdf_md:sha256"}),
            "store-hana"},
        PeerMessage{
            "EcP521Sha384Kdf",
            Options({"-aes-192-cbc", "-recip", "ivan.pem", "-keyopt", "ecdh_kdf_md:sha384"}),
            "store-ivan"},
        PeerMessage{"EcByKeyIdentifier", Options({"-aes-256-cbc", "-keyid", "erin.pem"}),
                    "store-erin"},
        PeerMessage{
            "OaepSha1",
            Options({"-aes-256-cbc", "-recip", "alice.pem", "-keyopt", "rsa_padding_mode:oaep"}),
            "store-alice"},
        PeerMessage{"OaepSha256",
                    Options({"-aes-256-cbc", "-recip", "alice.pem", "-keyopt",
                             "rsa_padding_mode:oaep", "-keyopt", "rsa_oaep_md:sha256"}),
                    "store-alice"},
        PeerMessage{
            "OaepSha512Mgf1Sha384",
            Options({"-aes-256-cbc", "-recip", "jack.pem", "-keyopt", "rsa_padding_mode:oaep",
                     "-keyopt", "rsa_oaep_md:sha512", "-keyopt", "rsa_mgf1_md:sha384"}),
            "store-jack"},
        PeerMessage{"RsaByKeyIdentifier", Options({"-aes-256-cbc", "-keyid", "alice.pem"}),
                    "store-alice"},
        PeerMessage{"Aes128Gcm", Options({"-aes-128-gcm", "alice.pem"}), "store-alice"},
        PeerMessage{"Aes192Gcm", Options({"-aes-192-gcm", "alice.pem"}), "store-alice"},
        PeerMessage{"Aes256GcmForEc", Options({"-aes-256-gcm", "erin.pem"}), "store-erin"},
        PeerMessage{"TripleDes", Options({"-des3", "alice.pem"}), "store-alice"},
        PeerMessage{"StreamedBerCbc", Options({"-stream", "-aes-128-cbc", "alice.pem"}),
                    "store-alice"},
        PeerMessage{"StreamedBerGcm", Options({"-stream", "-aes-256-gcm", "erin.pem"}),
                    "store-erin"},
        PeerMessage{"Pem", {"-outform", "PEM", "-aes-256-cbc", "alice.pem"}, "store-alice"},
        PeerMessage{"Smime", {"-aes-256-cbc", "alice.pem"}, "store-alice"},
        PeerMessage{"SmimeStreamedEc", {"-stream", "-aes-256-gcm", "erin.pem"}, "store-erin"}),
    [](const ::testing::TestParamInfo<PeerMessage>& info) { return info.param.name; });

TEST(Reader, AMessageForRsaEcPasswordAndKekOpensForBothKeyHolders) {
    const Bytes content = testing::RandomBytes(20'000);
    const Bytes message = OpensslMessage(
        content,
        Options({"-aes-256-cbc", "-secretkey", "000102030405060708090A0B0C0D0E0F", "-secretkeyid",
                 "0102", "-recip", "alice.pem", "-recip", "erin.pem", "-pwri_password", "secret"}));
    for (const char* holder : {"store-alice", "store-erin"}) {
        testing::StoreCopy store(holder);
        Result<Bytes> opened = testing::Unseal(message, store.store());
        ASSERT_TRUE(opened) << holder << ": " << testing::Describe(opened.failure());
        EXPECT_EQ(*opened, content) << holder;
    }
}

TEST(Reader, AKeyIdentifierMatchesThePublicKeysHashWhenTheCertificateHasNone) {
    const Bytes content = testing::RandomBytes(3000);
    const Bytes byIssuer = OpensslMessage(content, Options({"-aes-256-cbc", "kira.pem"}));
    const Bytes byKeyHash = testing::Rewritten(byIssuer, "keyid", testing::FixturePath("kira.der"));
    ASSERT_NE(byKeyHash, byIssuer);
    testing::StoreCopy kiras("store-kira");
    Result<Bytes> opened = testing::Unseal(byKeyHash, kiras.store());
    ASSERT_TRUE(opened) << testing::Describe(opened.failure());
    EXPECT_EQ(*opened, content);
}

TEST(Reader, AnIssuerNameInIndefiniteLengthsStillNamesTheRecipient) {
    const Bytes content = testing::RandomBytes(3000);
    const Bytes message = testing::Rewritten(
        OpensslMessage(content, Options({"-aes-256-cbc", "alice.pem", "erin.pem"})),
        "indefinite-names");
    for (const char* holder : {"store-alice", "store-erin"}) {
        testing::StoreCopy store(holder);
        Result<Bytes> opened = testing::Unseal(message, store.store());
        ASSERT_TRUE(opened) << holder << ": " << testing::Describe(opened.failure());
        EXPECT_EQ(*opened, content) << holder;
    }
}

TEST(Reader, ContentInChunksOfAnySizeComesOutWhole) {
    const Bytes content = testing::RandomBytes(10'000);
    testing::StoreCopy alices("store-alice");
    for (const char* cipher : {"-aes-256-cbc", "-des3"}) {
        const Bytes message = OpensslMessage(content, Options({cipher, "alice.pem"}));
        for (auto [form, size] :
             {std::pair{"chunks", "1"}, std::pair{"chunks", "7"}, std::pair{"chunks", "4096"},
              std::pair{"empty-chunks-among", "17"}, std::pair{"empty-chunks-among", "100000"}}) {
            const Bytes chunked = testing::Rewritten(message, form, size);
            Result<Bytes> opened = testing::Unseal(chunked, alices.store());
            ASSERT_TRUE(opened) << cipher << " " << form << " " << size << ": "
                                << testing::Describe(opened.failure());
            EXPECT_EQ(*opened, content);
            Result<Bytes> streamed = testing::UnsealStream(chunked, alices.store());
            ASSERT_TRUE(streamed) << testing::Describe(streamed.failure());
            EXPECT_EQ(*streamed, content);
        }
    }
}

TEST(Reader, OurOwnMessagesOpenThroughTheStreamEntry) {
    Certificate alice = testing::FixtureCertificate("alice.pem");
    testing::StoreCopy alices("store-alice");
    for (std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{16}, std::size_t{1 << 21}}) {
        const Bytes content = testing::RandomBytes(size);
        Result<Bytes> message =
            testing::Seal(platform::ContentAlgorithm::Aes256Cbc, {&alice}, content);
        ASSERT_TRUE(message);
        Result<Bytes> streamed = testing::UnsealStream(*message, alices.store());
        ASSERT_TRUE(streamed) << size << ": " << testing::Describe(streamed.failure());
        EXPECT_EQ(*streamed, content);
    }
}

TEST(Reader, TheSinksFailureEndsTheOpening) {
    struct RefusingSink final : ByteSink {
        Status Write(std::span<const std::uint8_t>) override { return Failure{28, "full"}; }
    } sink;
    const Bytes message =
        OpensslMessage(testing::RandomBytes(5000), Options({"-aes-256-cbc", "alice.pem"}));
    testing::StoreCopy alices("store-alice");
    testing::TrickleStream stream(message);
    Result<std::uint64_t> opened = OpenEnvelope(stream, nullptr, alices.store(), nullptr, sink);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.failure().code, 28u);
}

TEST(Reader, GcmHashMatchesTheStandardsExample) {
    // NIST GCM test case 2: H = E(0^128, 0^128), one block of cipher text, no additional data.
    const GcmHash::Block hashKey{0x66, 0xe9, 0x4b, 0xd4, 0xef, 0x8a, 0x2c, 0x3b,
                                 0x88, 0x4c, 0xfa, 0x59, 0xca, 0x34, 0x2b, 0x2e};
    const Bytes cipherText{0x03, 0x88, 0xda, 0xce, 0x60, 0xb6, 0xa3, 0x92,
                           0xf3, 0x28, 0xc2, 0xb9, 0x71, 0xb2, 0xfe, 0x78};
    const GcmHash::Block expected{0xf3, 0x8c, 0xbb, 0x1a, 0xd6, 0x92, 0x23, 0xdc,
                                  0xc3, 0x45, 0x7a, 0xe5, 0xb6, 0xb0, 0xf8, 0x85};
    GcmHash whole(hashKey);
    whole.Update(cipherText);
    EXPECT_EQ(whole.Finish(), expected);
    GcmHash pieces(hashKey);
    pieces.Update(std::span(cipherText).first(5));
    pieces.Update(std::span(cipherText).subspan(5));
    EXPECT_EQ(pieces.Finish(), expected);
}

TEST(Reader, InfoDescribesEveryEntryWithoutDecrypting) {
    // Alice's store holds Bob's certificate but not his key, and nothing of Carol or Erin.
    const Bytes message = OpensslMessage(
        testing::RandomBytes(1000),
        Options({"-stream", "-aes-128-gcm", "-secretkey", "000102030405060708090A0B0C0D0E0F",
                 "-secretkeyid", "0102", "-keyid", "-recip", "bob.pem", "-recip", "erin.pem",
                 "-recip", "carol.pem"}));
    testing::StoreCopy alices("store-alice");
    MemorySource source(message);
    Result<EnvelopeDescription> description = DescribeEnvelope(source, alices.store());
    ASSERT_TRUE(description) << testing::Describe(description.failure());
    EXPECT_EQ(description->form, "BER");
    EXPECT_EQ(description->type, "authenticated enveloped data");
    EXPECT_EQ(description->cipher, "AES-128-GCM");
    EXPECT_EQ(description->encryptedBytes, 1000u);
    // openssl sorts the entries as DER sorts a set.
    ASSERT_EQ(description->recipients.size(), 4u);
    const RecipientDescription& bob = description->recipients[0];
    EXPECT_EQ(bob.kind, "key transport");
    EXPECT_EQ(bob.keyAlgorithm, "RSA (PKCS #1 v1.5)");
    EXPECT_EQ(bob.identifier.rfind("key identifier ", 0), 0u) << bob.identifier;
    EXPECT_EQ(bob.certificateName, "Bob Baker");
    EXPECT_FALSE(bob.own);
    EXPECT_TRUE(description->recipients[1].certificateName.empty());
    const RecipientDescription& erin = description->recipients[2];
    EXPECT_EQ(erin.kind, "key agreement");
    EXPECT_EQ(erin.keyAlgorithm, "ECDH (dhSinglePass-stdDH-sha1kdf-scheme, id-aes128-wrap)");
    EXPECT_TRUE(erin.usable);
    EXPECT_EQ(description->recipients[3].kind, "shared secret key");
    EXPECT_FALSE(description->recipients[3].usable);

    testing::StoreCopy erins("store-erin");
    Result<EnvelopeDescription> forErin = DescribeEnvelope(source, erins.store());
    ASSERT_TRUE(forErin);
    EXPECT_TRUE(forErin->recipients[2].own);
    EXPECT_EQ(forErin->recipients[2].certificateName, "Erin Elliptic");
}

}  // namespace
}  // namespace mirebolt::platform
