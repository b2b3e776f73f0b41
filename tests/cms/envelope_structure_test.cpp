#include <gtest/gtest.h>

#include <map>

#include "support/envelope_helpers.h"

namespace mirebolt::platform {
namespace {
using testing::Bytes;
using testing::FixtureCertificate;

std::map<std::string, std::string> Inspect(const Bytes& message) {
    return testing::InspectEnvelope(message);
}

TEST(EnvelopeStructure, IsDerEnvelopedDataVersionZeroWithRecipientsInListOrder) {
    Certificate alice = FixtureCertificate("alice.pem");
    Certificate bob = FixtureCertificate("bob.pem");
    Certificate carol = FixtureCertificate("carol.pem");
    // Carol, Alice, Bob: not the order a DER sorting of the set would give.
    auto message = testing::Seal(ContentAlgorithm::Aes256Cbc, {&carol, &alice, &bob},
                                 testing::RandomBytes(33));
    ASSERT_TRUE(message);
    auto facts = Inspect(*message);
    EXPECT_EQ(facts["outer"], "1.2.840.113549.1.7.3");
    EXPECT_EQ(facts["version"], "v0");
    EXPECT_EQ(facts["originator"], "absent");
    EXPECT_EQ(facts["recipient_versions"], "v0,v0,v0");
    EXPECT_EQ(facts["recipient_ids"],
              "issuer_and_serial_number,issuer_and_serial_number,"
              "issuer_and_serial_number");
    EXPECT_EQ(facts["recipient_serials"], "1003,1001,1002");
    EXPECT_EQ(facts["key_algorithms"],
              "1.2.840.113549.1.1.1,1.2.840.113549.1.1.1,1.2.840.113549.1.1.1");
    EXPECT_EQ(facts["content_type"], "1.2.840.113549.1.7.1");
    EXPECT_EQ(facts["cipher"], "2.16.840.1.101.3.4.1.42");
    EXPECT_EQ(facts["iv_length"], "16");
    EXPECT_EQ(facts["encrypted_length"], "48");
    EXPECT_EQ(facts["der"], "yes");
}

TEST(EnvelopeStructure, TripleDesNamesItsIdentifierAndAnEightByteIv) {
    Certificate alice = FixtureCertificate("alice.pem");
    auto message = testing::Seal(ContentAlgorithm::DesEde3Cbc, {&alice}, testing::RandomBytes(8));
    ASSERT_TRUE(message);
    auto facts = Inspect(*message);
    EXPECT_EQ(facts["cipher"], "1.2.840.113549.3.7");
    EXPECT_EQ(facts["iv_length"], "8");
    EXPECT_EQ(facts["encrypted_length"], "16");
    EXPECT_EQ(facts["der"], "yes");
}

TEST(EnvelopeStructure, LengthsStayMinimalAcrossEveryLengthForm) {
    Certificate alice = FixtureCertificate("alice.pem");
    // Content sizes around the points where a DER length needs another octet.
    for (std::size_t size : {std::size_t{100}, std::size_t{200}, std::size_t{65000},
                             std::size_t{70000}, std::size_t{16777300}}) {
        auto message = testing::Seal(ContentAlgorithm::Aes256Cbc, {&alice}, Bytes(size, 0x5A));
        ASSERT_TRUE(message);
        EXPECT_EQ(Inspect(*message)["der"], "yes") << size;
    }
}

TEST(EnvelopeStructure, KeyAgreementEntriesStandInRowOrderAndMakeVersionTwo) {
    Certificate alice = FixtureCertificate("alice.pem");
    Certificate erin = FixtureCertificate("erin.pem");
    Certificate jack = FixtureCertificate("jack.pem");
    Certificate hana = FixtureCertificate("hana.pem");
    Certificate ivan = FixtureCertificate("ivan.pem");
    auto message = testing::Seal(ContentAlgorithm::Aes256Cbc, {&alice, &erin, &jack, &hana, &ivan},
                                 testing::RandomBytes(1000));
    ASSERT_TRUE(message);
    auto facts = Inspect(*message);
    EXPECT_EQ(facts["version"], "v2");
    EXPECT_EQ(facts["recipient_kinds"], "ktri,kari,ktri,kari,kari");
    EXPECT_EQ(facts["recipient_versions"], "v0,v3,v0,v3,v3");
    EXPECT_EQ(facts["recipient_ids"],
              "issuer_and_serial_number,issuer_and_serial_number,issuer_and_serial_number,"
              "issuer_and_serial_number,issuer_and_serial_number");
    EXPECT_EQ(facts["recipient_serials"], "1001,1006,100B,1009,100A");
    // RSA PKCS #1 v1.5, then the X9.63 KDF with SHA-256, -384 and -512 for the three curves.
    EXPECT_EQ(facts["key_algorithms"],
              "1.2.840.113549.1.1.1,1.3.132.1.11.1,1.2.840.113549.1.1.1,1.3.132.1.11.2,"
              "1.3.132.1.11.3");
    const std::string wrap = "wrap:2.16.840.1.101.3.4.1.45:absent";
    EXPECT_EQ(facts["key_parameters"], "null," + wrap + ",null," + wrap + "," + wrap);
    EXPECT_EQ(facts["originator_algorithms"],
              "originator_key:1.2.840.10045.2.1,originator_key:1.2.840.10045.2.1,"
              "originator_key:1.2.840.10045.2.1");
    EXPECT_EQ(facts["originator_curves"], "P-256,P-384,P-521");
    EXPECT_EQ(facts["der"], "yes");
}

TEST(EnvelopeStructure, EveryEncryptionMakesFreshEphemeralKeys) {
    Certificate erin = FixtureCertificate("erin.pem");
    const Bytes content = testing::RandomBytes(100);
    std::string first;
    for (int round = 0; round < 2; ++round) {
        auto message = testing::Seal(ContentAlgorithm::Aes256Cbc, {&erin, &erin}, content);
        ASSERT_TRUE(message);
        const std::string keys = Inspect(*message)["originator_keys"];
        const std::size_t comma = keys.find(',');
        ASSERT_NE(comma, std::string::npos) << keys;
        // Two entries for the same key get two ephemeral keys, and so does each message.
        EXPECT_NE(keys.substr(0, comma), keys.substr(comma + 1));
        EXPECT_EQ(keys.substr(0, 2), "04");
        if (round == 0) {
            first = keys;
        } else {
            EXPECT_EQ(first.find(keys.substr(0, comma)), std::string::npos);
        }
    }
}

TEST(EnvelopeStructure, OaepCertificatesGetOaepWithTheirOwnParametersOthersStayOnPkcs1) {
    Certificate alice = FixtureCertificate("alice.pem");
    Certificate oscar = FixtureCertificate("oscar.pem");
    Certificate otto = FixtureCertificate("otto.pem");
    auto message = testing::Seal(ContentAlgorithm::DesEde3Cbc, {&oscar, &alice, &otto},
                                 testing::RandomBytes(10));
    ASSERT_TRUE(message);
    auto facts = Inspect(*message);
    EXPECT_EQ(facts["version"], "v0");
    EXPECT_EQ(facts["recipient_versions"], "v0,v0,v0");
    EXPECT_EQ(facts["key_algorithms"],
              "1.2.840.113549.1.1.7,1.2.840.113549.1.1.1,1.2.840.113549.1.1.7");
    // A key that names no parameters gets SHA-256 throughout; Otto's names SHA-384.
    EXPECT_EQ(facts["key_parameters"],
              "oaep:sha256/sha256/nolabel,null,oaep:sha384/sha384/nolabel");
    EXPECT_EQ(facts["der"], "yes");
}

}  // namespace
}  // namespace mirebolt::platform
