#include "cli/terminal.h"

#include <fcntl.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include "platform/unique_fd.h"

namespace mirebolt::cli {

namespace {

// Turns echo off for the scope, and back on however the scope ends.
class EchoOff {
  public:
    explicit EchoOff(int fd) : fd_(fd) {
        if (::tcgetattr(fd_, &saved_) == 0) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            active_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
    ~EchoOff() {
        if (active_) {
            ::tcsetattr(fd_, TCSAFLUSH, &saved_);
        }
    }

  private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

// Shows the prompt and reads one line into `Line` (a string or a secret), a character at a time.
template <class Line>
std::optional<Line> AskLine(const std::string& prompt, bool echo) {
    platform::UniqueFd tty(::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY));
    if (!tty) {
        return std::nullopt;
    }
    if (::write(tty.get(), prompt.data(), prompt.size()) < 0) {
        return std::nullopt;
    }
    Line line;
    {
        std::optional<EchoOff> quiet;
        if (!echo) {
            quiet.emplace(tty.get());
        }
        char c = 0;
        while (::read(tty.get(), &c, 1) == 1 && c != '\n') {
            line.push_back(c);
        }
    }
    if (!echo) {
        (void)::write(tty.get(), "\n", 1);
    }
    return line;
}

}  // namespace

std::optional<std::string> Terminal::Ask(const std::string& prompt, bool echo) {
    return AskLine<std::string>(prompt, echo);
}

std::optional<platform::Secret> Terminal::AskSecret(const std::string& prompt) {
    return AskLine<platform::Secret>(prompt, false);
}

}  // namespace mirebolt::cli
