#pragma once

#include <optional>
#include <string>

#include "feedback/feedback.h"
#include "feedback/save_file_question.h"
#include "feedback/wait_cursor.h"
#include "nss/key_access.h"
#include "protection/command_line_choices.h"
#include "protection/command_outcome.h"

namespace mirebolt::protection {

struct DecryptRequest {
    std::string path;            // used exactly as given
    std::string storeDirectory;  // the personal store whose keys may open the message
    // A name chosen beforehand (the command line's -o); otherwise the name comes from the path
    // or, when the path does not end in ".enc" or ".p7m", from the Save question.
    std::optional<std::string> outputName;
    const CommandLineChoices* commandLine = nullptr;  // null in the window
};

struct DecryptPorts {
    feedback::Feedback& feedback;
    feedback::BusyIndicator& busy;
    feedback::SaveFileQuestion& saveQuestion;
    platform::KeyAccessPrompt* keyPrompt;  // may be null: keys behind a password stay closed
};

// Decrypts the message in the file with a key of the personal store and writes the content
// under the path without ".enc" (or ".p7m") or under a name the person chooses (or to standard
// output), ending in exactly one message, or none when the person cancels or declines to overwrite
// or a signal ends the program. The message is read in one pass and the content written in pieces,
// in constant memory, for a file of any size or a pipe; a file takes the content only once the
// whole message was read and checked.
CommandOutcome Decrypt(const DecryptRequest& request, const DecryptPorts& ports);

// The output name of a path ending in ".enc" or ".p7m" in any letter case: the path without it.
std::optional<std::string> NameWithoutMessageSuffix(const std::string& path);

}  // namespace mirebolt::protection
