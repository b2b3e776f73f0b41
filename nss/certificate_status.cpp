#include "nss/certificate_status.h"

#include <cert.h>
#include <certdb.h>
#include <ocsp.h>
#include <prerror.h>
#include <secerr.h>

#include <algorithm>
#include <optional>

namespace mirebolt::platform {

bool CertificateStatus::Has(CertificateProblem problem) const {
    return std::find(problems.begin(), problems.end(), problem) != problems.end();
}

bool CertificateStatus::unfit() const {
    return std::any_of(problems.begin(), problems.end(), [](CertificateProblem problem) {
        return problem == CertificateProblem::Revoked || problem == CertificateProblem::Expired ||
               problem == CertificateProblem::NotYetValid ||
               problem == CertificateProblem::SigningOnly ||
               problem == CertificateProblem::Authority;
    });
}

namespace {

// The reasons NSS found against a path, one node for each; every node holds a certificate
// reference of its own.
class VerifyLog {
  public:
    VerifyLog() { log_.arena = PORT_NewArena(DER_DEFAULT_CHUNKSIZE); }
    VerifyLog(const VerifyLog&) = delete;
    VerifyLog& operator=(const VerifyLog&) = delete;
    ~VerifyLog() {
        for (CERTVerifyLogNode* node = log_.head; node != nullptr; node = node->next) {
            CERT_DestroyCertificate(node->cert);
        }
        if (log_.arena != nullptr) {
            PORT_FreeArena(log_.arena, PR_FALSE);
        }
    }
    CERTVerifyLog* get() { return log_.arena != nullptr ? &log_ : nullptr; }
    const CERTVerifyLogNode* head() const { return log_.head; }

  private:
    CERTVerifyLog log_{};
};

// OCSP for the length of one verification: NSS's switch is process-wide.
class OcspForOneCheck {
  public:
    explicit OcspForOneCheck(bool wanted) {
        if (wanted && CERT_EnableOCSPChecking(CERT_GetDefaultCertDB()) == SECSuccess) {
            enabled_ = true;
            // An unreachable or unsure responder is a doubt of its own, not a silent pass.
            CERT_SetOCSPFailureMode(ocspMode_FailureIsVerificationFailure);
            CERT_SetOCSPTimeout(kTimeoutSeconds);
        }
    }
    OcspForOneCheck(const OcspForOneCheck&) = delete;
    OcspForOneCheck& operator=(const OcspForOneCheck&) = delete;
    ~OcspForOneCheck() {
        if (enabled_) {
            CERT_DisableOCSPChecking(CERT_GetDefaultCertDB());
        }
    }

