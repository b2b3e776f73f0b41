#include "base/interruption.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

#include "base/system_error.h"

namespace mirebolt::platform {

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kIgnoredSignals[] = {SIGXFSZ, SIGPIPE};
volatile sig_atomic_t noted = 0;
bool live = false;

// As the program was started: the libraries (NSPR) set SIGPIPE to be ignored as they start.
const bool pipeIgnoredAtStart = [] {
    struct sigaction found {};
    return ::sigaction(SIGPIPE, nullptr, &found) == 0 && found.sa_handler == SIG_IGN;
}();
struct sigaction previousEnding[std::size(kEndingSignals)];
struct sigaction previousIgnored[std::size(kIgnoredSignals)];

extern "C" void Note(int signal) {
    noted = signal;
}

}  // namespace

Interruption::Interruption() {
    noted = 0;
    live = true;
    struct sigaction note {};
    note.sa_handler = &Note;
    sigemptyset(&note.sa_mask);
    note.sa_flags = 0;  // no SA_RESTART: a blocked read or write returns with EINTR
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        ::sigaction(kEndingSignals[i], nullptr, &previousEnding[i]);
        if (previousEnding[i].sa_handler != SIG_IGN) {
            ::sigaction(kEndingSignals[i], &note, nullptr);
        }
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (std::size_t i = 0; i < std::size(kIgnoredSignals); ++i) {
        ::sigaction(kIgnoredSignals[i], &ignore, &previousIgnored[i]);
    }
}

Interruption::~Interruption() {
    for (std::size_t i = 0; i < std::size(kIgnoredSignals); ++i) {
        ::sigaction(kIgnoredSignals[i], &previousIgnored[i], nullptr);
    }
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        ::sigaction(kEndingSignals[i], &previousEnding[i], nullptr);
    }
    live = false;
    if (const int signal = noted; signal != 0) {
        noted = 0;
        if (signal == SIGPIPE) {
            ::signal(SIGPIPE, SIG_DFL);  // whatever a library set, the program was not started so
        }
        ::raise(signal);
    }
}

bool Interruption::Noted() {
    return noted != 0;
}

void Interruption::EndIfNoted() {
    const int signal = noted;
    if (signal == 0) {
        return;
    }
    // The disposition found before, so that whatever the program does on the signal (say
    // that it was interrupted) happens; the default one when that returns.
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
        if (kEndingSignals[i] == signal) {
            ::sigaction(signal, &previousEnding[i], nullptr);
        }
    }
    ::raise(signal);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    ::_exit(128 + signal);  // a signal the caller's thread blocks
}

Failure Interruption::ReaderGone() {
    if (live && !pipeIgnoredAtStart) {
        noted = SIGPIPE;
        return Interrupted();
    }
    return ArisingFrom(FailureOrigin::Output, SystemFailure(EPIPE));
}

bool Interruption::PipeIgnoredAtStart() {
    return pipeIgnoredAtStart;
}

Failure Interruption::Interrupted() {
    return Failure{static_cast<std::uint32_t>(EINTR), "Interrupted by a signal.",
                   FailureOrigin::Interrupted};
}

}  // namespace mirebolt::platform
