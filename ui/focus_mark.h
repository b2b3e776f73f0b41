#pragma once

#include <QCommandLinkButton>
#include <QLabel>

class QPainter;

namespace mirebolt::ui {

// Draws the style's focus frame over `area`, as controls that show their own focus do: when the
// widget has the focus and, as the style decides, the keyboard moved it there.
void PaintFocusMark(QWidget& widget, QPainter& painter, QRect area);

// A command link that shows where the keyboard is; the style draws command links flat, with
// no focus of their own. Its arrow stays sharp on a scaled screen.
class CommandLink : public QCommandLinkButton {
    Q_OBJECT

  public:
    CommandLink(const QString& text, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// A link that shows where the keyboard is. Its address opens on a click only, never on Enter,
// so the label takes no keys and would show no focus of its own.
class FocusMarkedLink : public QLabel {
    Q_OBJECT

  public:
    // Shows `shown` as one link to `url`.
    FocusMarkedLink(const QString& url, const QString& shown, QWidget* parent);

    const QString& shownText() const { return shown_; }

    // What a click on the link does, for those who reach it another way (a screen reader).
    void Activate();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString url_;
    QString shown_;
};

}  // namespace mirebolt::ui
