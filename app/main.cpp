// mirebolt: the desktop program. Its whole life is one run of the main dialog; the exit code is
// the dialog's result: 1 for OK, 2 for Cancel, 255 when the window cannot be made.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "platform/nss_runtime.h"
#include "platform/personal_store.h"
#include "platform/product_facts.h"
#include "ui/certificate_picker_dialog.h"
#include "ui/external_commands.h"
#include "ui/main_dialog.h"
#include "ui/qt_ports.h"

namespace {

QtMessageHandler defaultHandler = nullptr;

// Qt gives up with a fatal message when it cannot show a window at all (no display): the
// program then ends quietly with 255.
void EndOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "mirebolt: %s\n", qPrintable(message));
        std::_Exit(255);
    }
    if (defaultHandler != nullptr) {
        defaultHandler(type, context, message);
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace mirebolt;
    defaultHandler = qInstallMessageHandler(&EndOnFatal);
    platform::NssSession nss;

    // The program takes no arguments: none reaches Qt either.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    QApplication::setApplicationName(QString::fromUtf8(product::kName));
    QApplication::setApplicationVersion(QString::fromUtf8(product::kVersion));
    QApplication::setDesktopFileName(QString::fromUtf8(product::kApplicationId));

    ui::OwnerWindow owner;
    ui::MessageBoxFeedback feedback(owner);
    ui::OverrideCursor busy;
    ui::FileDialogs files(owner);
    ui::PasswordDialogPrompt keys(owner);
    ui::CertificatePickerDialog picker(owner);
    ui::PopupActionMenu actionMenu(owner);
    ui::DesktopUrlOpener urls;
    ui::CMainDlg dialog(
        ui::WindowPorts{feedback, busy, files, &keys, picker, files, actionMenu, urls},
        platform::PersonalStore::DefaultDirectory());
    owner.widget = &dialog;
    auto* external = new ui::ExternalCommands(dialog);
    external->Register();
    return dialog.exec();
}
