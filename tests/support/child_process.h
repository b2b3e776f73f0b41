#pragma once

#include <sys/resource.h>

#include <string>
#include <vector>

namespace mirebolt::testing {

// How to start a program: no shell between, standard input empty.
struct ChildSetup {
    // The program and its arguments; a program name without a slash is looked up in PATH.
    std::vector<std::string> arguments;
    // "NAME=VALUE" entries that replace or add to this process's environment.
    std::vector<std::string> environmentChanges;
    // Where it runs; empty: where this process runs.
    std::string workingDirectory;
    // Descriptors that become its standard output and error; -1 for /dev/null.
    int standardOutput = -1;
    int standardError = -1;
    // A session of its own, so without a controlling terminal.
    bool ownSession = false;
};

struct ChildOutcome {
    bool started = false;
    // The exit status, or 128 plus the signal that ended it, as a shell reports them.
    int exitCode = -1;
    // What it used, its peak memory (ru_maxrss) among it.
    rusage usage{};
};

// Starts the program and waits for its end.
ChildOutcome RunChild(const ChildSetup& setup);

}  // namespace mirebolt::testing
