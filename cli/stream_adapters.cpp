#include "cli/stream_adapters.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/interruption.h"
#include "base/system_error.h"

namespace mirebolt::cli {

Status DescriptorSink::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (platform::Interruption::Noted()) {
            return platform::Interruption::Interrupted();
        }
        const ssize_t wrote = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote < 0 && errno == EPIPE) {
            return platform::Interruption::ReaderGone();
        }
        if (wrote < 0) {
            return ArisingFrom(FailureOrigin::Output, platform::SystemFailure(errno));
        }
        done += static_cast<std::size_t>(wrote);
    }
    return {};
}

TerminalProgress::TerminalProgress()
    : terminal_(::isatty(STDERR_FILENO) == 1),
      started_(std::chrono::steady_clock::now()),
      lastDrawn_(started_) {}

TerminalProgress::~TerminalProgress() {
    End();
}

void TerminalProgress::ShowIdle() {
    End();
}

void TerminalProgress::ShowProgress(std::uint64_t done, std::optional<std::uint64_t> total) {
    done_ = done;
    total_ = total;
    if (!terminal_) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - started_ >= std::chrono::seconds(1) &&
        (!drawn_ || now - lastDrawn_ >= std::chrono::milliseconds(200))) {
        lastDrawn_ = now;
        drawn_ = true;
        Draw();
    }
}

void TerminalProgress::End() {
    if (drawn_) {
        Draw();
        std::fputc('\n', stderr);
        drawn_ = false;
    }
}

void TerminalProgress::Draw() {
    constexpr double kMiB = 1024.0 * 1024.0;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    const double rate = seconds > 0 ? static_cast<double>(done_) / kMiB / seconds : 0;
    if (total_ && *total_ > 0) {
        std::fprintf(stderr, "\rmirebolt-cli: %.0f of %.0f MiB (%.0f%%), %.0f MiB/s ",
                     static_cast<double>(done_) / kMiB, static_cast<double>(*total_) / kMiB,
                     100.0 * static_cast<double>(done_) / static_cast<double>(*total_), rate);
    } else {
        std::fprintf(stderr, "\rmirebolt-cli: %.0f MiB, %.0f MiB/s ",
                     static_cast<double>(done_) / kMiB, rate);
    }
    std::fflush(stderr);
}

}  // namespace mirebolt::cli
