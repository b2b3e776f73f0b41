#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include "base/result.h"

namespace mirebolt::platform {

// Random read access to a run of bytes that is read in pieces rather than held whole, such as an
// input file that another program could change while it is being read.
class ByteSource {
  public:
    virtual ~ByteSource() = default;

    virtual std::uint64_t Size() const = 0;
    // Fills `out` from `offset` on: all of it, or a failure.
    virtual Status ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
    // Called once every byte has been read: fails when the bytes changed meanwhile.
    virtual Status ConfirmUnchanged() { return {}; }
};

// Bytes already in memory, borrowed for the source's lifetime.
class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint64_t Size() const override { return bytes_.size(); }
    Status ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;

  private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace mirebolt::platform
