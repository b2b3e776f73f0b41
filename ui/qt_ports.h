#pragma once

#include <QCursor>
#include <QPointer>
#include <QWidget>

#include <vector>

#include "ui/window_ports.h"

namespace mirebolt::ui {

// The window that owns the modal boxes and dialogs: the main dialog, known only once it exists.
struct OwnerWindow {
    QPointer<QWidget> widget;
};

// Message boxes with the titles, texts, icons and buttons of the four kinds; the first button
// is the default.
class MessageBoxFeedback : public feedback::Feedback {
  public:
    explicit MessageBoxFeedback(const OwnerWindow& owner) : owner_(owner) {}
    void ShowWarning(const std::string& text) override;
    void ShowInformation(const std::string& text) override;
    void ShowError(const std::string& message) override;
    feedback::Answer AskYesNo(const std::string& text, const std::string& title,
                              feedback::QuestionIcon icon) override;

  private:
    const OwnerWindow& owner_;
};

// The wait cursor over the main dialog only: the boxes and dialogs a command opens show the
// normal pointer, so a question never looks like a program that hangs. The controls with a
// pointer of their own (the path box's text cursor) show the wait cursor too, and get theirs back.
class WindowWaitCursor : public feedback::BusyIndicator {
  public:
    explicit WindowWaitCursor(const OwnerWindow& owner) : owner_(owner) {}
    void ShowBusy() override;
    void ShowIdle() override;

  private:
    struct OwnCursor {
        QPointer<QWidget> widget;
        QCursor cursor;
    };
    const OwnerWindow& owner_;
    QPointer<QWidget> window_;
    std::vector<OwnCursor> ownCursors_;
};

// The Open and Save dialogs.
class FileDialogs : public FileChooser, public feedback::SaveFileQuestion {
  public:
    explicit FileDialogs(const OwnerWindow& owner) : owner_(owner) {}
    std::optional<QString> ChooseAnyFile() override;
    std::optional<QString> ChooseCertificateFile() override;
    std::optional<std::string> AskSaveFileName(const std::string& besides) override;

  private:
    const OwnerWindow& owner_;
};

// Asks for a token's password or PIN with a masked field that names the token.
class PasswordDialogPrompt : public platform::KeyAccessPrompt {
  public:
    explicit PasswordDialogPrompt(const OwnerWindow& owner) : owner_(owner) {}
    std::optional<platform::Secret> AskSecret(const std::string& tokenName, bool retry) override;

  private:
    const OwnerWindow& owner_;
};

// The "Action" popup at the given point.
class PopupActionMenu : public ActionMenu {
  public:
    explicit PopupActionMenu(const OwnerWindow& owner) : owner_(owner) {}
    int Choose(const QPoint& at) override;

  private:
    const OwnerWindow& owner_;
};

class DesktopUrlOpener : public UrlOpener {
  public:
    void Open(const QUrl& address) override;
};

}  // namespace mirebolt::ui
