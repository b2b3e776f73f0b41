#include "cli/stream_adapters.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "cli/interruption.h"
#include "platform/error_text.h"

namespace mirebolt::cli {

namespace {

Failure InputFailure(int error) {
    return ArisingFrom(FailureOrigin::Input, platform::SystemFailure(error));
}

Failure OutputFailure(int error) {
    return ArisingFrom(FailureOrigin::Output, platform::SystemFailure(error));
}

}  // namespace

Result<std::size_t> DescriptorStream::Read(std::span<std::uint8_t> out) {
    std::size_t filled = 0;
    while (filled < out.size()) {
        if (Interruption::Noted()) {
            return InputFailure(EINTR);
        }
        const ssize_t got = ::read(fd_, out.data() + filled, out.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return InputFailure(errno);
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    return filled;
}

Status DescriptorSink::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (Interruption::Noted()) {
            return OutputFailure(EINTR);
        }
        const ssize_t wrote = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote < 0) {
            return OutputFailure(errno);
        }
        done += static_cast<std::size_t>(wrote);
    }
    return {};
}

ProgressStream::ProgressStream(platform::ByteStream& inner, std::optional<std::uint64_t> total)
    : inner_(inner),
      total_(total),
      terminal_(::isatty(STDERR_FILENO) == 1),
      started_(std::chrono::steady_clock::now()),
      lastDrawn_(started_) {}

ProgressStream::~ProgressStream() {
    if (drawn_) {
        Draw();
        std::fputc('\n', stderr);
    }
}

Result<std::size_t> ProgressStream::Read(std::span<std::uint8_t> out) {
    Result<std::size_t> got = inner_.Read(out);
    if (got) {
        done_ += *got;
    }
    const auto now = std::chrono::steady_clock::now();
    if (terminal_ && now - started_ >= std::chrono::seconds(1) &&
        (!drawn_ || now - lastDrawn_ >= std::chrono::milliseconds(200))) {
        lastDrawn_ = now;
        drawn_ = true;
        Draw();
    }
    return got;
}

void ProgressStream::Draw() {
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

std::optional<StreamedInput> OpenStreamedInput(const std::string& file) {
    StreamedInput input;
    input.fd = STDIN_FILENO;
    if (file == "-") {
        return input;
    }
    input.opened = platform::UniqueFd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (!input.opened || ::fstat(input.opened.get(), &info) != 0) {
        return std::nullopt;
    }
    input.fd = input.opened.get();
    input.identity = protection::FileIdentity{info.st_dev, info.st_ino};
    if (S_ISREG(info.st_mode)) {
        input.size = static_cast<std::uint64_t>(info.st_size);
    }
    return input;
}

}  // namespace mirebolt::cli
