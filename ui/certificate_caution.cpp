#include "ui/certificate_caution.h"

#include "feedback/date_text.h"

namespace mirebolt::ui {

QString CertificateCaution(const platform::Certificate& certificate, QDate today) {
    const platform::CalendarDate last = platform::NotAfterDate(certificate);
    const QDate lastDay(last.year, last.month, last.day);
    if (lastDay.isValid() && lastDay < today) {
        return QStringLiteral("Expired %1")
            .arg(QString::fromStdString(feedback::IsoDateText(last)));
    }
    if (!platform::KeyUsageAllowsEncryption(certificate)) {
        return QStringLiteral("Signing only");
    }
    return QString();
}

}  // namespace mirebolt::ui
