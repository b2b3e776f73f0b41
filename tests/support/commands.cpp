#include "support/commands.h"

#include <stdlib.h>
#include <unistd.h>

#include "platform/child_process.h"
#include "platform/unique_fd.h"

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

}  // namespace

CommandResult RunCommand(const std::vector<std::string>& arguments) {
    CommandResult result;
    platform::UniqueFd output = AnonymousFile();
    platform::ChildSetup setup;
    setup.arguments = arguments;
    setup.standardOutput = output.get();
    setup.standardError = output.get();
    const platform::ChildOutcome outcome = platform::RunChild(setup);
    if (!outcome.started) {
        result.output = "cannot start " + arguments.front();
        return result;
    }
    result.exitCode = outcome.exitCode;
    result.output = ReadAll(output.get());
    return result;
}

ProgramResult RunProgram(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment,
                         const std::string& workingDirectory) {
    ProgramResult result;
    platform::UniqueFd out = AnonymousFile();
    platform::UniqueFd err = AnonymousFile();
    platform::ChildSetup setup{arguments,          environment, workingDirectory,
                               out.get(),          err.get(),
                               /*ownSession=*/true};
    const platform::ChildOutcome outcome = platform::RunChild(setup);
    if (!outcome.started) {
        result.err = "cannot start " + arguments.front();
        return result;
    }
    result.exitCode = outcome.exitCode;
    result.out = ReadAll(out.get());
    result.err = ReadAll(err.get());
    return result;
}

}  // namespace mirebolt::testing
