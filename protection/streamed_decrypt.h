#pragma once

#include <optional>
#include <string>

#include "platform/byte_stream.h"
#include "protection/command_outcome.h"
#include "protection/decrypt_command.h"
#include "protection/file_identity.h"

namespace mirebolt::protection {

// A message read front to back in constant memory: from a pipe, or a file too large to hold.
struct StreamedDecryptRequest {
    platform::ByteStream& message;
    std::optional<FileIdentity> input;  // the message's file, which the output must not be
    std::string storeDirectory;
    // The output: a named file, written beside its name and renamed into place only when the
    // whole message was read and checked; or, when there is no name, `directOutput`, which
    // takes the content as it comes and cannot take it back (standard output).
    std::optional<std::string> outputName;
    platform::ByteSink* directOutput = nullptr;
    std::string directOutputLabel;
};

// Decrypts as Decrypt does, with its questions and texts, but in pieces.
CommandOutcome DecryptStream(const StreamedDecryptRequest& request, const DecryptPorts& ports);

}  // namespace mirebolt::protection
