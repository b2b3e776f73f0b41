#pragma once

#include <QStyledItemDelegate>

namespace mirebolt::ui {

// Draws cells as usual; a cell whose text is cut short for want of room tells the whole text in
// its tooltip, ahead of any tooltip of its own. A cell that shows its whole text has none but
// its own.
class ElidedTextTips : public QStyledItemDelegate {
    Q_OBJECT

  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // Whether the cell, laid out in `option.rect`, cannot show its whole text.
    bool Elided(const QStyleOptionViewItem& option, const QModelIndex& index) const;
};

}  // namespace mirebolt::ui
