#include "nss/certificate_file.h"

#include <gtest/gtest.h>
#include <secerr.h>

#include "support/test_files.h"

namespace mirebolt::platform {
namespace {

using testing::FixturePath;

std::vector<std::string> Subjects(const std::vector<Certificate>& certificates) {
    std::vector<std::string> names;
    for (const Certificate& certificate : certificates) {
        names.push_back(SubjectDisplayName(certificate));
    }
    return names;
}

TEST(CertificateFile, YieldsEveryCertificateInFileOrder) {
    const std::vector<std::string> three{"Alice Archer", "Bob Baker", "Carol Cooper"};
    struct Case {
        const char* file;
        std::vector<std::string> subjects;
    };
    const Case cases[] = {
        {"alice.der", {"Alice Archer"}},
        {"alice.pem", {"Alice Archer"}},
        {"three.pem", three},
        {"three.p7b", three},
        {"three-p7.pem", three},
        {"alice-text.pem", {"Alice Archer"}},  // PEM after openssl x509 -text's description
        // DER whose names hold "-----BEGIN ", alone and in a bundle.
        {"dashes.der", {"-----BEGIN CERTIFICATE-----"}},
        {"dashes.p7b", {"-----BEGIN CERTIFICATE-----", "Alice Archer"}},
    };
    for (const Case& c : cases) {
        auto certificates = ReadCertificateFile(FixturePath(c.file));
        ASSERT_TRUE(certificates) << c.file << ": " << certificates.failure().text;
        EXPECT_EQ(Subjects(*certificates), c.subjects) << c.file;
    }
}

TEST(CertificateFile, PassesOverPemBlocksThatAreNotCertificates) {
    testing::TempDir dir;
    testing::Bytes mixed = testing::ReadBytes(FixturePath("bob.key"));
    testing::Bytes alice = testing::ReadBytes(FixturePath("alice.pem"));
    mixed.insert(mixed.end(), alice.begin(), alice.end());
    testing::WriteBytes(dir / "mixed.pem", mixed);

    auto certificates = ReadCertificateFile(dir / "mixed.pem");
    ASSERT_TRUE(certificates);
    EXPECT_EQ(Subjects(*certificates), std::vector<std::string>{"Alice Archer"});
}

TEST(CertificateFile, TakesTheFirstThousandOfAFileAndCountsTheRest) {
    for (const char* file : {"many.pem", "many.p7b"}) {
        std::size_t skipped = 0;
        auto certificates = ReadCertificateFile(FixturePath(file), &skipped);
        ASSERT_TRUE(certificates) << file << ": " << certificates.failure().text;
        ASSERT_EQ(certificates->size(), kMostCertificatesPerFile) << file;
        EXPECT_EQ(SerialNumberText(certificates->back()), "03:E8") << file << ": in file order";
        EXPECT_EQ(skipped, 10'000 - kMostCertificatesPerFile) << file;
    }
}

TEST(CertificateFile, AnEmptyBundleOpensButHoldsNothing) {
    auto certificates = ReadCertificateFile(FixturePath("empty.p7b"));
    ASSERT_TRUE(certificates) << certificates.failure().text;
    EXPECT_TRUE(certificates->empty());
}

TEST(CertificateFile, AFileThatYieldsNothingIsNoCertificateFile) {
    for (const char* file : {"random.der", "empty.cer", "text.pem", "alice.key", "alice.p12"}) {
        auto certificates = ReadCertificateFile(FixturePath(file));
        ASSERT_FALSE(certificates) << file;
        EXPECT_EQ(certificates.failure().code, static_cast<std::uint32_t>(SEC_ERROR_BAD_DER))
            << file;
        EXPECT_FALSE(certificates.failure().text.empty());
    }
}

TEST(CertificateFile, AMissingFileOrAFolderFails) {
    auto missing = ReadCertificateFile(FixturePath("no-such-file.pem"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.failure().code, static_cast<std::uint32_t>(ENOENT));
    EXPECT_FALSE(ReadCertificateFile(FixturePath("store-alice")));
}

TEST(CertificateFile, DamagedPemIsRefusedWithoutHarm) {
    testing::TempDir dir;
    testing::Bytes pem = testing::ReadBytes(FixturePath("alice.pem"));
    for (std::size_t cut : {std::size_t{30}, pem.size() / 2, pem.size() - 30}) {
        testing::Bytes damaged(pem.begin(), pem.begin() + static_cast<std::ptrdiff_t>(cut));
        testing::WriteBytes(dir / "cut.pem", damaged);
        EXPECT_FALSE(ReadCertificateFile(dir / "cut.pem")) << cut;
    }
    testing::Bytes der = testing::ReadBytes(FixturePath("alice.der"));
    der.resize(der.size() - 1);
    EXPECT_FALSE(DecodeCertificates(der));
}

}  // namespace
}  // namespace mirebolt::platform
