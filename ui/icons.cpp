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

// The theme's icon of that name if it is drawn for at least twice `size` (or scalable); else
// the program's own source. A theme icon that only comes in smaller bitmaps would be blown up.
QIcon ThemedOrOwn(const char* themeName, const char* ownSource, int size) {
    const QString name = QString::fromLatin1(themeName);
    if (QIcon::hasThemeIcon(name)) {
        const QIcon themed = QIcon::fromTheme(name);
        const QSize wanted(2 * size, 2 * size);
        if (themed.actualSize(wanted) == wanted) {
            return themed;
        }
    }
    return IconOf({QString::fromLatin1(ownSource)});
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

QIcon CommandLinkIcon(int size) {
    return ThemedOrOwn("go-next", ":/icons/command-arrow.svg", size);
}

QIcon MessageIcon(QMessageBox::Icon kind, int size) {
    switch (kind) {
        case QMessageBox::Information:
            return ThemedOrOwn("dialog-information", ":/icons/message-information.svg", size);
        case QMessageBox::Warning:
            return ThemedOrOwn("dialog-warning", ":/icons/message-warning.svg", size);
        case QMessageBox::Critical:
            return ThemedOrOwn("dialog-error", ":/icons/message-critical.svg", size);
        case QMessageBox::Question:
            return ThemedOrOwn("dialog-question", ":/icons/message-question.svg", size);
        case QMessageBox::NoIcon:
            break;
    }
    return {};
}

}  // namespace mirebolt::ui
