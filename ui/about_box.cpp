#include "ui/about_box.h"

#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "ui/dialog_units.h"
#include "ui/icons.h"
#include "ui/product.h"
#include "ui/resources.h"
#include "ui/translation.h"

namespace mirebolt::ui {

AboutBox::AboutBox(QWidget* owner) : QDialog(owner) {
    EnsureResources();
    setWindowTitle(Texts::tr("About"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const DialogUnits units(font());

    auto* ok = new QPushButton(Texts::tr("OK"), this);
    ok->setGeometry(units.Rect(130, 81, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { done(1); });

    auto* text = new QLabel(QStringLiteral("%1\n\n%2").arg(kProductName, kMakerCredit), this);
    text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    text->setGeometry(units.Rect(25, 57, 78, 32));

    auto* icon = new QLabel(this);
    const QRect iconArea = units.Rect(55, 26, 20, 20);
    // Drawn for the screen's scale: sharp at a scale factor of 2 too.
    icon->setPixmap(ApplicationIcon().pixmap(QSize(48, 48), devicePixelRatioF()));
    icon->setGeometry(QRect(iconArea.topLeft(), QSize(48, 48)));

    auto* frame = new QGroupBox(this);
    frame->setGeometry(units.Rect(7, 7, 115, 88));
    frame->lower();

    setFixedSize(units.X(187), units.Y(102));
    ok->setFocus();
}

}  // namespace mirebolt::ui
