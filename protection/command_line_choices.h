#pragma once

#include <string>

#include "base/byte_stream.h"

namespace mirebolt::protection {

// What the command line adds to a command's input and output. A command run without them is
// the window's: a named file in, a file beside it out, and the window's size limits. With them
// the limits go, a pipe named as the input is waited for, and:
struct CommandLineChoices {
    bool standardInput = false;  // the input is standard input; the path only names it
    // The result goes here (standard output) instead of to a file, as it comes.
    platform::ByteSink* standardOutput = nullptr;
    std::string standardOutputLabel = "standard output";
    bool pem = false;  // Encrypt armours the message as a PEM block
    // Encrypt writes AES-256-GCM authenticated enveloped data, which shows any change of the
    // message, instead of AES-256-CBC.
    bool authenticated = false;
};

}  // namespace mirebolt::protection
