#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/result.h"

namespace mirebolt::platform {

// Bytes read once, front to back, such as standard input or a file too large to hold: a reader
// of a stream never goes back.
class ByteStream {
  public:
    virtual ~ByteStream() = default;

    // Gives what the stream has, up to `out`'s size: possibly fewer bytes than asked, as a pipe
    // does, and 0 only at the end.
    virtual Result<std::size_t> Read(std::span<std::uint8_t> out) = 0;
};

// Where bytes made in pieces go: a file being written, standard output, a test's buffer. The
// pieces of a failed operation are the caller's to discard.
class ByteSink {
  public:
    virtual ~ByteSink() = default;

    // Takes every byte or fails.
    virtual Status Write(std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace mirebolt::platform
