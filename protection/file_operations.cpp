#include "protection/file_operations.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "base/system_error.h"
#include "base/unique_fd.h"
#include "protection/name_state.h"

namespace mirebolt::protection {

namespace {

constexpr int kProbeNames = 100;
constexpr std::size_t kNamePrefix = 200;  // keeps a random probe's name within the system's limit

std::string ProbeName(const std::string& outputName, int attempt) {
    return outputName + "_" + (attempt == 0 ? std::string() : std::to_string(attempt)) + ".xxx";
}

// Where the usual names do not fit the system's limit on a name, or someone took them all, a
// name no one could have taken in advance: the output's folder, part of its name and random
// letters.
std::string RandomProbeName(const std::string& outputName) {
    unsigned char random[6] = {};
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        return {};
    }
    const std::size_t slash = outputName.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::string name = outputName.substr(0, start) + outputName.substr(start, kNamePrefix) + "_";
    for (unsigned char byte : random) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", byte);
        name += hex;
    }
    return name + ".xxx";
}

// Why a name that holds something other than a regular file, or cannot be looked at, takes no
// output.
Failure NotAnOutput(const std::string& name, const struct stat& seen) {
    struct stat again {};
    if (::lstat(name.c_str(), &again) != 0) {
        return platform::SystemFailure(errno);
    }
    if (S_ISDIR(seen.st_mode)) {
        return platform::SystemFailure(EISDIR);
    }
    return Failure{static_cast<std::uint32_t>(EEXIST),
                   S_ISLNK(seen.st_mode) ? "it is a symbolic link, and an output never goes "
                                           "through one"
                                         : "it is neither a regular file nor free"};
}

std::size_t LastPartLength(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    return slash == std::string::npos ? name.size() : name.size() - slash - 1;
}

// Creates the probe under `probe` and deletes it again: 0, EEXIST when the name is taken, or
// why it could not be created.
int TryProbe(const std::string& probe) {
    platform::UniqueFd fd(::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd) {
        return errno;
    }
    fd.Reset();
    ::unlink(probe.c_str());
    return 0;
}

}  // namespace

bool FileExists(const std::string& name) {
    platform::UniqueFd fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        return false;
    }
    struct stat info {};
    return ::fstat(fd.get(), &info) == 0 && !S_ISDIR(info.st_mode);
}

Status ProbeWritable(const std::string& outputName) {
    // The output is never written through or over a link, dangling or not, a folder or a
    // device: a name that holds one is as unwritable as a folder that refuses new files, and
    // is found so now, before any work, rather than when the output is written.
    struct stat seen {};
    if (NameState::Of(outputName, AT_FDCWD, &seen).kind == NameState::Kind::Other) {
        return NotAnOutput(outputName, seen);
    }
    for (int attempt = 0; attempt < kProbeNames; ++attempt) {
        const int error = TryProbe(ProbeName(outputName, attempt));
        if (error == ENAMETOOLONG) {
            if (LastPartLength(outputName) > NAME_MAX) {
                return platform::SystemFailure(ENAMETOOLONG);  // the output's name itself
            }
            break;
        }
        if (error != EEXIST) {
            return error == 0 ? Status() : platform::SystemFailure(error);
        }
    }
    for (int attempt = 0; attempt < kProbeNames; ++attempt) {
        const std::string probe = RandomProbeName(outputName);
        if (probe.empty()) {
            return platform::SystemFailure(errno);
        }
        if (const int error = TryProbe(probe); error != EEXIST) {
            return error == 0 ? Status() : platform::SystemFailure(error);
        }
    }
    return platform::SystemFailure(EEXIST);
}

bool LeadsTo(const std::string& name, const FileIdentity& identity) {
    struct stat info {};
    return ::stat(name.c_str(), &info) == 0 && FileIdentity{info.st_dev, info.st_ino} == identity;
}

Failure OutputIsTheInput() {
    return Failure{static_cast<std::uint32_t>(EINVAL),
                   "The output would overwrite the file that is being read.",
                   FailureOrigin::Output};
}

bool DeleteFile(const std::string& name) {
    return ::unlink(name.c_str()) == 0;
}

}  // namespace mirebolt::protection
