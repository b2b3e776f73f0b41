// The window keeps the template's proportions: every control where the template puts it,
// measured in the dialog font's units.
#include <QTest>

#include "ui/column_widths.h"
#include "ui/dialog_units.h"
#include "ui/window_fixture.h"

namespace mirebolt::testing {
namespace {

class Layout : public WindowTest {};

TEST_F(Layout, ControlsStandWhereTheTemplatePutsThem) {
    const ui::DialogUnits units(dialog_->font());
    EXPECT_EQ(dialog_->size(), QSize(units.X(351), units.Y(219)));
    struct Place {
        const char* name;
        int x, y, width, height;
    };
    const Place places[] = {
        {"pathBox", 34, 7, 250, 14},         {"browseButton", 290, 7, 50, 14},
        {"addButton", 326, 96, 14, 14},      {"removeButton", 326, 115, 14, 14},
        {"siteLink", 283, 207, 67, 11},      {"encryptButton", 76, 176, 90, 25},
        {"decryptButton", 190, 176, 90, 25}, {"recipientView", 15, 54, 308, 114},
        {"legacyCipher", 34, 26, 301, 10},
    };
    for (const Place& place : places) {
        auto* widget = Control<QWidget>(place.name);
        EXPECT_EQ(widget->geometry(), units.Rect(place.x, place.y, place.width, place.height))
            << place.name;
        // The proportions of the whole, whatever the font: within a pixel of the template's.
        const double across = static_cast<double>(widget->x()) / dialog_->width();
        EXPECT_NEAR(across, place.x / 351.0, 1.5 / dialog_->width()) << place.name;
        const double down = static_cast<double>(widget->y()) / dialog_->height();
        EXPECT_NEAR(down, place.y / 219.0, 1.5 / dialog_->height() + 0.5 / 219.0) << place.name;
    }
}

TEST_F(Layout, TabStopsFollowTheTemplatesOrder) {
    const char* order[] = {"pathBox",       "browseButton",  "addButton",
                           "removeButton",  "siteLink",      "encryptButton",
                           "decryptButton", "recipientView", "legacyCipher"};
    QWidget* current = Control<QWidget>(order[0]);
    for (std::size_t i = 1; i < std::size(order); ++i) {
        current = current->nextInFocusChain();
        while (current != nullptr && (current->focusPolicy() & Qt::TabFocus) == 0) {
            current = current->nextInFocusChain();
        }
        ASSERT_NE(current, nullptr);
        EXPECT_EQ(current->objectName().toStdString(), order[i]);
    }
}

TEST_F(Layout, EveryTabStopShowsWhereTheKeyboardIs) {
    QApplication::setActiveWindow(dialog_.get());
    const char* order[] = {"browseButton",  "addButton",     "removeButton",
                           "siteLink",      "encryptButton", "decryptButton",
                           "recipientView", "legacyCipher",  "pathBox"};
    Control<QWidget>("pathBox")->setFocus();
    for (const char* name : order) {
        auto* widget = Control<QWidget>(name);
        const QImage before = widget->grab().toImage();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), widget) << name;
        EXPECT_NE(widget->grab().toImage(), before) << name << " shows no focus mark";
    }
}

TEST(DialogUnits, FollowTheFontsAverageCharacter) {
    QFont font;
    font.setPixelSize(20);
    const ui::DialogUnits units(font);
    EXPECT_GT(units.charWidth(), 0);
    EXPECT_EQ(units.X(4), units.charWidth());
    EXPECT_EQ(units.Y(8), units.charHeight());
}

TEST(ColumnWidths, FollowTheViewsWidth) {
    EXPECT_EQ(ui::RecipientColumnWidths(400), (ui::ColumnWidths{166, 150, 84}));
    EXPECT_EQ(ui::RecipientColumnWidths(461), (ui::ColumnWidths{188, 172, 99}));
}

}  // namespace
}  // namespace mirebolt::testing
