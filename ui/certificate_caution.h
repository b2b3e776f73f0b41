#pragma once

#include <QString>

#include "nss/certificate.h"
#include "nss/certificate_status.h"

namespace mirebolt::ui {

// What a person must know before encrypting for a certificate, as a row's note: the weightiest
// of its problems ("Expired 2021-01-01", "Signing only", "Not trusted", "Revoked"). Empty when
// nothing stands against it.
QString CertificateCaution(const platform::CertificateStatus& status,
                           const platform::Certificate& certificate);

// Every problem, one to a line, for a tooltip. Empty when nothing stands against it.
QString CautionDetails(const platform::CertificateStatus& status,
                       const platform::Certificate& certificate);

}  // namespace mirebolt::ui
