#pragma once

#include <string>
#include <vector>

namespace mirebolt::testing {

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};

// Runs a program of the system (openssl, python3) with the given arguments, no shell between.
CommandResult RunCommand(const std::vector<std::string>& arguments);

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program as a person at a terminal-less shell would: in `workingDirectory`, with
// standard input empty, the environment changed by `environment` ("NAME=VALUE" each), and its
// two outputs kept apart.
ProgramResult RunProgram(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::string& workingDirectory);

}  // namespace mirebolt::testing
