#include "cli/terminal.h"

#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "base/unique_fd.h"

namespace mirebolt::cli {

namespace {

// What a signal handler needs to give the terminal its echo back: plain data, since a handler
// may only make async-signal-safe calls.
volatile sig_atomic_t quietTerminal = -1;
termios savedSettings{};

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void RestoreEchoAndEnd(int signal) {
    const int fd = quietTerminal;
    if (fd >= 0) {
        ::tcsetattr(fd, TCSANOW, &savedSettings);
        // A newline lost here has no remedy in a signal handler, and needs none.
        if (::write(fd, "\n", 1) < 0) {
        }
    }
    // The default action, so that the shell sees the program ended by the signal.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Turns echo off for the scope, and back on however the scope or the program ends: echo comes
// back on Ctrl-C, on SIGTERM and when the terminal closes, whichever shell runs us (not every
// shell restores the terminal). The change takes effect at once and keeps what was typed ahead.
class EchoOff {
  public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (::tcgetattr(fd_, &savedSettings) != 0) {
            return;
        }
        sigset_t ending;
        sigemptyset(&ending);
        for (int signal : kEndingSignals) {
            sigaddset(&ending, signal);
        }
        // No signal between changing the terminal and being ready to change it back.
        ::sigprocmask(SIG_BLOCK, &ending, &previousMask_);
        struct sigaction restore {};
        restore.sa_handler = &RestoreEchoAndEnd;
        sigemptyset(&restore.sa_mask);
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            ::sigaction(kEndingSignals[i], &restore, &previousActions_[i]);
            // A signal the program was started to ignore (nohup) ends it here no more than
            // anywhere else.
            if (previousActions_[i].sa_handler == SIG_IGN) {
                ::sigaction(kEndingSignals[i], &previousActions_[i], nullptr);
            }
        }
        termios quiet = savedSettings;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
        active_ = ::tcsetattr(fd_, TCSANOW, &quiet) == 0;
        quietTerminal = active_ ? fd_ : -1;
        ::sigprocmask(SIG_SETMASK, &previousMask_, nullptr);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    ~EchoOff() {
        sigset_t all;
        sigfillset(&all);
        sigset_t before;
        ::sigprocmask(SIG_BLOCK, &all, &before);
        if (active_) {
            ::tcsetattr(fd_, TCSANOW, &savedSettings);
        }
        quietTerminal = -1;
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            ::sigaction(kEndingSignals[i], &previousActions_[i], nullptr);
        }
        ::sigprocmask(SIG_SETMASK, &before, nullptr);
    }

  private:
    int fd_;
    bool active_ = false;
    sigset_t previousMask_{};
    struct sigaction previousActions_[std::size(kEndingSignals)]{};
};

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// Shows the prompt and reads one line into `Line` (a string or a secret), a character at a time.
template <class Line>
std::optional<Line> AskLine(const std::string& prompt, bool echo) {
    platform::UniqueFd tty(::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY));
    if (!tty) {
        return std::nullopt;
    }
    // Echo goes off before the prompt shows, so that an answer typed the instant it appears is
    // never shown.
    std::optional<EchoOff> quiet;
    if (!echo) {
        quiet.emplace(tty.get());
    }
    if (!WriteAll(tty.get(), prompt)) {
        return std::nullopt;
    }
    Line line;
    char c = 0;
    bool ended = false;
    for (;;) {
        const ssize_t got = ::read(tty.get(), &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got != 1) {
            break;
        }
        if (c == '\n') {
            ended = true;
            break;
        }
        line.push_back(c);
    }
    c = 0;
    quiet.reset();
    if (!echo) {
        (void)WriteAll(tty.get(), "\n");
    }
    if (!ended && line.empty()) {
        return std::nullopt;  // the terminal closed, or Ctrl-D: nothing was answered
    }
    return line;
}

}  // namespace

bool Terminal::Present() {
    return platform::UniqueFd(::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY)).get() >= 0;
}

std::optional<std::string> Terminal::Ask(const std::string& prompt) {
    return AskLine<std::string>(prompt, true);
}

std::optional<platform::Secret> Terminal::AskSecret(const std::string& prompt) {
    return AskLine<platform::Secret>(prompt, false);
}

}  // namespace mirebolt::cli
