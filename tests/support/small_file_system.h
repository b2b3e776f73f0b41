#pragma once

#include <sys/mount.h>

#include <string>

#include "support/test_files.h"

namespace mirebolt::testing {

// A memory file system of a few pages, mounted on a fresh folder for the scope: a disk that
// fills up, for root too. Needs the right to mount (root, as on CI); ok() says whether it took.
class SmallFileSystem {
  public:
    explicit SmallFileSystem(std::size_t bytes)
        : ok_(::mount("tmpfs", dir_.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                      ("size=" + std::to_string(bytes) + ",mode=0700").c_str()) == 0) {}
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    ~SmallFileSystem() {
        if (ok_) {
            ::umount2(dir_.path().c_str(), MNT_DETACH);
        }
    }

    bool ok() const { return ok_; }
    std::string operator/(const std::string& name) const { return dir_ / name; }
    const std::filesystem::path& path() const { return dir_.path(); }

  private:
    TempDir dir_;
    bool ok_;
};

}  // namespace mirebolt::testing
