#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "feedback/feedback.h"
#include "platform/byte_stream.h"
#include "protection/command_outcome.h"
#include "protection/file_identity.h"

namespace mirebolt::cli {

// What a command that streams gets to work with.
struct StreamedIo {
    platform::ByteStream& input;  // the file or standard input, showing progress on a terminal
    std::optional<std::uint64_t> inputSize;             // for a regular file
    std::optional<protection::FileIdentity> inputFile;  // which the output must not be
    platform::ByteSink& standardOutput;
};

// Runs `command` on `file` ("-" for standard input) read front to back and gives the exit
// status. A signal that interrupts the run makes it fail as any failure does, its temporary
// file removed, and then ends the program as the signal would have.
int RunStreamed(const std::string& file, feedback::Feedback& feedback,
                const std::function<protection::CommandOutcome(const StreamedIo&)>& command);

}  // namespace mirebolt::cli
