#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "protection/file_identity.h"

namespace mirebolt::protection {

// What a name held at one moment, seen without following a link: nothing, a regular file (and
// which one), or something else (a link, dangling or not, a folder, a pipe, a device). An
// output only ever takes a name that is free or replaces the very regular file the person was
// asked about; it never writes through or over anything else.
struct NameState {
    enum class Kind { Absent, RegularFile, Other };

    // Looks `name` up in `folder` (an open folder, or the current one); `seen` receives what
    // the system said about it, when there was something.
    static NameState Of(const std::string& name, int folder = AT_FDCWD,
                        struct stat* seen = nullptr);

    Kind kind = Kind::Absent;
    FileIdentity identity;  // of the regular file
    bool operator==(const NameState&) const = default;
};

}  // namespace mirebolt::protection
