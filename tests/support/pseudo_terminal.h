#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/unique_fd.h"

namespace mirebolt::testing {

// A program run on a pseudo-terminal of its own, as its controlling terminal: the test types
// into it, reads what the terminal shows, looks at the terminal's settings and sends signals.
class PseudoTerminalProgram {
  public:
    PseudoTerminalProgram(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment,
                          const std::string& workingDirectory);
    PseudoTerminalProgram(const PseudoTerminalProgram&) = delete;
    PseudoTerminalProgram& operator=(const PseudoTerminalProgram&) = delete;
    ~PseudoTerminalProgram();  // kills the program if it still runs

    bool started() const { return child_ > 0; }
    // Reads what the terminal shows until `text` has appeared; false when it does not within
    // the time.
    bool WaitFor(const std::string& text,
                 std::chrono::milliseconds limit = std::chrono::seconds(20));
    void Type(const std::string& keys);
    void Signal(int signal);
    bool EchoOn() const;
    // Waits for the program to end, reading the terminal meanwhile; its exit status, or 128 +
    // the signal that ended it, or -1 when it had to be killed after the time ran out.
    int Wait(std::chrono::milliseconds limit = std::chrono::seconds(30));
    // Everything the terminal showed so far.
    const std::string& shown() const { return shown_; }

  private:
    void ReadAvailable(int timeoutMs);

    platform::UniqueFd controller_;
    platform::UniqueFd terminal_;
    pid_t child_ = -1;
    std::string shown_;
};

}  // namespace mirebolt::testing
