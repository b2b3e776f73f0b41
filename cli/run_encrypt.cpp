#include <unistd.h>

#include <cstdio>
#include <optional>

#include "cli/commands.h"
#include "cli/store_query_picker.h"
#include "cli/stream_adapters.h"
#include "cli/terminal_ports.h"
#include "nss/personal_store.h"
#include "protection/encrypt_command.h"
#include "recipients/add_recipients.h"
#include "recipients/certificate_status_text.h"
#include "recipients/recipient_list.h"

namespace mirebolt::cli {

namespace {

constexpr char kStandardStream[] = "-";

// Says what the checks found against the rows from `first` on, the certificates that one source
// added. An unfit certificate ends the run unless the person allowed it; doubts are warnings.
bool AcceptChecked(const recipients::RecipientList& list, int first, const RecipientOption& source,
                   bool allowInvalid, feedback::Feedback& feedback) {
    for (int row = first; row < list.RecipientCount(); ++row) {
        const recipients::RecipientRow& added = *list.Row(row);
        if (added.status.fine()) {
            continue;
        }
        const std::string named = "the certificate \"" + added.issuedTo + "\" (" +
                                  (source.fromFile ? "from " + source.name : "-R " + source.name) +
                                  ")";
        const std::string reasons = recipients::StatusText(added.status, added.certificate, "; ");
        if (!added.status.unfit()) {
            feedback.ShowWarning(named + ": " + reasons);
        } else if (allowInvalid) {
            feedback.ShowWarning(named + ": " + reasons + "; used as --allow-invalid asks");
        } else {
            std::fprintf(stderr,
                         "%s: %s is refused: %s; --allow-invalid encrypts for it all the same\n",
                         kProgram, named.c_str(), reasons.c_str());
            return false;
        }
    }
    return true;
}

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
    recipients::RecipientChecks checks{options.storeDirectory, {options.checkRevocation}};
    // One store judges the certificates of every file named, opened at the first.
    std::optional<platform::PersonalStore> trust;
    for (const RecipientOption& source : options.recipients) {
        const int first = list.RecipientCount();
        if (source.fromFile) {
            if (!trust && !options.storeDirectory.empty()) {
                if (Result<platform::PersonalStore> store =
                        platform::PersonalStore::Open(options.storeDirectory)) {
                    trust.emplace(std::move(*store));
                    checks.openStore = &*trust;
                }
            }
            if (recipients::AddRecipientsFromFile(list, source.name, feedback, progress, checks)
                    .failed) {
                return kFailed;
            }
        } else {
            StoreQueryPicker picker(source.name, feedback);
            if (recipients::AddRecipientFromStore(list, options.storeDirectory, picker, feedback,
                                                  progress, checks.status)
                    .failed ||
                picker.failed()) {
                return kFailed;
            }
        }
        if (!AcceptChecked(list, first, source, options.allowInvalid, feedback)) {
            return kFailed;
        }
    }
    DescriptorSink standardOutput(STDOUT_FILENO);
    protection::CommandLineChoices choices;
    choices.standardInput = file == kStandardStream;
    choices.standardOutput = toStandardOutput ? &standardOutput : nullptr;
    choices.pem = options.pem;
    choices.authenticated = options.gcm;
    const bool tripleDes = options.tripleDes;
    const protection::EncryptRequest request{file, list, [tripleDes] { return tripleDes; },
                                             options.output, &choices};
    const protection::CommandOutcome outcome = protection::Encrypt(request, feedback, progress);
    list.ReleaseRecipients();
    return outcome == protection::CommandOutcome::Succeeded ? kSucceeded : kFailed;
}

}  // namespace mirebolt::cli
