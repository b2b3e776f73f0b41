#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>

#include "base/unique_fd.h"

namespace mirebolt::testing {

// Marks a folder immutable for the scope: nothing can be created in it, not even by root, while
// the files already in it can still be read. Needs a file system and a capability that allow
// it; ok() says whether it took.
class ImmutableFolder {
  public:
    explicit ImmutableFolder(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        int flags = 0;
        if (fd_ && ::ioctl(fd_.get(), FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            ok_ = ::ioctl(fd_.get(), FS_IOC_SETFLAGS, &flags) == 0;
        }
    }
    ImmutableFolder(const ImmutableFolder&) = delete;
    ImmutableFolder& operator=(const ImmutableFolder&) = delete;
    ~ImmutableFolder() {
        int flags = 0;
        if (ok_ && ::ioctl(fd_.get(), FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(fd_.get(), FS_IOC_SETFLAGS, &flags);
        }
    }
    bool ok() const { return ok_; }

  private:
    platform::UniqueFd fd_;
    bool ok_ = false;
};

}  // namespace mirebolt::testing
