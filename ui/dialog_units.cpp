#include "ui/dialog_units.h"

#include <QFontMetrics>

namespace mirebolt::ui {

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average over the 52 letters, rounded, as the template's platform takes it.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    charWidth_ = (letters / 26 + 1) / 2;
    charHeight_ = metrics.height();
}

}  // namespace mirebolt::ui
