#include "cli/commands.h"
#include "cli/store_query_picker.h"
#include "cli/terminal_ports.h"
#include "protection/encrypt_command.h"
#include "recipients/add_recipients.h"
#include "recipients/recipient_list.h"

namespace mirebolt::cli {

int RunEncrypt(const Options& options) {
    if (options.operands.size() != 1) {
        return BadUsage("encrypt takes one FILE", options.command);
    }
    const std::string& file = options.operands.front();
    TerminalFeedback feedback(
        kProgram, options.answerYes,
        options.quiet ? InformationTo::Nowhere : InformationTo::StandardOutput);
    NoBusyIndicator busy;
    recipients::RecipientList list;
    for (const RecipientSource& source : options.recipients) {
        if (source.fromFile) {
            if (recipients::AddRecipientsFromFile(list, source.name, feedback, busy).failed) {
                return kFailed;
            }
        } else {
            StoreQueryPicker picker(source.name, feedback);
            if (recipients::AddRecipientFromStore(list, options.storeDirectory, picker, feedback,
                                                  busy)
                    .failed ||
                picker.failed()) {
                return kFailed;
            }
        }
    }
    const bool tripleDes = options.tripleDes;
    const protection::EncryptRequest request{file, list, [tripleDes] { return tripleDes; },
                                             options.output};
    const protection::CommandOutcome outcome = protection::Encrypt(request, feedback, busy);
    list.ReleaseRecipients();
    return outcome == protection::CommandOutcome::Succeeded ? kSucceeded : kFailed;
}

}  // namespace mirebolt::cli
