#include "ui/focus_mark.h"

#include <QPainter>
#include <QStyleOptionFocusRect>

#include "ui/icons.h"

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

CommandLink::CommandLink(const QString& text, QWidget* parent) : QCommandLinkButton(text, parent) {
    setIcon(CommandLinkIcon(iconSize().width()));
}

void CommandLink::paintEvent(QPaintEvent* event) {
    QCommandLinkButton::paintEvent(event);
    QPainter painter(this);
    PaintFocusMark(*this, painter, rect().adjusted(2, 2, -2, -2));
}

FocusMarkedLink::FocusMarkedLink(const QString& url, const QString& shown, QWidget* parent)
    : QLabel(
          QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toHtmlEscaped(), shown.toHtmlEscaped()),
          parent),
      url_(url),
      shown_(shown) {}

void FocusMarkedLink::Activate() {
    emit linkActivated(url_);
}

void FocusMarkedLink::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    QPainter painter(this);
    PaintFocusMark(*this, painter, rect());
}

}  // namespace mirebolt::ui
