#include "protection/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/interruption.h"
#include "base/system_error.h"

namespace mirebolt::protection {

namespace {

Failure InputFailure(int error) {
    return ArisingFrom(FailureOrigin::Input, platform::SystemFailure(error));
}

bool Same(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

Result<InputFile> InputFile::Open(const std::string& path, bool waitForWriter) {
    // Non-blocking, so that a pipe without a writer does not hang the program.
    platform::UniqueFd fd(
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | (waitForWriter ? 0 : O_NONBLOCK)));
    if (!fd) {
        return InputFailure(errno);
    }
    const int raw = fd.get();
    return FromDescriptor(std::move(fd), raw, path);
}

Result<InputFile> InputFile::StandardInput() {
    return FromDescriptor(platform::UniqueFd(), STDIN_FILENO, std::string());
}

Result<InputFile> InputFile::FromDescriptor(platform::UniqueFd owned, int fd, std::string path) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return InputFailure(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return InputFailure(EISDIR);
    }
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0 && (errno == EAGAIN || errno == EACCES)) {
        return InputFailure(errno);  // someone holds it locked for writing
    }
    InputFile input;
    if (S_ISREG(info.st_mode)) {
        // Standard input may have been read from already: its content starts where it stands.
        const off_t at = path.empty() ? ::lseek(fd, 0, SEEK_CUR) : 0;
        input.start_ = at > 0 ? static_cast<std::uint64_t>(at) : 0;
        const auto size = static_cast<std::uint64_t>(info.st_size);
        input.size_ = size > input.start_ ? size - input.start_ : 0;
    } else if (!path.empty()) {
        // A pipe or device is read as a stream, and waits for what it gives.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0) {
            ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        }
    }
    input.owned_ = std::move(owned);
    input.fd_ = fd;
    input.identity_ = FileIdentity{info.st_dev, info.st_ino};
    input.path_ = std::move(path);
    input.modified_ = info.st_mtim;
    input.changed_ = info.st_ctim;
    return input;
}

Failure InputFile::Changed() {
    return Failure{static_cast<std::uint32_t>(EIO), "The file changed while it was being read.",
                   FailureOrigin::Input};
}

void InputFile::Advance(std::size_t count) {
    read_ += count;
    if (progress_ != nullptr) {
        progress_->ShowProgress(read_, size_);
    }
}

Result<std::size_t> InputFile::Read(std::span<std::uint8_t> out) {
    if (size_) {
        // A file gives what it had when opened; a file that grew since shows at the end.
        const std::uint64_t left = *size_ - std::min(position_, *size_);
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(left, out.size()));
        if (Status read = ReadAt(position_, out.first(count)); !read) {
            return read.failure();
        }
        position_ += count;
        return count;
    }
    for (;;) {
        if (platform::Interruption::Noted()) {
            return platform::Interruption::Interrupted();
        }
        const ssize_t got = ::read(fd_, out.data(), out.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return InputFailure(errno);
        }
        Advance(static_cast<std::size_t>(got));
        return static_cast<std::size_t>(got);
    }
}

Status InputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        if (platform::Interruption::Noted()) {
            return platform::Interruption::Interrupted();
        }
        const ssize_t got = ::pread(fd_, out.data() + done, out.size() - done,
                                    static_cast<off_t>(start_ + offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return InputFailure(errno);
        }
        if (got == 0) {
            return Changed();  // the file shrank
        }
        done += static_cast<std::size_t>(got);
    }
    Advance(done);
    return {};
}

Status InputFile::ConfirmUnchanged() {
    if (!size_) {
        return {};  // a pipe's bytes are read once: there is nothing to compare them with
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0) {
        return InputFailure(errno);
    }
    if (static_cast<std::uint64_t>(info.st_size) != start_ + *size_ ||
        !Same(info.st_mtim, modified_) || !Same(info.st_ctim, changed_)) {
        return Changed();
    }
    // The name must still lead to the file that was read, not to one put in its place.
    struct stat named {};
    if (!path_.empty() && (::stat(path_.c_str(), &named) != 0 ||
                           FileIdentity{named.st_dev, named.st_ino} != identity_)) {
        return Changed();
    }
    return {};
}

}  // namespace mirebolt::protection
