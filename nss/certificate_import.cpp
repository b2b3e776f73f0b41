#include "nss/certificate_import.h"

#include <cert.h>
#include <pk11pub.h>

#include "nss/error_text.h"
#include "nss/nss_types.h"

namespace mirebolt::platform {

namespace {

bool InSlot(PK11SlotInfo* slot, CERTCertificate* certificate) {
    const Certificate found =
        Certificate::Adopt(PK11_FindCertFromDERCertItem(slot, &certificate->derCert, nullptr));
    return static_cast<bool>(found);
}

}  // namespace

Result<CertificateImportOutcome> ImportCertificates(const std::string& storeDirectory,
                                                    const std::vector<Certificate>& certificates,
                                                    ImportPrompts& prompts) {
    CertificateImportOutcome outcome;
    Result<OpenedDatabase> store =
        OpenStoreForImport(storeDirectory, prompts, outcome.storeCreated, false);
    if (!store) {
        return store.failure();
    }
    for (const Certificate& certificate : certificates) {
        CERTCertificate* handle = certificate.get();
        if (InSlot(store->get(), handle)) {
            outcome.alreadyThere.push_back(Certificate::Share(handle));
            continue;
        }
        const UniquePortString nickname(CERT_MakeCANickname(handle));
        if (!nickname || PK11_ImportCert(store->get(), handle, CK_INVALID_HANDLE, nickname.get(),
                                         PR_FALSE) != SECSuccess) {
            return NssFailure();
        }
        outcome.added.push_back(Certificate::Share(handle));
    }
    return outcome;
}

}  // namespace mirebolt::platform
