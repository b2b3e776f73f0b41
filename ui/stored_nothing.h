#pragma once

namespace mirebolt::ui {

// The program keeps nothing between runs. Call before the application object exists.
// - Qt's file dialog writes its history and last folder to the user's settings when it closes:
//   user settings go where no file can ever be made, so nothing lands in ~/.config.
// - Without a session bus, a connection attempt would start one (dbus-launch) that outlives the
//   program and leaves its address under ~/.dbus: no bus is then looked for at all.
void StoreNothingBetweenRuns();

}  // namespace mirebolt::ui
