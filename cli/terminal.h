#pragma once

#include <optional>
#include <string>

#include "base/secret.h"

namespace mirebolt::cli {

// The controlling terminal, where questions and passwords are asked even when standard input
// and output are redirected.
class Terminal {
  public:
    // Whether there is a controlling terminal to ask on.
    static bool Present();
    // Asks and reads one line, echoed as typed; nothing when there is no terminal.
    static std::optional<std::string> Ask(const std::string& prompt);
    // Asks for a password or PIN, read without echo into a secret and nowhere else.
    static std::optional<platform::Secret> AskSecret(const std::string& prompt);
};

}  // namespace mirebolt::cli
