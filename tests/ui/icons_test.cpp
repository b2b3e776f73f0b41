// The icons on a screen scaled by 2: the drawn 32 px row image and the SVG sources, never a
// small image blown up.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QStyle>

#include "ui/focus_mark.h"
#include "ui/icons.h"
#include "ui/message_box.h"
#include "ui/resources.h"

namespace mirebolt::testing {
namespace {

QImage Image(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage Resource(const char* name) {
    ui::EnsureResources();
    return QImage(QString::fromLatin1(name)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

TEST(Icons, AtScaleOneTheDrawnImagesAreShownAsDrawn) {
    EXPECT_EQ(Image(ui::RowIcon().pixmap(QSize(16, 16), 1.0)), Resource(":/icons/certificate.png"));
    EXPECT_EQ(Image(ui::ApplicationIcon().pixmap(QSize(48, 48), 1.0)),
              Resource(":/icons/mirebolt-48.png"));
}

TEST(Icons, AtScaleTwoTheRowTakesItsLargerImageAndTheAboutIconItsSource) {
    const QPixmap row = ui::RowIcon().pixmap(QSize(16, 16), 2.0);
    EXPECT_EQ(row.size(), QSize(32, 32));
    EXPECT_EQ(Image(row), Resource(":/icons/certificate-32.png"));

    const QPixmap about = ui::ApplicationIcon().pixmap(QSize(48, 48), 2.0);
    ASSERT_EQ(about.size(), QSize(96, 96)) << "drawn for 96 device pixels";
    const QImage blownUp = Resource(":/icons/mirebolt-48.png")
                               .scaled(96, 96, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_NE(Image(about), blownUp) << "rendered from the SVG source, not the 48 px image";
}

// The command links' arrow and the message boxes' icons, as the widgets show them: drawn for
// twice their size at a scale factor of 2 (the style's own are 16 and 32 px bitmaps). On a
// screen scaled by 2 the pixmap the box shows is checked as well.
TEST(Icons, CommandLinksAndMessageBoxesAreDrawnForTheScreensScale) {
    ui::CommandLink link(QStringLiteral("Encrypt"), nullptr);
    const QSize linkSize = link.iconSize();
    const QPixmap arrow = link.icon().pixmap(linkSize, 2.0);
    EXPECT_EQ(arrow.size(), 2 * linkSize);
    EXPECT_NE(Image(arrow),
              Image(link.icon().pixmap(linkSize, 1.0))
                  .scaled(2 * linkSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation))
        << "the small image blown up";

    for (QMessageBox::Icon kind : {QMessageBox::Information, QMessageBox::Warning,
                                   QMessageBox::Critical, QMessageBox::Question}) {
        ui::MessageBox box(kind, QStringLiteral("Title"), QStringLiteral("Text"), QMessageBox::Ok);
        box.show();
        auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"));
        ASSERT_NE(label, nullptr);
        const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        const QPixmap shown = label->pixmap();
        EXPECT_EQ(shown.size(), QSize(size, size) * box.devicePixelRatio()) << kind;
        EXPECT_EQ(box.icon(), kind) << "the kind a screen reader announces";
        box.hide();
    }
}

}  // namespace
}  // namespace mirebolt::testing
