#include "recipients/certificate_status_text.h"

#include "feedback/date_text.h"

namespace mirebolt::recipients {

std::string ProblemText(platform::CertificateProblem problem,
                        const platform::Certificate& certificate) {
    using platform::CertificateProblem;
    switch (problem) {
        case CertificateProblem::Revoked:
            return "Revoked";
        case CertificateProblem::Expired:
            return "Expired " + feedback::IsoDateText(platform::NotAfterDate(certificate));
        case CertificateProblem::NotYetValid:
            return "Not valid before " +
                   feedback::IsoDateText(platform::NotBeforeDate(certificate));
        case CertificateProblem::SigningOnly:
            return "Signing only";
        case CertificateProblem::Authority:
            return "A certificate authority's certificate";
        case CertificateProblem::NotTrusted:
            return "Not trusted";
        case CertificateProblem::NotForEmail:
            return "Not meant for e-mail";
        case CertificateProblem::RevocationUnknown:
            return "Revocation could not be checked";
    }
    return "Not trusted";
}

std::string StatusText(const platform::CertificateStatus& status,
                       const platform::Certificate& certificate, const std::string& separator) {
    if (status.fine()) {
        return "Valid";
    }
    std::string text;
    for (const platform::CertificateProblem problem : status.problems) {
        text += text.empty() ? "" : separator;
        text += ProblemText(problem, certificate);
    }
    return text;
}

}  // namespace mirebolt::recipients
