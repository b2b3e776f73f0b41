#pragma once

#include <QMessageBox>

namespace mirebolt::ui {

// A message box that shows its whole text. Qt wraps a message at spaces only and keeps the box
// within a share of the screen, so a long file name ran off the box's edge and hid the end of
// the path; such a text wraps anywhere instead and the box grows to hold the extra lines.
class MessageBox : public QMessageBox {
    Q_OBJECT

  public:
    using QMessageBox::QMessageBox;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    bool wrapsAnywhere_ = false;
};

}  // namespace mirebolt::ui
