#pragma once

#include <optional>
#include <string>

#include "base/result.h"
#include "base/unique_fd.h"
#include "cli/stream_adapters.h"

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

}  // namespace mirebolt::cli
