#pragma once

namespace mirebolt::ui {

// The program keeps nothing between runs. Call before the application object exists.
// - Qt's file dialog writes its history and last folder to the user's settings when it closes:
//   user settings go where no file can ever be made, so nothing lands in ~/.config.
// - Without a session bus, a connection attempt would start one (dbus-launch) that outlives the
//   program and leaves its address under ~/.dbus: no bus is then looked for at all.
// - GTK's file dialog (under Qt's GTK theme) saves its preferences to the desktop's settings
//   database in the home folder: off Wayland they are kept in memory for the run.
void StoreNothingBetweenRuns();

// While it lives, a program started from here (the browser of the web link) finds the desktop's
// settings database again: keeping settings in memory is for this program's own dialogs only.
class DesktopSettingsForChildren {
  public:
    DesktopSettingsForChildren();
    DesktopSettingsForChildren(const DesktopSettingsForChildren&) = delete;
    DesktopSettingsForChildren& operator=(const DesktopSettingsForChildren&) = delete;
    ~DesktopSettingsForChildren();

  private:
    bool restore_ = false;
};

}  // namespace mirebolt::ui
