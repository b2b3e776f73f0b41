#include "protection/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/error_text.h"

namespace mirebolt::protection {

Result<OutputFile> OutputFile::Open(const std::string& name, Access access,
                                    std::optional<FileIdentity> mustNotBe) {
    const mode_t mode = access == Access::OwnerOnly ? 0600 : 0666;
    // Non-blocking, so that a pipe without a reader fails instead of hanging the program.
    constexpr int kFlags = O_WRONLY | O_CLOEXEC | O_NONBLOCK;
    OutputFile output;
    output.fd_ = platform::UniqueFd(::open(name.c_str(), kFlags | O_CREAT | O_EXCL, mode));
    output.created_ = static_cast<bool>(output.fd_);
    if (!output.fd_ && errno == EEXIST) {
        output.fd_ = platform::UniqueFd(::open(name.c_str(), kFlags));
    }
    if (!output.fd_) {
        return platform::SystemFailure(errno);
    }
    struct stat info {};
    if (::fstat(output.fd_.get(), &info) != 0) {
        return platform::SystemFailure(errno);
    }
    // Only now, with the file open, is it known which file the name leads to; nothing has
    // been emptied yet.
    if (mustNotBe && *mustNotBe == FileIdentity{info.st_dev, info.st_ino}) {
        return Failure{static_cast<std::uint32_t>(EINVAL),
                       "The output would overwrite the file that is being read."};
    }
    const int flags = ::fcntl(output.fd_.get(), F_GETFL);
    if (flags < 0 || ::fcntl(output.fd_.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return platform::SystemFailure(errno);
    }
    if (S_ISREG(info.st_mode) && !output.created_ && ::ftruncate(output.fd_.get(), 0) != 0) {
        return platform::SystemFailure(errno);
    }
    return output;
}

Status OutputFile::Write(std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd_.get(), bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            return platform::SystemFailure(errno);
        }
        if (written == 0) {
            return platform::SystemFailure(EIO);
        }
        done += static_cast<std::size_t>(written);
    }
    struct stat info {};
    if (::fstat(fd_.get(), &info) == 0 && S_ISREG(info.st_mode) && ::fdatasync(fd_.get()) != 0) {
        return platform::SystemFailure(errno);
    }
    return {};
}

}  // namespace mirebolt::protection
