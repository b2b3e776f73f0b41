#pragma once

#include <string>
#include <vector>

#include "base/result.h"
#include "nss/certificate.h"
#include "nss/store_import.h"

namespace mirebolt::platform {

struct CertificateImportOutcome {
    bool storeCreated = false;
    std::vector<Certificate> added;
    std::vector<Certificate> alreadyThere;  // the same certificate was in the store before
};

// Adds other people's certificates (read from a certificate file) to the NSS database in
// `storeDirectory`, so that one can encrypt to them by name; creates the store when it is not
// there yet. Each certificate is named as NSS's tools name it; no trust is given to any.
Result<CertificateImportOutcome> ImportCertificates(const std::string& storeDirectory,
                                                    const std::vector<Certificate>& certificates,
                                                    ImportPrompts& prompts);

}  // namespace mirebolt::platform
