#include "ui/certificate_caution.h"

#include "recipients/certificate_status_text.h"
#include "ui/translation.h"

namespace mirebolt::ui {

QString CertificateCaution(const platform::CertificateStatus& status,
                           const platform::Certificate& certificate) {
    if (status.fine()) {
        return QString();
    }
    return ShownText(recipients::ProblemText(status.problems.front(), certificate));
}

QString CautionDetails(const platform::CertificateStatus& status,
                       const platform::Certificate& certificate) {
    if (status.fine()) {
        return QString();
    }
    return ShownText(recipients::StatusText(status, certificate, "\n"));
}

}  // namespace mirebolt::ui
