// The icons on a screen scaled by 2: the drawn 32 px row image and the SVG sources, never a
// small image blown up.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "ui/icons.h"
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

}  // namespace
}  // namespace mirebolt::testing
