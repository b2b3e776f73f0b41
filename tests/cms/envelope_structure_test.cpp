#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

#include "support/envelope_helpers.h"

namespace mirebolt::platform {
namespace {
using testing::Bytes;
using testing::FixtureCertificate;

std::map<std::string, std::string> Inspect(const Bytes& message) {
    return testing::InspectEnvelope(message);
}

// A fact's values, one per entry.
std::vector<std::string> PerEntry(const std::string& fact) {
    std::vector<std::string> values;
    std::istringstream stream(fact);
    for (std::string value; std::getline(stream, value, ',');) {
        values.push_back(value);
    }
    return values;
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

TEST(EnvelopeStructure, KeyAgreementGivesEachRecipientAnEntrySharingItsCurvesEphemeralKey) {
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
    // Key transport (a SEQUENCE) sorts before key agreement ([1]), the shorter points first,
    // and the entries of one curve, alike up to the recipient, by serial. Each entry holds one
    // key: some readers unwrap only an entry's first.
    EXPECT_EQ(facts["recipient_kinds"], "ktri,ktri,kari,kari,kari,kari,kari");
    EXPECT_EQ(facts["recipient_versions"], "v0,v0,v3,v3,v3,v3,v3");
    EXPECT_EQ(facts["recipient_ids"].find('+'), std::string::npos);
    EXPECT_EQ(facts["recipient_serials"], "1001,100B,1006,1012,1009,1013,100A");
    // RSA PKCS #1 v1.5, then the X9.63 KDF with SHA-256, -384 and -512 for P-256, P-384, P-521.
    EXPECT_EQ(facts["key_algorithms"],
              "1.2.840.113549.1.1.1,1.2.840.113549.1.1.1,1.3.132.1.11.1,1.3.132.1.11.1,"
              "1.3.132.1.11.2,1.3.132.1.11.2,1.3.132.1.11.3");
    const std::string wrap = "wrap:2.16.840.1.101.3.4.1.45:absent";
    EXPECT_EQ(facts["key_parameters"],
              "null,null," + wrap + "," + wrap + "," + wrap + "," + wrap + "," + wrap);
    const std::string key = "originator_key:1.2.840.10045.2.1";
    EXPECT_EQ(facts["originator_algorithms"], key + "," + key + "," + key + "," + key + "," + key);
    EXPECT_EQ(facts["originator_curves"], "P-256,P-256,P-384,P-384,P-521");
    EXPECT_EQ(facts["ukm_lengths"], "64,64,64,64,64");
    // One ephemeral key and one keying material per curve, a different one on each curve.
    for (const std::string fact : {"originator_keys", "ukms"}) {
        const std::vector<std::string> values = PerEntry(facts[fact]);
        ASSERT_EQ(values.size(), 5U) << fact;
        EXPECT_EQ(values[0], values[1]) << fact;
        EXPECT_EQ(values[2], values[3]) << fact;
        EXPECT_NE(values[0], values[2]) << fact;
        EXPECT_NE(values[2], values[4]) << fact;
        EXPECT_NE(values[0], values[4]) << fact;
    }
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
    // The two entries of a message share one ephemeral key and keying material; the next
    // message has new ones.
    for (const std::string fact : {"originator_keys", "ukms"}) {
        const std::vector<std::string> firstValues = PerEntry(firstFacts[fact]);
        const std::vector<std::string> secondValues = PerEntry(secondFacts[fact]);
        ASSERT_EQ(firstValues.size(), 2U) << fact;
        ASSERT_EQ(secondValues.size(), 2U) << fact;
        EXPECT_EQ(firstValues[0], firstValues[1]) << fact;
        EXPECT_EQ(secondValues[0], secondValues[1]) << fact;
        EXPECT_NE(firstValues[0], secondValues[0]) << fact;
    }
    EXPECT_EQ(PerEntry(firstFacts["originator_keys"])[0].substr(0, 2), "04");
    EXPECT_EQ(PerEntry(firstFacts["ukms"])[0].size(), 128U);
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
