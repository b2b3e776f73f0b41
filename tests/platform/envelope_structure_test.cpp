#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "support/commands.h"
#include "support/envelope_helpers.h"

namespace mirebolt::platform {
namespace {

using protection::ContentCipher;
using testing::Bytes;
using testing::FixtureCertificate;

// What an independent parser (asn1crypto) reads from the message.
std::map<std::string, std::string> Inspect(const Bytes& message) {
    testing::TempDir dir;
    testing::WriteBytes(dir / "message.p7m", message);
    auto run = testing::RunCommand({"/usr/bin/python3",
                                    std::string(MIREBOLT_TEST_TOOLS) + "/inspect_envelope.py",
                                    dir / "message.p7m"});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    std::map<std::string, std::string> facts;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        if (auto equals = line.find('='); equals != std::string::npos) {
            facts[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return facts;
}

TEST(EnvelopeStructure, IsDerEnvelopedDataVersionZeroWithRecipientsInListOrder) {
    Certificate alice = FixtureCertificate("alice.pem");
    Certificate bob = FixtureCertificate("bob.pem");
    Certificate carol = FixtureCertificate("carol.pem");
    // Carol, Alice, Bob: not the order a DER sorting of the set would give.
    auto message =
        testing::Seal(ContentCipher::Aes256Cbc, {&carol, &alice, &bob}, testing::RandomBytes(33));
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
    auto message = testing::Seal(ContentCipher::TripleDesCbc, {&alice}, testing::RandomBytes(8));
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
        auto message = testing::Seal(ContentCipher::Aes256Cbc, {&alice}, Bytes(size, 0x5A));
        ASSERT_TRUE(message);
        EXPECT_EQ(Inspect(*message)["der"], "yes") << size;
    }
}

}  // namespace
}  // namespace mirebolt::platform
