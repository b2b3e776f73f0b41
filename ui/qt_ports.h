#pragma once

#include <QPointer>
#include <QWidget>

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

// The wait cursor, over the whole application.
class OverrideCursor : public feedback::BusyIndicator {
  public:
    void ShowBusy() override;
    void ShowIdle() override;
};

// The Open and Save dialogs.
class FileDialogs : public FileChooser, public feedback::SaveFileQuestion {
  public:
    explicit FileDialogs(const OwnerWindow& owner) : owner_(owner) {}
    std::optional<QString> ChooseAnyFile() override;
    std::optional<QString> ChooseCertificateFile() override;
    std::optional<std::string> AskSaveFileName() override;

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
