#include <unistd.h>

#include "cli/commands.h"
#include "cli/store_query_picker.h"
#include "cli/stream_adapters.h"
#include "cli/terminal_ports.h"
#include "protection/encrypt_command.h"
#include "recipients/add_recipients.h"
#include "recipients/recipient_list.h"

namespace mirebolt::cli {

namespace {

constexpr char kStandardStream[] = "-";

// Data on standard output leaves the success text to standard error.
bool WritesStandardOutput(const Options& options) {
    return options.output == kStandardStream ||
           (!options.output && options.operands.front() == kStandardStream);
}

}  // namespace

int RunEncrypt(const Options& options) {
    if (options.operands.size() != 1) {
        return BadUsage("encrypt takes one FILE", options.command);
    }
    const std::string& file = options.operands.front();
    const bool toStandardOutput = WritesStandardOutput(options);
    TerminalFeedback feedback(kProgram, options.answerYes,
                              options.quiet      ? InformationTo::Nowhere
                              : toStandardOutput ? InformationTo::StandardError
                                                 : InformationTo::StandardOutput);
    TerminalProgress progress;
    recipients::RecipientList list;
    for (const RecipientOption& source : options.recipients) {
        if (source.fromFile) {
            if (recipients::AddRecipientsFromFile(list, source.name, feedback, progress).failed) {
                return kFailed;
            }
        } else {
            StoreQueryPicker picker(source.name, feedback);
            if (recipients::AddRecipientFromStore(list, options.storeDirectory, picker, feedback,
                                                  progress)
                    .failed ||
                picker.failed()) {
                return kFailed;
            }
        }
    }
    DescriptorSink standardOutput(STDOUT_FILENO);
    protection::CommandLineChoices choices;
    choices.standardInput = file == kStandardStream;
    choices.standardOutput = toStandardOutput ? &standardOutput : nullptr;
    choices.pem = options.pem;
    const bool tripleDes = options.tripleDes;
    const protection::EncryptRequest request{file, list, [tripleDes] { return tripleDes; },
                                             options.output, &choices};
    const protection::CommandOutcome outcome = protection::Encrypt(request, feedback, progress);
    list.ReleaseRecipients();
    return outcome == protection::CommandOutcome::Succeeded ? kSucceeded : kFailed;
}

}  // namespace mirebolt::cli
