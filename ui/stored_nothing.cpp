#include "ui/stored_nothing.h"

#include <QFileInfo>
#include <QSettings>
#include <QtGlobal>

namespace mirebolt::ui {

namespace {

// A character device is no folder: nothing can be made below it, whoever asks.
constexpr char kNowhere[] = "/dev/null/mirebolt-stores-nothing";

bool SessionBusKnown() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    // The desktop's usual bus, which D-Bus finds without being told.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

}  // namespace

void StoreNothingBetweenRuns() {
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, QString::fromLatin1(kNowhere));
    }
    if (!SessionBusKnown()) {
        // An address D-Bus cannot use: the attempt fails at once instead of starting a bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    }
}

}  // namespace mirebolt::ui
