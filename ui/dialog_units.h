#pragma once

#include <QFont>
#include <QRect>

namespace mirebolt::ui {

// Places controls given in dialog units: a horizontal unit is a quarter of the dialog font's
// average character width, a vertical unit an eighth of its height, as the template's own
// platform measures them. Whatever the font, the window keeps the template's proportions.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);

    int X(int units) const { return (units * charWidth_ + 2) / 4; }
    int Y(int units) const { return (units * charHeight_ + 4) / 8; }
    QRect Rect(int x, int y, int width, int height) const {
        return QRect(X(x), Y(y), X(width), Y(height));
    }

    int charWidth() const { return charWidth_; }
    int charHeight() const { return charHeight_; }

  private:
    int charWidth_;
    int charHeight_;
};

}  // namespace mirebolt::ui
