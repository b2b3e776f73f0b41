#include "nss/certificate_status.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace mirebolt::platform {
namespace {

using Problems = std::vector<CertificateProblem>;
using testing::FixtureCertificate;

// Alice's store trusts the test CA for e-mail and holds its CRL, which revokes Rita.
TEST(CertificateStatus, EachUnfitCertificateIsRefusedForItsOwnReason) {
    testing::StoreCopy alices("store-alice");
    const struct {
        const char* file;
        Problems problems;
    } kCases[] = {
        {"alice.pem", {}},
        {"erin.pem", {}},  // EC with key agreement
        {"dave.pem", {CertificateProblem::Expired}},
        {"nina.pem", {CertificateProblem::NotYetValid}},
        {"frank.pem", {CertificateProblem::SigningOnly}},
        {"cass.pem", {CertificateProblem::Authority}},
        {"rita.pem", {CertificateProblem::Revoked}},
    };
    for (const auto& each : kCases) {
        const CertificateStatus status = CheckRecipientCertificate(FixtureCertificate(each.file));
        EXPECT_EQ(status.problems, each.problems) << each.file;
        EXPECT_EQ(status.unfit(), !each.problems.empty()) << each.file;
    }
}

TEST(CertificateStatus, APathToNoTrustedRootIsADoubtNotARefusal) {
    testing::StoreCopy bobs("store-bob");  // holds the CA's certificate, but trusts it for nothing
    const CertificateStatus status = CheckRecipientCertificate(FixtureCertificate("alice.pem"));
    EXPECT_EQ(status.problems, Problems{CertificateProblem::NotTrusted});
    EXPECT_FALSE(status.unfit());

    // Without Alice's store, its CRL is gone too: Rita is then only not trusted.
    EXPECT_FALSE(
        CheckRecipientCertificate(FixtureCertificate("rita.pem")).Has(CertificateProblem::Revoked));
}

}  // namespace
}  // namespace mirebolt::platform
