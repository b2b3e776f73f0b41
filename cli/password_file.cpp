#include "cli/password_file.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/system_error.h"
#include "base/unique_fd.h"

namespace mirebolt::cli {

Result<PasswordLine> ReadPasswordFile(const std::string& path) {
    // Opened without waiting: opening a named pipe otherwise blocks until someone writes to it,
    // and a pipe is refused anyway.
    platform::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file) {
        return platform::SystemFailure(errno);
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return platform::SystemFailure(errno);
    }
    // A pipe or a device may keep the run waiting for ever, with nothing said; a password file
    // is a file.
    if (!S_ISREG(info.st_mode)) {
        return Failure{static_cast<std::uint32_t>(EINVAL),
                       "it is not a regular file (a pipe, a device or a folder)"};
    }
    PasswordLine line;
    line.readableByOthers = (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) < 0) {
        return platform::SystemFailure(errno);
    }
    // Byte by byte, so that nothing after the first line is ever taken from a pipe.
    char c = 0;
    for (;;) {
        const ssize_t got = ::read(file.get(), &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            const int error = errno;
            return platform::SystemFailure(error);
        }
        if (got == 0 || c == '\n') {
            break;
        }
        if (c == '\0' || line.password.size() == kMaxPasswordLine) {
            c = 0;
            return Failure{static_cast<std::uint32_t>(EINVAL),
                           "its first line is not a password (binary bytes, or longer than " +
                               std::to_string(kMaxPasswordLine) + " bytes)"};
        }
        line.password.push_back(c);
    }
    c = 0;
    if (line.password.view().ends_with('\r')) {
        line.password = platform::Secret(line.password.view().substr(0, line.password.size() - 1));
    }
    return line;
}

}  // namespace mirebolt::cli
