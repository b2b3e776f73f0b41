#pragma once

#include <QTreeView>

#include <optional>

namespace mirebolt::ui {

// The recipient list's view: three columns, no sorting, one row at a time. Only the first column
// of a row is ever selected and highlighted, never the whole row, and a removal selects no
// other row. With the keyboard on an empty list, the list itself shows the focus.
class RecipientView : public QTreeView {
    Q_OBJECT

  public:
    explicit RecipientView(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

    // The selected row, if any.
    std::optional<int> SelectedRow() const;
    // After a row was removed: Qt would select the next one, so that a second "-" would remove
    // it unasked.
    void ForgetSelection();

  protected:
    void paintEvent(QPaintEvent* event) override;
    // Shows the horizontal scroll bar while the columns reach past the view's frame, so that
    // no column can be pushed out of reach.
    void updateGeometries() override;

  private:
    bool fittingScrollBar_ = false;
};

}  // namespace mirebolt::ui
