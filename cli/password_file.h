#pragma once

#include <string>

#include "base/result.h"
#include "base/secret.h"

namespace mirebolt::cli {

// The longest password line a password file may hold; anything longer is not a password file.
inline constexpr std::size_t kMaxPasswordLine = 4096;

struct PasswordLine {
    platform::Secret password;
    bool readableByOthers = false;  // a regular file whose mode lets group or others read it
};

// Reads the first line of a password file, a regular file, without its line ending, and never
// more than one line of sane length: a pipe, a device or a file of binary bytes fails at once.
Result<PasswordLine> ReadPasswordFile(const std::string& path);

}  // namespace mirebolt::cli
