#include "ui/certificate_caution.h"

#include <QStringList>

#include "feedback/date_text.h"

namespace mirebolt::ui {

namespace {

// The key usage a recipient's key needs: key transport for RSA, key agreement for EC. A
// certificate without a key-usage extension allows every use.
bool AllowsEncryption(const platform::Certificate& certificate) {
    const platform::KeyKind kind = platform::PublicKeyKind(certificate);
    if (kind == platform::KeyKind::Dsa) {
        return false;  // a signature algorithm, whatever the extension says
    }
    const QString usage = QString::fromStdString(platform::KeyUsageText(certificate));
    if (usage.isEmpty()) {
        return true;
    }
    const QStringList uses = usage.split(QStringLiteral(", "));
    return uses.contains(kind == platform::KeyKind::Ec ? QStringLiteral("Key Agreement")
                                                       : QStringLiteral("Key Encipherment"));
}

}  // namespace

QString CertificateCaution(const platform::Certificate& certificate, QDate today) {
    const platform::CalendarDate last = platform::NotAfterDate(certificate);
    const QDate lastDay(last.year, last.month, last.day);
    if (lastDay.isValid() && lastDay < today) {
        return QStringLiteral("Expired %1")
            .arg(QString::fromStdString(feedback::IsoDateText(last)));
    }
    if (!AllowsEncryption(certificate)) {
        return QStringLiteral("Signing only");
    }
    return QString();
}

}  // namespace mirebolt::ui
