#include "support/commands.h"

#include <stdlib.h>
#include <unistd.h>

#include <optional>
#include <utility>

#include "base/unique_fd.h"
#include "support/child_process.h"

namespace mirebolt::testing {

namespace {

// A file rather than a pipe, so that no output can fill up and stall the program; unlinked at
// once, so nothing is left behind.
platform::UniqueFd AnonymousFile() {
    char name[] = "/tmp/mirebolt-output-XXXXXX";
    platform::UniqueFd file(::mkstemp(name));
    if (file) {
        ::unlink(name);
    }
    return file;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

// Runs the program with its outputs in the given files; nothing when it could not start.
std::optional<int> RunInto(ChildSetup setup, int out, int err) {
    setup.standardOutput = out;
    setup.standardError = err;
    const ChildOutcome outcome = RunChild(setup);
    return outcome.started ? std::optional<int>(outcome.exitCode) : std::nullopt;
}

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& arguments) {
    platform::UniqueFd output = AnonymousFile();
    ChildSetup setup;
    setup.arguments = arguments;
    const std::optional<int> exitCode = RunInto(std::move(setup), output.get(), output.get());
    if (!exitCode) {
        return {-1, "cannot start " + arguments.front()};
    }
    return {*exitCode, ReadAll(output.get())};
}

ProgramResult RunProgram(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::string& workingDirectory) {
    platform::UniqueFd out = AnonymousFile();
    platform::UniqueFd err = AnonymousFile();
    ChildSetup setup;
    setup.arguments = arguments;
    setup.environmentChanges = environment;
    setup.workingDirectory = workingDirectory;
    setup.ownSession = true;
    const std::optional<int> exitCode = RunInto(std::move(setup), out.get(), err.get());
    if (!exitCode) {
        return {-1, "", "cannot start " + arguments.front()};
    }
    return {*exitCode, ReadAll(out.get()), ReadAll(err.get())};
}

}  // namespace mirebolt::testing
