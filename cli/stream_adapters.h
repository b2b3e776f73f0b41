#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "base/byte_stream.h"
#include "feedback/wait_cursor.h"

namespace mirebolt::cli {

// A file descriptor written in pieces: standard output, or a device or pipe named as the
// output. Its failures are the output's; a reader that went away ends the run by SIGPIPE; a
// signal noted by the running command's Interruption stops it.
class DescriptorSink : public platform::ByteSink {
  public:
    explicit DescriptorSink(int fd) : fd_(fd) {}
    Status Write(std::span<const std::uint8_t> bytes) override;

  private:
    int fd_;
};

// A terminal has no wait cursor; for a run longer than a second it keeps a line on standard
// error up to date with how much of the input was read, when standard error is a terminal.
class TerminalProgress : public feedback::BusyIndicator {
  public:
    TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;
    ~TerminalProgress() override;  // ends the line it drew

    void ShowBusy() override {}
    void ShowIdle() override;
    void ShowProgress(std::uint64_t done, std::optional<std::uint64_t> total) override;

  private:
    void Draw();
    void End();

    bool terminal_ = false;
    bool drawn_ = false;
    std::uint64_t done_ = 0;
    std::optional<std::uint64_t> total_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point lastDrawn_;
};

}  // namespace mirebolt::cli
