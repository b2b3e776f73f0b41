#pragma once

#include <QLineEdit>

namespace mirebolt::ui {

// The file path box. A file dropped on it puts its local path there, not a file:// address.
class PathEdit : public QLineEdit {
    Q_OBJECT

  public:
    using QLineEdit::QLineEdit;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

}  // namespace mirebolt::ui
