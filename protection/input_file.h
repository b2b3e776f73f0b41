#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "platform/byte_source.h"
#include "platform/result.h"
#include "platform/unique_fd.h"
#include "protection/file_identity.h"

namespace mirebolt::protection {

// The input of one command run, opened for reading only. Other programs are not kept from
// changing it, so it is read in pieces, never mapped: a mapping of a file that shrinks faults
// and would kill the program. Any change while it is read is a read failure: of its size, its
// modification time, its change time (which no one can put back, so an edit with the time
// restored shows too), or of the file its name leads to. An advisory read lock keeps out programs
// that lock the file for writing.
class InputFile final : public platform::ByteSource {
  public:
    static Result<InputFile> Open(const std::string& path);

    // The size in bytes; nothing when it cannot be told, as for a pipe or a device.
    std::optional<std::uint64_t> knownSize() const { return size_; }
    FileIdentity identity() const { return identity_; }

    // As a byte source: 0 bytes where the size cannot be told. Every failure, a change found
    // included, is the input's.
    std::uint64_t Size() const override { return size_.value_or(0); }
    Status ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
    Status ConfirmUnchanged() override;

  private:
    InputFile() = default;
    Failure Changed();

    platform::UniqueFd fd_;
    std::optional<std::uint64_t> size_;
    std::string path_;
    FileIdentity identity_;
    timespec modified_{};
    timespec changed_{};
};

}  // namespace mirebolt::protection
