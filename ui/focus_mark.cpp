#include "ui/focus_mark.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

namespace mirebolt::ui {

void PaintFocusMark(QWidget& widget, QPainter& painter, QRect area) {
    if (!widget.hasFocus()) {
        return;
    }
    QStyleOptionFocusRect focus;
    focus.initFrom(&widget);
    focus.rect = area;
    focus.backgroundColor = widget.palette().color(widget.backgroundRole());
    widget.style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, &widget);
}

void CommandLink::paintEvent(QPaintEvent* event) {
    QCommandLinkButton::paintEvent(event);
    QPainter painter(this);
    PaintFocusMark(*this, painter, rect().adjusted(2, 2, -2, -2));
}

void FocusMarkedLink::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    QPainter painter(this);
    PaintFocusMark(*this, painter, rect());
}

}  // namespace mirebolt::ui
