#include "ui/certificate_caution.h"

#include <QStringList>

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
    QStringList lines;
    for (const platform::CertificateProblem problem : status.problems) {
        lines << ShownText(recipients::ProblemText(problem, certificate));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace mirebolt::ui
