#include "cli/stream_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/system_error.h"
#include "cli/commands.h"

namespace mirebolt::cli {

namespace {

bool IsStream(const struct stat& info) {
    return S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode);
}

}  // namespace

Result<std::optional<StreamTarget>> StreamTarget::For(const std::string& output) {
    if (output == "-") {
        return std::optional<StreamTarget>(
            StreamTarget(platform::UniqueFd(), STDOUT_FILENO,
                         protection::CommandLineChoices().standardOutputLabel));
    }
    // A link to a device counts as the device, as for any program that writes to a name.
    struct stat named {};
    if (::stat(output.c_str(), &named) != 0 || !IsStream(named)) {
        return std::optional<StreamTarget>();
    }
    // A pipe's writer waits here for its reader, as a shell's redirection does.
    platform::UniqueFd fd(::open(output.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        return ArisingFrom(FailureOrigin::Output, platform::SystemFailure(errno));
    }
    struct stat opened {};
    if (::fstat(fd.get(), &opened) != 0) {
        return ArisingFrom(FailureOrigin::Output, platform::SystemFailure(errno));
    }
    // Swapped for a file meanwhile: that file would be written over in place, so it is not.
    if (!IsStream(opened)) {
        return ArisingFrom(FailureOrigin::Output, platform::SystemFailure(EEXIST));
    }
    const int written = fd.get();
    return std::optional<StreamTarget>(StreamTarget(std::move(fd), written, output));
}

bool ChooseStreams(const std::string& file, const Options& options,
                   std::optional<StreamTarget>& stream, protection::CommandLineChoices& choices) {
    choices.standardInput = file == "-";
    const std::string output = options.output.value_or(choices.standardInput ? "-" : "");
    if (output.empty()) {
        return true;
    }
    Result<std::optional<StreamTarget>> target = StreamTarget::For(output);
    if (!target) {
        std::fprintf(stderr, "%s: error: cannot write \"%s\": %s\n", kProgram, output.c_str(),
                     target.failure().text.c_str());
        return false;
    }
    stream = std::move(*target);
    if (stream) {
        choices.standardOutput = &stream->sink();
        choices.standardOutputLabel = stream->label();
    }
    return true;
}

InformationTo InformationFor(const Options& options, const std::optional<StreamTarget>& stream) {
    if (options.quiet) {
        return InformationTo::Nowhere;
    }
    return stream && stream->label() == protection::CommandLineChoices().standardOutputLabel
               ? InformationTo::StandardError
               : InformationTo::StandardOutput;
}

}  // namespace mirebolt::cli
