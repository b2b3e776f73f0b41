#pragma once

#include <functional>
#include <optional>
#include <string>

#include "feedback/feedback.h"
#include "feedback/wait_cursor.h"
#include "protection/command_line_choices.h"
#include "protection/command_outcome.h"
#include "protection/recipient_source.h"

namespace mirebolt::protection {

struct EncryptRequest {
    std::string path;  // used exactly as given
    const RecipientSource& recipients;
    // Read at the moment of encryption: true for Triple DES.
    std::function<bool()> legacyCipherTicked;
    // A name chosen beforehand (the command line's -o); otherwise the path with ".enc" appended.
    std::optional<std::string> outputName = std::nullopt;
    const CommandLineChoices* commandLine = nullptr;  // null in the window
};

// Encrypts the file into one enveloped-data message written beside it with ".enc" appended (or
// under the name chosen beforehand, or to standard output), ending in exactly one message, or
// none when the person declines to overwrite or a signal ends the program. The content is read
// and the message written in pieces, in constant memory, for a file of any size or a pipe: DER
// when the content's size is known, BER otherwise.
CommandOutcome Encrypt(const EncryptRequest& request, feedback::Feedback& feedback,
                       feedback::BusyIndicator& busy);

}  // namespace mirebolt::protection
