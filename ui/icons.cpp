#include "ui/icons.h"

#include <initializer_list>

#include "ui/resources.h"

namespace mirebolt::ui {

namespace {

// An icon of the resource images, in the order given: the first decides the icon's engine.
QIcon IconOf(std::initializer_list<QString> images) {
    EnsureResources();
    QIcon icon;
    for (const QString& image : images) {
        icon.addFile(image);
    }
    return icon;
}

}  // namespace

QIcon ApplicationIcon() {
    // The source first: its engine keeps the drawn 48 px image for that size and renders the
    // source for any other.
    return IconOf(
        {QStringLiteral(":/icons/mirebolt.svg"), QStringLiteral(":/icons/mirebolt-48.png")});
}

QIcon RowIcon() {
    // Both sizes a row asks for are drawn: 16 px, and 32 px at a scale factor of 2.
    return IconOf(
        {QStringLiteral(":/icons/certificate.png"), QStringLiteral(":/icons/certificate-32.png")});
}

}  // namespace mirebolt::ui
