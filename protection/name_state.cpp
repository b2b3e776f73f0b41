#include "protection/name_state.h"

#include <cerrno>

namespace mirebolt::protection {

NameState NameState::Of(const std::string& name, int folder, struct stat* seen) {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        // A name that cannot even be looked at is nothing an output may take.
        return NameState{errno == ENOENT ? Kind::Absent : Kind::Other, {}};
    }
    if (seen != nullptr) {
        *seen = info;
    }
    if (!S_ISREG(info.st_mode)) {
        return NameState{Kind::Other, {}};
    }
    return NameState{Kind::RegularFile, FileIdentity{info.st_dev, info.st_ino}};
}

}  // namespace mirebolt::protection
