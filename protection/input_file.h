#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "base/byte_source.h"
#include "base/byte_stream.h"
#include "base/result.h"
#include "base/unique_fd.h"
#include "feedback/wait_cursor.h"
#include "protection/file_identity.h"

namespace mirebolt::protection {

// The input of one command run, a named file or standard input, opened for reading only and
// read in pieces, front to back (and, where it is a file, at any offset). Other programs are
// not kept from changing it, so it is never mapped: a mapping of a file that shrinks faults
// and would kill the program. A file's change while it is read is a read failure: of its size,
// its modification time, its change time (which no one can put back, so an edit with the time
// restored shows too), or of the file its name leads to. An advisory read lock keeps out
// programs that lock the file for writing. A signal noted by the running command's
// Interruption stops the reading.
class InputFile final : public platform::ByteSource, public platform::ByteStream {
  public:
    // A pipe named by `path` is opened without waiting for its writer unless `waitForWriter`:
    // the window must never hang, a command line waits as any command would.
    static Result<InputFile> Open(const std::string& path, bool waitForWriter = false);
    // Standard input, left open when the input goes.
    static Result<InputFile> StandardInput();

    InputFile(InputFile&&) = default;
    InputFile& operator=(InputFile&&) = default;

    // The size in bytes; nothing when it cannot be told, as for a pipe or a device.
    std::optional<std::uint64_t> knownSize() const { return size_; }
    FileIdentity identity() const { return identity_; }
    // Shown while the input is read: how much of it has been.
    void ShowProgressOn(feedback::BusyIndicator* indicator) { progress_ = indicator; }

    // As a stream: the bytes in order, from where a file stood when it was opened.
    Result<std::size_t> Read(std::span<std::uint8_t> out) override;

    // As a source: 0 bytes where the size cannot be told. Every failure, a change found
    // included, is the input's.
    std::uint64_t Size() const override { return size_.value_or(0); }
    Status ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
    // Called once every byte has been read; nothing to confirm for a pipe.
    Status ConfirmUnchanged() override;

  private:
    InputFile() = default;
    static Result<InputFile> FromDescriptor(platform::UniqueFd owned, int fd, std::string path);
    Failure Changed();
    void Advance(std::size_t count);

    platform::UniqueFd owned_;  // empty for standard input
    int fd_ = -1;
    std::optional<std::uint64_t> size_;
    std::uint64_t start_ = 0;     // where a file stood when opened: 0 unless standard input
    std::uint64_t position_ = 0;  // of the stream, from `start_`
    std::uint64_t read_ = 0;      // for the progress shown
    std::string path_;            // empty for standard input
    FileIdentity identity_;
    timespec modified_{};
    timespec changed_{};
    feedback::BusyIndicator* progress_ = nullptr;
};

}  // namespace mirebolt::protection
