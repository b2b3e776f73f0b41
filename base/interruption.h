#pragma once

#include "base/result.h"

namespace mirebolt::platform {

// While a command runs, Ctrl-C, SIGTERM and a closed terminal do not end the program at once:
// they are noted and interrupt the blocking call under way, so that the command stops at its
// next read or write, removes what it started, and the program then ends by the same signal.
// A signal the program inherited as ignored (nohup) stays ignored. A file-size limit and a reader
// that went away are write failures while it lives, not deaths by SIGXFSZ or SIGPIPE.
class Interruption {
  public:
    Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;
    // Puts back the dispositions found and, when a signal was noted, delivers it again under
    // them: the program ends as it would have without this guard, only later.
    ~Interruption();

    static bool Noted();
    // For work that cannot be stopped midway (a PKCS #11 module that takes its time to start):
    // when a signal was noted, ends the program by it at once, from whichever thread calls.
    // Only for moments before the command has written anything.
    static void EndIfNoted();
    // The failure of a read or write that stopped for a noted signal.
    static Failure Interrupted();
    // The failure of a write whose reader went away (EPIPE). Unless the program was started
    // with SIGPIPE ignored, SIGPIPE is noted as well, so that the program ends by it as any
    // filter does whose reader left: quietly, once the command has cleaned up.
    static Failure ReaderGone();
    // Whether the program was started with SIGPIPE ignored; the libraries ignore it later.
    static bool PipeIgnoredAtStart();
};

}  // namespace mirebolt::platform
