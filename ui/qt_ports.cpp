#include "ui/qt_ports.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>

#include <string.h>

#include "ui/control_ids.h"
#include "ui/message_box.h"
#include "ui/stored_nothing.h"
#include "ui/translation.h"

namespace mirebolt::ui {

namespace {

void ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& title,
             const std::string& text) {
    MessageBox box(icon, title, ShownText(text), QMessageBox::Ok, owner);
    box.exec();
}

// GTK's file dialog makes its folders in the home folder as it opens (the one of its bookmarks and
// the one of the recently used files), even when it leaves nothing in them. Those that were not
// there before the dialog and stayed empty go again when it closes; the person's own, and any
// that now hold something, stay.
class FoldersTheDialogMakes {
  public:
    FoldersTheDialogMakes() {
        const QString home = QDir::homePath();
        const QString config = BaseFolder("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
        const QString data = BaseFolder("XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
        const QString cache = BaseFolder("XDG_CACHE_HOME", home + QStringLiteral("/.cache"));
        // Deepest first, so that a parent is empty by the time it is removed.
        for (const QString& folder :
             {config + QStringLiteral("/gtk-3.0"), config, data, home + QStringLiteral("/.local"),
              cache + QStringLiteral("/dconf"), cache}) {
            if (!QFileInfo::exists(folder)) {
                absent_ << folder;
            }
        }
    }
    FoldersTheDialogMakes(const FoldersTheDialogMakes&) = delete;
    FoldersTheDialogMakes& operator=(const FoldersTheDialogMakes&) = delete;
    ~FoldersTheDialogMakes() {
        for (const QString& folder : absent_) {
            QDir().rmdir(folder);  // only an empty folder goes
        }
    }

  private:
    static QString BaseFolder(const char* variable, const QString& otherwise) {
        const QString set = qEnvironmentVariable(variable);
        return QDir::isAbsolutePath(set) ? set : otherwise;
    }

    QStringList absent_;
};

// An Open dialog with one filter: the platform theme's own dialog (GTK's, the portal's, KDE's)
// where it offers one, Qt's otherwise. Every theme takes the patterns from the filter's last
// parenthesised group, split at spaces, so `filter` ends in "(PATTERNS)" after the label that the
// dialog shows: Qt's own dialog (told to hide the details) and the portal show all before that
// group, GTK all before the first parenthesis.
std::optional<QString> OpenFile(QWidget* owner, const QString& filter) {
    const FoldersTheDialogMakes leftBehind;  // outlives the dialog, which makes them
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters({filter});
    dialog.setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden |
                     QDir::System);
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

// "*", not "*.*": a glob of GTK or the portal would hide names without a dot, such as README.
std::optional<QString> FileDialogs::ChooseAnyFile() {
    return OpenFile(owner_.widget, Texts::tr("All files (*.*)") + QStringLiteral(" (*)"));
}

// The endings in either case, as people name their files: GTK's globs tell the case apart.
std::optional<QString> FileDialogs::ChooseCertificateFile() {
    return OpenFile(owner_.widget, Texts::tr("Certificate File (*.cer;*.crt;*.der;*.pem)") +
                                       QStringLiteral(" (*.[cC][eE][rR] *.[cC][rR][tT] "
                                                      "*.[dD][eE][rR] *.[pP][eE][mM])"));
}

std::optional<std::string> FileDialogs::AskSaveFileName(const std::string& besides) {
    const FoldersTheDialogMakes leftBehind;
    QFileDialog dialog(owner_.widget);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // In the folder a person looks for the file next to; the name stays empty to be typed.
    dialog.setDirectory(
        QFileInfo(QFile::decodeName(QByteArray::fromStdString(besides))).absolutePath());
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
    const DesktopSettingsForChildren browserSettings;
    QDesktopServices::openUrl(address);
}

}  // namespace mirebolt::ui
