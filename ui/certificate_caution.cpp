#include "ui/certificate_caution.h"

#include "recipients/certificate_status_text.h"

namespace mirebolt::ui {

QString CertificateCaution(const platform::CertificateStatus& status,
                           const platform::Certificate& certificate) {
    if (status.fine()) {
        return QString();
    }
    return QString::fromStdString(recipients::ProblemText(status.problems.front(), certificate));
}

QString CautionDetails(const platform::CertificateStatus& status,
                       const platform::Certificate& certificate) {
    if (status.fine()) {
        return QString();
    }
    return QString::fromStdString(recipients::StatusText(status, certificate, "\n"));
}

}  // namespace mirebolt::ui
