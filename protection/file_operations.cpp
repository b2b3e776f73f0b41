#include "protection/file_operations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/system_error.h"
#include "base/unique_fd.h"
#include "protection/name_state.h"

namespace mirebolt::protection {

namespace {

constexpr int kProbeNames = 100;

std::string ProbeName(const std::string& outputName, int attempt) {
    return outputName + "_" + (attempt == 0 ? std::string() : std::to_string(attempt)) + ".xxx";
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
    if (NameState::Of(outputName).kind == NameState::Kind::Other) {
        return platform::SystemFailure(EEXIST);
    }
    for (int attempt = 0; attempt < kProbeNames; ++attempt) {
        const std::string probe = ProbeName(outputName, attempt);
        platform::UniqueFd fd(::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd) {
            if (errno == EEXIST) {
                continue;
            }
            return platform::SystemFailure(errno);
        }
        fd.Reset();
        ::unlink(probe.c_str());
        return {};
    }
    return platform::SystemFailure(EEXIST);
}

bool DeleteFile(const std::string& name) {
    return ::unlink(name.c_str()) == 0;
}

}  // namespace mirebolt::protection
