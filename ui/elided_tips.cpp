#include "ui/elided_tips.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>

namespace mirebolt::ui {

bool ElidedTextTips::Elided(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (index.data(Qt::DisplayRole).toString().isEmpty()) {
        return false;
    }
    // The width the cell asks for is the one at which its text shows whole.
    return sizeHint(option, index).width() > option.rect.width();
}

bool ElidedTextTips::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                               const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip ||
        !index.isValid() || !Elided(option, index)) {
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }
    QString tip = index.data(Qt::DisplayRole).toString();
    const QString own = index.data(Qt::ToolTipRole).toString();
    // A name is shown as it is written, never read as markup.
    if (Qt::mightBeRichText(tip) || Qt::mightBeRichText(own)) {
        tip = QStringLiteral("<p style='white-space:pre'>%1</p>").arg(tip.toHtmlEscaped());
        if (!own.isEmpty()) {
            tip += QStringLiteral("<p>%1</p>")
                       .arg(own.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")));
        }
    } else if (!own.isEmpty()) {
        tip += QLatin1Char('\n') + own;
    }
    QToolTip::showText(event->globalPos(), tip, view->viewport(), option.rect);
    event->accept();
    return true;
}

}  // namespace mirebolt::ui
