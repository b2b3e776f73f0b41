// mirebolt: the desktop program. Its whole life is one run of the main dialog; the exit code is
// the dialog's result: 1 for OK, 2 for Cancel, 255 when the window cannot be made.
//   mirebolt [FILE]   FILE, as a file manager hands it over, starts in the path box
#include <QApplication>
#include <QFile>
#include <QLocale>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/process_hardening.h"
#include "base/product_facts.h"
#include "nss/nss_runtime.h"
#include "nss/personal_store.h"
#include "ui/certificate_picker_dialog.h"
#include "ui/external_commands.h"
#include "ui/main_dialog.h"
#include "ui/qt_ports.h"
#include "ui/stored_nothing.h"
#include "ui/translation.h"

namespace {

QtMessageHandler defaultHandler = nullptr;

// Qt's messages while it looks for a display, held back until it has found one: without one
// they and Qt's advice to reinstall would only bury the one line that says what is wrong.
struct HeldMessage {
    QtMsgType type;
    QString text;
};
std::vector<HeldMessage>* heldMessages = nullptr;

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        std::fputs("mirebolt needs a graphical display; use mirebolt-cli on a terminal\n", stderr);
        std::_Exit(255);
    }
    if (heldMessages != nullptr) {
        heldMessages->push_back(HeldMessage{type, message});
        return;
    }
    if (defaultHandler != nullptr) {
        defaultHandler(type, context, message);
    }
}

void ReleaseHeldMessages() {
    std::vector<HeldMessage> held = std::move(*heldMessages);
    delete heldMessages;
    heldMessages = nullptr;
    for (const HeldMessage& message : held) {
        OnQtMessage(message.type, QMessageLogContext(), message.text);
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace mirebolt;
    platform::KeepOutOfDumps();
    heldMessages = new std::vector<HeldMessage>;
    defaultHandler = qInstallMessageHandler(&OnQtMessage);
    ui::StoreNothingBetweenRuns();
    platform::NssSession nss;

    // The one argument read is the file a desktop hands over; none reaches Qt, whose own options
    // would otherwise be taken from a file's name.
    const QString handedFile = argc > 1 ? QFile::decodeName(argv[1]) : QString();
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    ReleaseHeldMessages();
    QApplication::setApplicationName(QString::fromUtf8(product::kName));
    QApplication::setApplicationVersion(QString::fromUtf8(product::kVersion));
    QApplication::setDesktopFileName(QString::fromUtf8(product::kApplicationId));
    ui::InstallTranslations(application, QLocale());

    ui::OwnerWindow owner;
    ui::MessageBoxFeedback feedback(owner);
    ui::WindowWaitCursor busy(owner);
    ui::FileDialogs files(owner);
    ui::PasswordDialogPrompt keys(owner);
    ui::CertificatePickerDialog picker(owner);
    ui::PopupActionMenu actionMenu(owner);
    ui::DesktopUrlOpener urls;
    ui::CMainDlg dialog(
        ui::WindowPorts{feedback, busy, files, &keys, picker, files, actionMenu, urls},
        platform::PersonalStore::DefaultDirectory());
    owner.widget = &dialog;
    if (!handedFile.isEmpty()) {
        dialog.TakeHandedFile(handedFile);
    }
    auto* external = new ui::ExternalCommands(dialog);
    external->Register();
    return dialog.exec();
}
