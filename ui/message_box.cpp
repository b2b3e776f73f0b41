#include "ui/message_box.h"

#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <QtMath>

#include "ui/icons.h"

namespace mirebolt::ui {

namespace {

// Lays the text out to `width`, breaking lines at spaces where it can and anywhere where it
// must; the height it takes.
qreal LayOut(QTextLayout& layout, const QString& text, const QFont& font, int width) {
    QString lines = text;
    lines.replace(QLatin1Char('\n'), QChar::LineSeparator);
    layout.setText(lines);
    layout.setFont(font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

// Paints the label's text wrapped anywhere, in place of the label's own painting.
class AnywhereWrap : public QObject {
  public:
    explicit AnywhereWrap(QLabel& label) : QObject(&label), label_(label) {
        label.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &label_ || event->type() != QEvent::Paint) {
            return false;
        }
        QPainter painter(&label_);
        painter.setPen(label_.palette().color(label_.foregroundRole()));
        QTextLayout layout;
        LayOut(layout, label_.text(), label_.font(), label_.contentsRect().width());
        layout.draw(&painter, label_.contentsRect().topLeft());
        return true;
    }

  private:
    QLabel& label_;
};

}  // namespace

void MessageBox::showEvent(QShowEvent* event) {
    // The style's icons are 32 px bitmaps, blown up on a scaled screen; the kind of box (what a
    // screen reader announces) stays as it was set.
    if (icon() != QMessageBox::NoIcon) {
        if (auto* iconLabel = findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"))) {
            const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
            iconLabel->setPixmap(
                MessageIcon(icon(), size).pixmap(QSize(size, size), devicePixelRatio()));
        }
    }
    QMessageBox::showEvent(event);  // Qt sets the box's size here
    auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (label == nullptr || wrapsAnywhere_) {
        return;
    }
    QTextLayout layout;
    const int needed =
        qCeil(LayOut(layout, label->text(), label->font(), label->contentsRect().width()));
    const int missing = needed - label->contentsRect().height();
    if (missing <= 0) {
        return;  // the whole text shows already
    }
    wrapsAnywhere_ = true;
    new AnywhereWrap(*label);
    label->setMinimumHeight(label->height() + missing);
    setFixedSize(width(), height() + missing);
}

}  // namespace mirebolt::ui
