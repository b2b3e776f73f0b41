#pragma once

namespace mirebolt::cli {

// From now on, Ctrl-C, SIGTERM and a closed terminal end the program with a line on standard
// error saying it was interrupted, and then by the signal itself, so that the shell sees the
// usual status. A signal the program was started to ignore (nohup) stays ignored. A command's
// own handling (cleaning up first) comes before and ends in the same line.
void SayWhenInterrupted();

}  // namespace mirebolt::cli
