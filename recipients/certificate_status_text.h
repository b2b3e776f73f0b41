#pragma once

#include <string>

#include "nss/certificate.h"
#include "nss/certificate_status.h"

namespace mirebolt::recipients {

// One problem as the window's rows and the command line name it: "Expired 2021-01-01",
// "Not valid before 2099-01-01", "Signing only", "Revoked", "Not trusted" and so on.
std::string ProblemText(platform::CertificateProblem problem,
                        const platform::Certificate& certificate);

// Every problem, joined with `separator`; "Valid" when there is none.
std::string StatusText(const platform::CertificateStatus& status,
                       const platform::Certificate& certificate, const std::string& separator);

}  // namespace mirebolt::recipients
