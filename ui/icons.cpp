#include "ui/icons.h"

#include "ui/resources.h"

namespace mirebolt::ui {

QIcon ApplicationIcon() {
    // The source first: it decides the icon's engine, which keeps the drawn 48 px image for
    // that size and renders the source for any other.
    EnsureResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/mirebolt.svg"));
    icon.addFile(QStringLiteral(":/icons/mirebolt-48.png"));
    return icon;
}

QIcon RowIcon() {
    // Both sizes a row asks for are drawn: 16 px, and 32 px at a scale factor of 2.
    EnsureResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/certificate.png"));
    icon.addFile(QStringLiteral(":/icons/certificate-32.png"));
    return icon;
}

}  // namespace mirebolt::ui
