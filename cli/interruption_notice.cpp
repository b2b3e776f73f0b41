#include "cli/interruption_notice.h"

#include <signal.h>
#include <unistd.h>

#include <cstddef>

namespace mirebolt::cli {

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Told before any signal can come: a handler may not ask.
bool errorsToTerminal = false;

// Only async-signal-safe calls: a write of a fixed text, then the default action.
extern "C" void SayAndEnd(int signal) {
    static constexpr char kText[] = "\nmirebolt-cli: interrupted\n";
    // A terminal's Ctrl-C echoes "^C" on the line: the text starts on a line of its own.
    const char* text = errorsToTerminal ? kText : kText + 1;
    const std::size_t length = sizeof kText - (errorsToTerminal ? 1 : 2);
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, text, length);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

}  // namespace

void SayWhenInterrupted() {
    errorsToTerminal = ::isatty(STDERR_FILENO) == 1;
    struct sigaction say {};
    say.sa_handler = &SayAndEnd;
    sigemptyset(&say.sa_mask);
    for (int signal : kEndingSignals) {
        struct sigaction found {};
        if (::sigaction(signal, nullptr, &found) == 0 && found.sa_handler != SIG_IGN) {
            ::sigaction(signal, &say, nullptr);
        }
    }
}

}  // namespace mirebolt::cli
