// Feeds arbitrary bytes to the certificate-file decoder, then reads every certificate it gives
// the way the certificate list, `certs` and an encryption's recipient plan read them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "cms/recipient_plan.h"
#include "nss/certificate.h"
#include "nss/certificate_file.h"
#include "nss/cms_algorithms.h"

using namespace mirebolt::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mirebolt::Result<std::vector<Certificate>> certificates = DecodeCertificates({data, size});
    if (!certificates) {
        return 0;
    }
    for (const Certificate& certificate : *certificates) {
        if (!certificate) {
            std::fprintf(stderr, "an empty certificate among %zu\n", certificates->size());
            std::abort();
        }
        const std::size_t text =
            SubjectDisplayName(certificate).size() + IssuerDisplayName(certificate).size() +
            SubjectText(certificate).size() + IssuerText(certificate).size() +
            KeyUsageText(certificate).size() + EmailAddress(certificate).size() +
            SerialNumberText(certificate).size() + KeyDescription(certificate).size();
        if (Sha256Fingerprint(certificate).size() != 32 * 3 - 1) {
            std::fprintf(stderr, "a fingerprint that is no SHA-256 (%zu bytes of text)\n", text);
            std::abort();
        }
        (void)NotBeforeDate(certificate);
        (void)NotAfterDate(certificate);
        (void)KeyUsageAllowsEncryption(certificate);
        for (ContentAlgorithm cipher :
             {ContentAlgorithm::Aes256Cbc, ContentAlgorithm::DesEde3Cbc}) {
            (void)PlanRecipient(certificate, FactsOf(cipher));
        }
    }
    return 0;
}
