#include "protection/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/error_text.h"

namespace mirebolt::protection {

namespace {

Failure InputFailure(int error) {
    return ArisingFrom(FailureOrigin::Input, platform::SystemFailure(error));
}

}  // namespace

Result<InputFile> InputFile::Open(const std::string& path) {
    // Non-blocking, so that a pipe without a writer does not hang the program.
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        return InputFailure(errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        return InputFailure(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return InputFailure(EISDIR);
    }
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd.get(), F_OFD_SETLK, &lock) != 0 && (errno == EAGAIN || errno == EACCES)) {
        return InputFailure(errno);  // someone holds it locked for writing
    }
    InputFile input;
    input.fd_ = std::move(fd);
    if (S_ISREG(info.st_mode)) {
        input.size_ = static_cast<std::uint64_t>(info.st_size);
    }
    input.identity_ = FileIdentity{info.st_dev, info.st_ino};
    input.path_ = path;
    input.modified_ = info.st_mtim;
    input.changed_ = info.st_ctim;
    return input;
}

Failure InputFile::Changed() {
    return Failure{static_cast<std::uint32_t>(EIO), "The file changed while it was being read.",
                   FailureOrigin::Input};
}

Status InputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got = ::pread(fd_.get(), out.data() + done, out.size() - done,
                                    static_cast<off_t>(offset + done));
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
    return {};
}

Status InputFile::ConfirmUnchanged() {
    struct stat info {};
    if (::fstat(fd_.get(), &info) != 0) {
        return InputFailure(errno);
    }
    const auto same = [](const timespec& a, const timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    const bool sameSize = size_.has_value() && static_cast<std::uint64_t>(info.st_size) == *size_;
    if (!sameSize || !same(info.st_mtim, modified_) || !same(info.st_ctim, changed_)) {
        return Changed();
    }
    // The name must still lead to the file that was read, not to one put in its place.
    struct stat named {};
    if (::stat(path_.c_str(), &named) != 0 ||
        FileIdentity{named.st_dev, named.st_ino} != identity_) {
        return Changed();
    }
    return {};
}

}  // namespace mirebolt::protection
