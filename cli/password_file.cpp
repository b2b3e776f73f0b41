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
    platform::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!file) {
        return platform::SystemFailure(errno);
    }
    PasswordLine line;
    struct stat info {};
    if (::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode)) {
        line.readableByOthers = (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
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
