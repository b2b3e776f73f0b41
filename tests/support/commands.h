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

}  // namespace mirebolt::testing
