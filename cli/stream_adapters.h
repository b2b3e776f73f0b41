#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/byte_stream.h"
#include "platform/unique_fd.h"
#include "protection/file_identity.h"

namespace mirebolt::cli {

// A file descriptor read front to back: standard input, a pipe, or a file too large to hold.
// A run that is interrupted (see Interruption) fails at the next read. Its failures are the
// input's.
class DescriptorStream : public platform::ByteStream {
  public:
    explicit DescriptorStream(int fd) : fd_(fd) {}
    Result<std::size_t> Read(std::span<std::uint8_t> out) override;

  private:
    int fd_;
};

// A file descriptor written in pieces: standard output. Its failures are the output's.
class DescriptorSink : public platform::ByteSink {
  public:
    explicit DescriptorSink(int fd) : fd_(fd) {}
    Status Write(std::span<const std::uint8_t> bytes) override;

  private:
    int fd_;
};

// Counts what passes through and, for a run longer than a second, keeps a line on standard
// error up to date with it, when standard error is a terminal.
class ProgressStream : public platform::ByteStream {
  public:
    ProgressStream(platform::ByteStream& inner, std::optional<std::uint64_t> total);
    ProgressStream(const ProgressStream&) = delete;
    ProgressStream& operator=(const ProgressStream&) = delete;
    ~ProgressStream() override;  // ends the line it drew
    Result<std::size_t> Read(std::span<std::uint8_t> out) override;

  private:
    void Draw();

    platform::ByteStream& inner_;
    std::optional<std::uint64_t> total_;
    std::uint64_t done_ = 0;
    bool terminal_ = false;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastDrawn_;
};

// The input of a streamed command: the named file, or standard input for "-". A regular file
// tells its size and identity, so that its message can be DER and the output cannot be it.
struct StreamedInput {
    platform::UniqueFd opened;  // empty for standard input
    int fd = 0;
    std::optional<std::uint64_t> size;
    std::optional<protection::FileIdentity> identity;
};

// Opens `file` for a streamed command; nothing when it cannot be opened.
std::optional<StreamedInput> OpenStreamedInput(const std::string& file);

}  // namespace mirebolt::cli
