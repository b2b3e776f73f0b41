#include "ui/recipient_view.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>

#include "ui/elided_tips.h"
#include "ui/focus_mark.h"

namespace mirebolt::ui {

namespace {

// Turns every selection into one of the first column: a row is chosen by its name, and only
// the name is highlighted.
class FirstColumnSelection : public QItemSelectionModel {
  public:
    using QItemSelectionModel::QItemSelectionModel;
    using QItemSelectionModel::select;

    void select(const QItemSelection& selection, SelectionFlags command) override {
        QItemSelection firstColumn;
        for (const QItemSelectionRange& range : selection) {
            const QModelIndex top = QModelIndex(range.topLeft()).siblingAtColumn(0);
            const QModelIndex bottom = QModelIndex(range.bottomRight()).siblingAtColumn(0);
            if (top.isValid() && bottom.isValid()) {
                firstColumn.select(top, bottom);
            }
        }
        QItemSelectionModel::select(firstColumn, command & ~SelectionFlags(Rows | Columns));
    }
};

}  // namespace

RecipientView::RecipientView(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    setUniformRowHeights(true);
    setAllColumnsShowFocus(false);
    // The columns share out the whole outer width; a scroll bar for the frame's two pixels
    // would only hide the last row. One shows once the columns are widened past that.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new ElidedTextTips(this));
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
}

void RecipientView::setModel(QAbstractItemModel* model) {
    QTreeView::setModel(model);
    QItemSelectionModel* standard = selectionModel();
    setSelectionModel(new FirstColumnSelection(model, this));
    delete standard;
}

std::optional<int> RecipientView::SelectedRow() const {
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        return std::nullopt;
    }
    return selected.front().row();
}

void RecipientView::ForgetSelection() {
    selectionModel()->clearSelection();
}

void RecipientView::updateGeometries() {
    QTreeView::updateGeometries();
    if (header() == nullptr || fittingScrollBar_) {
        return;
    }
    // Laying the view out again with or without the bar comes back here.
    fittingScrollBar_ = true;
    const bool beyondFrame = header()->length() > viewport()->width() + 2 * frameWidth();
    const Qt::ScrollBarPolicy wanted = beyondFrame ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    if (horizontalScrollBarPolicy() != wanted) {
        setHorizontalScrollBarPolicy(wanted);
    }
    fittingScrollBar_ = false;
}

void RecipientView::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    // A row shows the focus itself; with no row the list has nothing that would.
    if (!hasFocus() || (model() != nullptr && model()->rowCount() > 0)) {
        return;
    }
    QPainter painter(viewport());
    PaintFocusMark(*this, painter, viewport()->rect().adjusted(1, 1, -1, -1));
}

}  // namespace mirebolt::ui
