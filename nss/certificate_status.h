#pragma once

#include <vector>

#include "nss/certificate.h"

namespace mirebolt::platform {

// What stands against encrypting for a certificate, the weightiest first. The first five make a
// certificate unfit; the others are doubts a person may overrule.
enum class CertificateProblem {
    Revoked,            // by a CRL of the store, or by its OCSP responder when that was asked
    Expired,            // its last moment of validity has passed
    NotYetValid,        // its first moment of validity is still to come
    SigningOnly,        // its key usage allows neither key encipherment (RSA) nor agreement (EC)
    Authority,          // a certificate authority's own certificate (basic constraints CA)
    NotTrusted,         // no path to a root the store trusts for e-mail, or a broken one
    NotForEmail,        // its extended key usage leaves out e-mail protection
    RevocationUnknown,  // the revocation check that was asked for could not be made
};

struct CertificateStatus {
    std::vector<CertificateProblem> problems;  // each at most once, the weightiest first

    bool fine() const { return problems.empty(); }
    bool Has(CertificateProblem problem) const;
    // Whether the certificate must not be used without the person's explicit leave.
    bool unfit() const;
};

struct StatusChecks {
    // Asks the OCSP responder the certificate names (its authority information access) as
    // well: a network request, so only when the person asked for it.
    bool onlineRevocation = false;
};

// Checks a certificate for use as an e-mail recipient now: its validity period, key usage and
// basic constraints, then NSS's verification of its path to a trusted root with revocation from
// the CRLs NSS holds. Trust and CRLs are those of the stores open at the time of the call, so the
// personal store must be open for the path to be judged; without one nothing is trusted.
CertificateStatus CheckRecipientCertificate(const Certificate& certificate,
                                            const StatusChecks& checks = {});

}  // namespace mirebolt::platform