  private:
    static constexpr PRUint32 kTimeoutSeconds = 15;
    bool enabled_ = false;
};

// CERT_FindBasicConstraintExten is not exported: the extension is found and decoded in two steps.
bool IsAuthority(CERTCertificate* certificate) {
    SECItem encoded{};
    if (CERT_FindCertExtension(certificate, SEC_OID_X509_BASIC_CONSTRAINTS, &encoded) !=
        SECSuccess) {
        return false;
    }
    CERTBasicConstraints constraints{};
    const bool decoded = CERT_DecodeBasicConstraintValue(&constraints, &encoded) == SECSuccess;
    SECITEM_FreeItem(&encoded, PR_FALSE);
    return decoded && constraints.isCA != PR_FALSE;
}

bool IsOcspError(int error) {
    switch (error) {
        case SEC_ERROR_OCSP_UNKNOWN_RESPONSE_TYPE:
        case SEC_ERROR_OCSP_BAD_HTTP_RESPONSE:
        case SEC_ERROR_OCSP_MALFORMED_REQUEST:
        case SEC_ERROR_OCSP_SERVER_ERROR:
        case SEC_ERROR_OCSP_TRY_SERVER_LATER:
        case SEC_ERROR_OCSP_REQUEST_NEEDS_SIG:
        case SEC_ERROR_OCSP_UNAUTHORIZED_REQUEST:
        case SEC_ERROR_OCSP_UNKNOWN_RESPONSE_STATUS:
        case SEC_ERROR_OCSP_UNKNOWN_CERT:
        case SEC_ERROR_OCSP_NOT_ENABLED:
        case SEC_ERROR_OCSP_NO_DEFAULT_RESPONDER:
        case SEC_ERROR_OCSP_MALFORMED_RESPONSE:
        case SEC_ERROR_OCSP_UNAUTHORIZED_RESPONSE:
        case SEC_ERROR_OCSP_FUTURE_RESPONSE:
        case SEC_ERROR_OCSP_OLD_RESPONSE:
        case SEC_ERROR_OCSP_INVALID_SIGNING_CERT:
        case SEC_ERROR_OCSP_RESPONDER_CERT_INVALID:
        case SEC_ERROR_OCSP_BAD_SIGNATURE:
        case SEC_ERROR_CRL_EXPIRED:
        case SEC_ERROR_CRL_BAD_SIGNATURE:
        case SEC_ERROR_CRL_INVALID:
        case SEC_ERROR_BAD_HTTP_RESPONSE:
        case SEC_ERROR_BAD_LDAP_RESPONSE:
        case PR_CONNECT_REFUSED_ERROR:
        case PR_IO_TIMEOUT_ERROR:
            return true;
        default:
            return false;
    }
}

// What one of NSS's reasons against the path means here. Validity, key usage and basic
// constraints are judged by our own checks (NSS cannot be asked for key usage alone), so those
// reasons add nothing.
std::optional<CertificateProblem> PathProblem(int error, unsigned depth) {
    if (depth > 0 && error != SEC_ERROR_REVOKED_CERTIFICATE && !IsOcspError(error)) {
        return CertificateProblem::NotTrusted;  // whatever is wrong with an issuer breaks the path
    }
    switch (error) {
        case SEC_ERROR_REVOKED_CERTIFICATE:
        case SEC_ERROR_REVOKED_KEY:
            return CertificateProblem::Revoked;
        case SEC_ERROR_EXPIRED_CERTIFICATE:
        case SEC_ERROR_INADEQUATE_KEY_USAGE:
            return std::nullopt;
        case SEC_ERROR_INADEQUATE_CERT_TYPE:
            return CertificateProblem::NotForEmail;
        default:
            return IsOcspError(error) ? std::optional(CertificateProblem::RevocationUnknown)
                                      : std::optional(CertificateProblem::NotTrusted);
    }
}

void Note(std::vector<CertificateProblem>& problems, CertificateProblem problem) {
    if (std::find(problems.begin(), problems.end(), problem) == problems.end()) {
        problems.push_back(problem);
    }
}

}  // namespace

CertificateStatus CheckRecipientCertificate(const Certificate& certificate,
                                            const StatusChecks& checks) {
    CertificateStatus status;
    if (!certificate) {
        status.problems.push_back(CertificateProblem::NotTrusted);
        return status;
    }
    CERTCertificate* nss = certificate.get();
    const PRTime now = PR_Now();
    std::vector<CertificateProblem> found;
    switch (CERT_CheckCertValidTimes(nss, now, PR_FALSE)) {
        case secCertTimeExpired:
            Note(found, CertificateProblem::Expired);
            break;
        case secCertTimeNotValidYet:
            Note(found, CertificateProblem::NotYetValid);
            break;
        default:
            break;
    }
    if (!KeyUsageAllowsEncryption(certificate)) {
        Note(found, CertificateProblem::SigningOnly);
    }
    if (IsAuthority(nss)) {
        Note(found, CertificateProblem::Authority);
    }

    // NSS caches what it found of an issuer's CRLs, "none" included, and does not look again
    // when a store that holds one opens later in the process: have it look again now.
    CERT_CRLCacheRefreshIssuer(CERT_GetDefaultCertDB(), &nss->derIssuer);
    const OcspForOneCheck ocsp(checks.onlineRevocation);
    VerifyLog log;
    const SECStatus verified =
        CERT_VerifyCertificate(CERT_GetDefaultCertDB(), nss, PR_TRUE,
                               certificateUsageEmailRecipient, now, nullptr, log.get(), nullptr);
    bool explained = false;
    for (const CERTVerifyLogNode* node = log.head(); node != nullptr; node = node->next) {
        explained = true;
        if (const std::optional<CertificateProblem> problem =
                PathProblem(static_cast<int>(node->error), node->depth)) {
            Note(found, *problem);
        }
    }
    if (verified != SECSuccess && !explained) {
        const std::optional<CertificateProblem> problem = PathProblem(PORT_GetError(), 0);
        Note(found, problem.value_or(CertificateProblem::NotTrusted));
    }

    // The weightiest first, in the order the problems are declared.
    std::sort(found.begin(), found.end());
    status.problems = std::move(found);
    return status;
}

}  // namespace mirebolt::platform
