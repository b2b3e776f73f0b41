#include <sys/stat.h>
#include <unistd.h>

#include "cli/commands.h"

namespace mirebolt::cli {

bool IsStandardOutput(const std::string& path) {
    struct stat named {};
    struct stat output {};
    return ::stat(path.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &output) == 0 &&
           named.st_dev == output.st_dev && named.st_ino == output.st_ino;
}

}  // namespace mirebolt::cli
