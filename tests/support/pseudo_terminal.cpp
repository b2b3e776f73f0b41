#include "support/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace mirebolt::testing {

PseudoTerminalProgram::PseudoTerminalProgram(const std::vector<std::string>& arguments,
                                             const std::vector<std::string>& environment,
                                             const std::string& workingDirectory) {
    int controller = -1;
    int terminal = -1;
    if (::openpty(&controller, &terminal, nullptr, nullptr, nullptr) != 0) {
        return;
    }
    controller_ = platform::UniqueFd(controller);
    terminal_ = platform::UniqueFd(terminal);
    ::fcntl(controller, F_SETFD, FD_CLOEXEC);
    ::fcntl(terminal, F_SETFD, FD_CLOEXEC);

    // Everything the child needs is made before fork: after it, only exec-safe calls.
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& change : environment) {
            replaced = replaced || change.substr(0, change.find('=')) == name;
        }
        if (!replaced) {
            variables.push_back(entry);
        }
    }
    variables.insert(variables.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    child_ = ::fork();
    if (child_ == 0) {
        ::setsid();
        ::ioctl(terminal, TIOCSCTTY, 0);
        ::dup2(terminal, 0);
        ::dup2(terminal, 1);
        ::dup2(terminal, 2);
        // The test's own handlers and mask are not the program's.
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            ::signal(signal, SIG_DFL);
        }
        if (::chdir(workingDirectory.c_str()) == 0) {
            ::execve(argv[0], argv.data(), envp.data());
        }
        ::_exit(127);
    }
}

PseudoTerminalProgram::~PseudoTerminalProgram() {
    if (child_ > 0) {
        ::kill(child_, SIGKILL);
        int status = 0;
        while (::waitpid(child_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

void PseudoTerminalProgram::ReadAvailable(int timeoutMs) {
    pollfd waiting{controller_.get(), POLLIN, 0};
    if (::poll(&waiting, 1, timeoutMs) <= 0 || (waiting.revents & POLLIN) == 0) {
        return;
    }
    char buffer[4096];
    const ssize_t got = ::read(controller_.get(), buffer, sizeof buffer);
    if (got > 0) {
        shown_.append(buffer, static_cast<std::size_t>(got));
    }
}

bool PseudoTerminalProgram::WaitFor(const std::string& text, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (shown_.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        ReadAvailable(50);
    }
    return true;
}

void PseudoTerminalProgram::Type(const std::string& keys) {
    // Keys that do not arrive show in what the program prints, which every test checks.
    if (::write(controller_.get(), keys.data(), keys.size()) < 0) {
    }
}

void PseudoTerminalProgram::Signal(int signal) {
    if (child_ > 0) {
        ::kill(child_, signal);
    }
}

bool PseudoTerminalProgram::EchoOn() const {
    termios settings{};
    return ::tcgetattr(terminal_.get(), &settings) == 0 && (settings.c_lflag & ECHO) != 0;
}

int PseudoTerminalProgram::Wait(std::chrono::milliseconds limit) {
    if (child_ <= 0) {
        return -1;
    }
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(child_, &status, WNOHANG);
        if (ended == child_) {
            break;
        }
        if (std::chrono::steady_clock::now() >= end) {
            ::kill(child_, SIGKILL);
            while (::waitpid(child_, &status, 0) < 0 && errno == EINTR) {
            }
            child_ = -1;
            return -1;
        }
        ReadAvailable(20);
    }
    child_ = -1;
    ReadAvailable(0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace mirebolt::testing
