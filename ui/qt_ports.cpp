#include "ui/qt_ports.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>

#include <string.h>

#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/translation.h"

namespace mirebolt::ui {

namespace {

void ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& title,
             const std::string& text) {
    MessageBox box(icon, title, ShownText(text), QMessageBox::Ok, owner);
    box.exec();
}

// An Open dialog whose filter shows `label` but lets through the files that `patterns` match:
// Qt reads a label's parenthesised patterns itself, split at spaces only.
std::optional<QString> OpenFile(QWidget* owner, const QString& label, const QStringList& patterns) {
    QFileDialog dialog(owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(label);
    dialog.setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden |
                     QDir::System);
    if (auto* model = dialog.findChild<QFileSystemModel*>()) {
        model->setNameFilters(patterns);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().front();
}

}  // namespace

void MessageBoxFeedback::ShowWarning(const std::string& text) {
    ShowBox(owner_.widget, QMessageBox::Warning, Texts::tr("Warning"), text);
}

void MessageBoxFeedback::ShowInformation(const std::string& text) {
    ShowBox(owner_.widget, QMessageBox::Information, Texts::tr("Information"), text);
}

void MessageBoxFeedback::ShowError(const std::string& message) {
    ShowBox(owner_.widget, QMessageBox::Critical, Texts::tr("Error"), message);
}

feedback::Answer MessageBoxFeedback::AskYesNo(const std::string& text, const std::string& title,
                                              feedback::QuestionIcon icon) {
    MessageBox box(
        icon == feedback::QuestionIcon::Warning ? QMessageBox::Warning : QMessageBox::Question,
        ShownText(title), ShownText(text), QMessageBox::Yes | QMessageBox::No, owner_.widget);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::No ? feedback::Answer::No : feedback::Answer::Yes;
}

void WindowWaitCursor::ShowBusy() {
    window_ = owner_.widget;
    if (window_ == nullptr) {
        return;
    }
    for (QWidget* child : window_->findChildren<QWidget*>()) {
        if (child->testAttribute(Qt::WA_SetCursor)) {
            ownCursors_.push_back(OwnCursor{child, child->cursor()});
            child->setCursor(Qt::WaitCursor);
        }
    }
    window_->setCursor(Qt::WaitCursor);
}

void WindowWaitCursor::ShowIdle() {
    if (window_ != nullptr) {
        window_->unsetCursor();
    }
    for (const OwnCursor& own : ownCursors_) {
        if (own.widget != nullptr) {
            own.widget->setCursor(own.cursor);
        }
    }
    ownCursors_.clear();
    window_ = nullptr;
}

std::optional<QString> FileDialogs::ChooseAnyFile() {
    return OpenFile(owner_.widget, QStringLiteral("All files (*.*)"), {QStringLiteral("*")});
}

std::optional<QString> FileDialogs::ChooseCertificateFile() {
    return OpenFile(owner_.widget, QStringLiteral("Certificate File (*.cer;*.crt;*.der;*.pem)"),
                    {QStringLiteral("*.cer"), QStringLiteral("*.crt"), QStringLiteral("*.der"),
                     QStringLiteral("*.pem")});
}

std::optional<std::string> FileDialogs::AskSaveFileName() {
    QFileDialog dialog(owner_.widget);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
}

std::optional<platform::Secret> PasswordDialogPrompt::AskSecret(const std::string& tokenName,
                                                                bool retry) {
    const QString label =
        Texts::tr("%1Enter the password or PIN for \"%2\":")
            .arg(retry ? Texts::tr("The password or PIN was not accepted.\n") : QString(),
                 QString::fromStdString(tokenName));
    bool confirmed = false;
    QString typed = QInputDialog::getText(owner_.widget, Texts::tr("Password Required"), label,
                                          QLineEdit::Password, QString(), &confirmed);
    QByteArray encoded = typed.toUtf8();
    std::optional<platform::Secret> secret;
    if (confirmed) {
        secret.emplace(
            std::string_view(encoded.constData(), static_cast<std::size_t>(encoded.size())));
    }
    // The dialog's own buffers are gone already; wipe the two copies that are ours. data()
    // gives a buffer of our own first should the text still be shared.
    explicit_bzero(typed.data(), static_cast<std::size_t>(typed.size()) * sizeof(QChar));
    explicit_bzero(encoded.data(), static_cast<std::size_t>(encoded.size()));
    return secret;
}

int PopupActionMenu::Choose(const QPoint& at) {
    QMenu menu(Texts::tr("Action"), owner_.widget);
    QAction* fromFile = menu.addAction(Texts::tr("Add From File"));
    QAction* fromStore = menu.addAction(Texts::tr("Add From Certificate Store"));
    QAction* chosen = menu.exec(at);
    if (chosen == fromFile) {
        return id::kAddFromFile;
    }
    if (chosen == fromStore) {
        return id::kAddFromStore;
    }
    return 0;
}

void DesktopUrlOpener::Open(const QUrl& address) {
    QDesktopServices::openUrl(address);
}

}  // namespace mirebolt::ui
