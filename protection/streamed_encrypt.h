#pragma once

#include <optional>
#include <string>

#include "feedback/feedback.h"
#include "platform/byte_stream.h"
#include "protection/command_outcome.h"
#include "protection/file_identity.h"
#include "protection/recipient_source.h"

namespace mirebolt::protection {

// Content read front to back in constant memory: from a pipe, or a file too large to hold.
struct StreamedEncryptRequest {
    platform::ByteStream& content;
    std::optional<std::uint64_t> contentSize;  // known for a regular file: DER; else BER
    std::optional<FileIdentity> input;         // the content's file, which the output must not be
    const RecipientSource& recipients;
    bool legacyCipher = false;
    bool pem = false;  // armour the message as a PEM block
    // The output: a named file, written beside its name and renamed into place only when
    // complete; or, when there is no name, `directOutput` (standard output).
    std::optional<std::string> outputName;
    platform::ByteSink* directOutput = nullptr;
    std::string directOutputLabel;
};

// Encrypts as Encrypt does, with its questions and texts, but in pieces.
CommandOutcome EncryptStream(const StreamedEncryptRequest& request, feedback::Feedback& feedback);

}  // namespace mirebolt::protection
