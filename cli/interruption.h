#pragma once

namespace mirebolt::cli {

// While it lives, Ctrl-C, SIGTERM and a closed terminal do not end the program at once: they
// interrupt the blocking call under way and are noted, so that a streamed run fails as any
// failure does (its temporary file removed), and then ends by the same signal.
class Interruption {
  public:
    Interruption();
    Interruption(const Interruption&) = delete;
    Interruption& operator=(const Interruption&) = delete;
    ~Interruption();

    static bool Noted();
    // Ends the program by the noted signal, as it would have ended without this guard.
    [[noreturn]] static void EndBySignal();
};

}  // namespace mirebolt::cli
