#pragma once

namespace mirebolt::platform {

// Keeps the process out of core dumps and away from other processes of the same user: NSS holds
// content keys in memory we cannot mark, and a key with the message is the plaintext. Called
// first thing at start-up, by the window and by the command line alike.
void KeepOutOfDumps();

}  // namespace mirebolt::platform
