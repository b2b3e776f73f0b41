#pragma once

#include <string>

namespace mirebolt::cli {

// The help of the whole program, or of one command (empty: the program's).
const char* UsageOf(const std::string& command);

}  // namespace mirebolt::cli
