#include "nss/certificate.h"

#include <gtest/gtest.h>

#include "support/commands.h"
#include "support/test_files.h"

namespace mirebolt::platform {
namespace {

using testing::FixtureCertificate;

TEST(Certificate, SameMeansSameIssuerAndSerialWhateverTheFile) {
    Certificate fromDer = FixtureCertificate("alice.der");
    Certificate fromPem = FixtureCertificate("alice.pem");
    Certificate bob = FixtureCertificate("bob.pem");
    EXPECT_TRUE(SameCertificate(fromDer, fromPem));
    EXPECT_FALSE(SameCertificate(fromDer, bob));
    EXPECT_FALSE(SameCertificate(fromDer, Certificate()));
}

TEST(Certificate, DuplicateOutlivesTheOriginal) {
    Certificate original = FixtureCertificate("alice.pem");
    Certificate copy = original.Duplicate();
    original.Reset();
    EXPECT_FALSE(original);
    EXPECT_EQ(SubjectDisplayName(copy), "Alice Archer");

    Certificate moved = std::move(copy);
    EXPECT_FALSE(copy);  // NOLINT(bugprone-use-after-move): moving gives the reference away
    EXPECT_EQ(SubjectDisplayName(moved), "Alice Archer");
}

TEST(Certificate, DisplayNamesFallBackFromCommonNameToUnit) {
    EXPECT_EQ(SubjectDisplayName(FixtureCertificate("alice.pem")), "Alice Archer");
    EXPECT_EQ(IssuerDisplayName(FixtureCertificate("alice.pem")), "Mirebolt Test CA");
    EXPECT_EQ(SubjectDisplayName(FixtureCertificate("olga.pem")), "Only Unit");
    EXPECT_EQ(EmailAddress(FixtureCertificate("alice.pem")), "alice@example.org");
}

TEST(Certificate, NotAfterIsTheUtcCalendarDate) {
    EXPECT_EQ(NotAfterDate(FixtureCertificate("dave.pem")), (CalendarDate{2021, 1, 1}));
}

TEST(Certificate, FingerprintAndSerialMatchOpenssl) {
    Certificate alice = FixtureCertificate("alice.pem");
    auto fingerprint = testing::RunCommand({"openssl", "x509", "-noout", "-fingerprint", "-sha256",
                                            "-in", testing::FixturePath("alice.pem")});
    ASSERT_EQ(fingerprint.exitCode, 0) << fingerprint.output;
    EXPECT_NE(fingerprint.output.find(Sha256Fingerprint(alice)), std::string::npos)
        << fingerprint.output;
    EXPECT_EQ(SerialNumberText(alice), "10:01");
}

TEST(Certificate, KnowsWhichKeysCanReceiveContent) {
    EXPECT_EQ(PublicKeyKind(FixtureCertificate("alice.pem")), KeyKind::Rsa);
    EXPECT_EQ(PublicKeyKind(FixtureCertificate("erin.pem")), KeyKind::Ec);
}

TEST(Certificate, DescribesEveryKindOfKeyWithItsSizeOrCurve) {
    const std::pair<const char*, const char*> kCases[] = {
        {"alice.pem", "RSA 2048"},     {"carol.pem", "RSA 3072"},
        {"jack.pem", "RSA 4096"},      {"erin.pem", "EC P-256"},
        {"hana.pem", "EC P-384"},      {"ivan.pem", "EC P-521"},
        {"dora.pem", "DSA 2048"},      {"edna.pem", "Ed25519"},
        {"petra.pem", "RSA-PSS 2048"}, {"oscar.pem", "RSA-OAEP 2048"},
        {"otto.pem", "RSA-OAEP 2048"},
    };
    for (const auto& [file, description] : kCases) {
        EXPECT_EQ(KeyDescription(FixtureCertificate(file)), description) << file;
    }
}

}  // namespace
}  // namespace mirebolt::platform
