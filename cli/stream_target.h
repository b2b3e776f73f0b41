#pragma once

#include <optional>
#include <string>

#include "base/result.h"
#include "base/unique_fd.h"
#include "cli/command_line.h"
#include "cli/stream_adapters.h"
#include "cli/terminal_ports.h"
#include "protection/command_line_choices.h"

namespace mirebolt::cli {

// Where a command's result goes when no file is put in place for it: standard output ("-"), or
// a character device or a pipe named as the output (/dev/null, a FIFO), written straight as the
// result comes. A file written beside such a name and renamed over it would replace the device
// or the pipe instead of writing to it.
class StreamTarget {
  public:
    // Nothing when `output` names a file to put in place (or nothing yet); a failure, with the
    // system's reason, when it names a device or pipe that cannot be opened for writing.
    static Result<std::optional<StreamTarget>> For(const std::string& output);

    DescriptorSink& sink() { return sink_; }
    // How the texts name it: "standard output", or the name given.
    const std::string& label() const { return label_; }

  private:
    StreamTarget(platform::UniqueFd owned, int fd, std::string label)
        : owned_(std::move(owned)), sink_(fd), label_(std::move(label)) {}

    platform::UniqueFd owned_;  // empty for standard output
    DescriptorSink sink_;
    std::string label_;
};

// Sets up where the result for `file` goes: the stream -o names (or standard output, for "-" as
// the input with no -o) into `stream`, and the choices' input and output. False after saying on
// standard error why the stream cannot be written.
bool ChooseStreams(const std::string& file, const Options& options,
                   std::optional<StreamTarget>& stream, protection::CommandLineChoices& choices);

// Where the success text goes: standard error when the data goes to standard output.
InformationTo InformationFor(const Options& options, const std::optional<StreamTarget>& stream);

}  // namespace mirebolt::cli
