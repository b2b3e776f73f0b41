#pragma once

#include <QDialog>

namespace mirebolt::ui {

// The About box: the program's icon, its name and the maker's credit, and an OK button.
// Enter and OK close it with 1, Esc and the close box with 2.
class AboutBox : public QDialog {
    Q_OBJECT

  public:
    explicit AboutBox(QWidget* owner);

  public slots:
    void reject() override { done(2); }
};

}  // namespace mirebolt::ui
