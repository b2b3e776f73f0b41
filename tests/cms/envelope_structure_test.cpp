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

TEST(EnvelopeStructure, IsDerEnvelopedDataVersionZeroWithRecipientsInDerOrder) {
    Certificate alice = FixtureCertificate("alice.pem");
    Certificate bob = FixtureCertificate("bob.pem");
    Certificate carol = FixtureCertificate("carol.pem");
    Certificate jack = FixtureCertificate("jack.pem");
    // RSA-4096, -3072, -2048, -2048: the reverse of the order DER gives the set, since the
    // larger keys make longer entries, and two entries alike but for the serial.
    auto message = testing::Seal(ContentAlgorithm::Aes256Cbc, {&jack, &carol, &bob, &alice},
                                 testing::RandomBytes(33));
    ASSERT_TRUE(message);
    auto facts = Inspect(*message);
    EXPECT_EQ(facts["outer"], "1.2.840.113549.1.7.3");
    EXPECT_EQ(facts["version"], "v0");
    EXPECT_EQ(facts["originator"], "absent");
    EXPECT_EQ(facts["recipient_versions"], "v0,v0,v0,v0");
    EXPECT_EQ(facts["recipient_ids"],
              "issuer_and_serial_number,issuer_and_serial_number,"
              "issuer_and_serial_number,issuer_and_serial_number");
    EXPECT_EQ(facts["recipient_serials"], "1001,1002,1003,100B");
    EXPECT_EQ(facts["recipient_order"], "der");
    EXPECT_EQ(facts["key_algorithms"],
              "1.2.840.113549.1.1.1,1.2.840.113549.1.1.1,1.2.840.113549.1.1.1,"
              "1.2.840.113549.1.1.1");
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

TEST(EnvelopeStructure, KeyAgreementGivesOneEntryPerCurveInDerOrderAndMakesVersionTwo) {
    Certificate alice = FixtureCertificate("alice.pem");
    Certificate erin = FixtureCertificate("erin.pem");
    Certificate ella = FixtureCertificate("ella.pem");
    Certificate jack = FixtureCertificate("jack.pem");
    Certificate hana = FixtureCertificate("hana.pem");
    Certificate hedy = FixtureCertificate("hedy.pem");
    Certificate ivan = FixtureCertificate("ivan.pem");
    auto message = testing::Seal(ContentAlgorithm::Aes256Cbc,
                                 {&hedy, &erin, &jack, &ivan, &alice, &hana, &ella},
                                 testing::RandomBytes(1000));
    ASSERT_TRUE(message);
    auto facts = Inspect(*message);
    EXPECT_EQ(facts["version"], "v2");
    EXPECT_EQ(facts["recipient_order"], "der");
    EXPECT_EQ(facts["der"], "yes");
    // Key transport (a SEQUENCE) sorts before key agreement ([1]), and the shorter encoding of
    // a length first: the P-521 entry holds one key, the others two. The recipients of one
    // curve keep their order in their entry.
    EXPECT_EQ(facts["recipient_kinds"], "ktri,ktri,kari,kari,kari");
    EXPECT_EQ(facts["recipient_versions"], "v0,v0,v3,v3,v3");
    EXPECT_EQ(facts["recipient_ids"],
              "issuer_and_serial_number,issuer_and_serial_number,issuer_and_serial_number,"
              "issuer_and_serial_number+issuer_and_serial_number,"
              "issuer_and_serial_number+issuer_and_serial_number");
    EXPECT_EQ(facts["recipient_serials"], "1001,100B,100A,1006+1012,1013+1009");
    // RSA PKCS #1 v1.5, then the X9.63 KDF with SHA-512, -256 and -384 for P-521, P-256, P-384.
    EXPECT_EQ(facts["key_algorithms"],
              "1.2.840.113549.1.1.1,1.2.840.113549.1.1.1,1.3.132.1.11.3,1.3.132.1.11.1,"
              "1.3.132.1.11.2");
    const std::string wrap = "wrap:2.16.840.1.101.3.4.1.45:absent";
    EXPECT_EQ(facts["key_parameters"], "null,null," + wrap + "," + wrap + "," + wrap);
    EXPECT_EQ(facts["originator_algorithms"],
              "originator_key:1.2.840.10045.2.1,originator_key:1.2.840.10045.2.1,"
              "originator_key:1.2.840.10045.2.1");
    EXPECT_EQ(facts["originator_curves"], "P-521,P-256,P-384");
    EXPECT_EQ(facts["ukm_lengths"], "64,64,64");
}

TEST(EnvelopeStructure, EveryMessageMakesFreshEphemeralKeysAndKeyingMaterial) {
    Certificate erin = FixtureCertificate("erin.pem");
    Certificate ella = FixtureCertificate("ella.pem");
    const Bytes content = testing::RandomBytes(100);
    auto first = testing::Seal(ContentAlgorithm::Aes256Cbc, {&erin, &ella}, content);
    auto second = testing::Seal(ContentAlgorithm::Aes256Cbc, {&erin, &ella}, content);
    ASSERT_TRUE(first && second);
    auto firstFacts = Inspect(*first);
    auto secondFacts = Inspect(*second);
    // One ephemeral key for both recipients on the curve, a new one and new keying material in
    // each message.
    EXPECT_EQ(firstFacts["originator_keys"].find(','), std::string::npos);
    EXPECT_EQ(firstFacts["originator_keys"].substr(0, 2), "04");
    EXPECT_NE(firstFacts["originator_keys"], secondFacts["originator_keys"]);
    EXPECT_EQ(firstFacts["ukms"].size(), 128U);
    EXPECT_NE(firstFacts["ukms"], secondFacts["ukms"]);
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
              "1.2.840.113549.1.1.1,1.2.840.113549.1.1.7,1.2.840.113549.1.1.7");
    // Alice's PKCS #1 v1.5 entry sorts first, being the shortest. A key that names
    // no parameters gets SHA-256 throughout (Oscar's); Otto's names SHA-384.
    EXPECT_EQ(facts["key_parameters"],
              "null,oaep:sha256/sha256/nolabel,oaep:sha384/sha384/nolabel");
    EXPECT_EQ(facts["der"], "yes");
}

}  // namespace
}  // namespace mirebolt::platform
