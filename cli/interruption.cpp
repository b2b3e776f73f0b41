#include "cli/interruption.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>

namespace mirebolt::cli {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t noted = 0;
struct sigaction previous[std::size(kSignals)];

extern "C" void Note(int signal) {
    noted = signal;
}

}  // namespace

Interruption::Interruption() {
    struct sigaction note {};
    note.sa_handler = &Note;
    sigemptyset(&note.sa_mask);
    note.sa_flags = 0;  // no SA_RESTART: a blocked read or write returns with EINTR
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], &note, &previous[i]);
    }
}

Interruption::~Interruption() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], &previous[i], nullptr);
    }
}

bool Interruption::Noted() {
    return noted != 0;
}

void Interruption::EndBySignal() {
    const int signal = noted;
    ::signal(signal, SIG_DFL);
    ::raise(signal);
    std::_Exit(128 + signal);
}

}  // namespace mirebolt::cli
