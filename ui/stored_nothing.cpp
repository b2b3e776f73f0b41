#include "ui/stored_nothing.h"

#include <QFileInfo>
#include <QSettings>
#include <QtGlobal>

namespace mirebolt::ui {

namespace {

constexpr char kSettingsBackend[] = "GSETTINGS_BACKEND";
bool settingsInMemory = false;

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

// Where Qt, and with it GTK, will show the window: Qt chooses Wayland when the session offers it,
// unless told otherwise.
bool OnWayland() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty()) {
        return platform.startsWith("wayland");
    }
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

void StoreNothingBetweenRuns() {
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, QString::fromLatin1(kNowhere));
    }
    // GTK's file dialog keeps its own preferences (window size, columns) in the desktop's settings
    // database under the home folder and, without a runtime folder, a copy of it in the cache;
    // kept in memory they last only the run. Not on Wayland, where GTK takes its look from the
    // same database and the dialog would lose the desktop's fonts and theme.
    if (qEnvironmentVariableIsEmpty(kSettingsBackend) && !OnWayland()) {
        qputenv(kSettingsBackend, "memory");
        settingsInMemory = true;
    }
    if (!SessionBusKnown()) {
        // An address D-Bus cannot use: the attempt fails at once instead of starting a bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    }
}

DesktopSettingsForChildren::DesktopSettingsForChildren() : restore_(settingsInMemory) {
    if (restore_) {
        qunsetenv(kSettingsBackend);
    }
}

DesktopSettingsForChildren::~DesktopSettingsForChildren() {
    if (restore_) {
        qputenv(kSettingsBackend, "memory");
    }
}

}  // namespace mirebolt::ui
