#pragma once

#include <sys/types.h>

namespace mirebolt::protection {

// Which file a name or a descriptor leads to, whatever links led there.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

}  // namespace mirebolt::protection
