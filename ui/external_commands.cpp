#include "ui/external_commands.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>

#include "base/product_facts.h"
#include "ui/main_dialog.h"

namespace mirebolt::ui {

ExternalCommands::ExternalCommands(CMainDlg& dialog) : QObject(&dialog), dialog_(dialog) {}

QString ExternalCommands::ServiceName() {
    return QStringLiteral("%1.p%2")
        .arg(product::kApplicationId)
        .arg(QCoreApplication::applicationPid());
}

QString ExternalCommands::InterfaceName() {
    return QStringLiteral("%1.MainDialog").arg(product::kApplicationId);
}

bool ExternalCommands::Register() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    if (!bus.registerObject(QStringLiteral("/MainDialog"), InterfaceName(), this,
                            QDBusConnection::ExportScriptableSlots)) {
        return false;
    }
    return bus.registerService(ServiceName());
}

void ExternalCommands::Command(uint identifier, uint code) {
    // The sender's call returns at once; the command then runs in the window's own loop, as a
    // command posted to it would, so a long command or its boxes never hold up the caller.
    const Message message{MessageKind::Command, static_cast<int>(identifier & 0xFFFF),
                          static_cast<int>(code & 0xFFFF)};
    QTimer::singleShot(0, &dialog_, [this, message] { dialog_.Dispatch(message); });
}

}  // namespace mirebolt::ui
