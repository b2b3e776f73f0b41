#pragma once

#include <QDate>
#include <QString>

#include "nss/certificate.h"

namespace mirebolt::ui {

// What a person must know before choosing a certificate as a recipient: "Expired 2025-03-01"
// once its last day has passed, "Signing only" when its key may not be used to encrypt for it.
// Empty when nothing stands against it.
QString CertificateCaution(const platform::Certificate& certificate, QDate today);

}  // namespace mirebolt::ui
