#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "base/system_error.h"
#include "cli/commands.h"
#include "cli/directory_recipients.h"
#include "cli/store_query_picker.h"
#include "cli/stream_adapters.h"
#include "cli/stream_target.h"
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

// A certificate file that gave nothing: why, with the system's reason where it had one.
void ReportUnreadable(const std::string& path, const Failure& why) {
    if (!platform::SystemErrorText(why.code).empty()) {
        std::fprintf(stderr, "%s: error: cannot read the certificate file \"%s\": %s\n", kProgram,
                     path.c_str(), why.text.c_str());
    } else {
        std::fprintf(stderr,
                     "%s: error: \"%s\" holds no certificate (PEM, DER or PKCS #7; a PKCS #12 "
                     "file is imported with `mirebolt-cli import`)\n",
                     kProgram, path.c_str());
    }
}

// One file (or standard input) encrypted for the listed recipients. The result goes beside it,
// under -o's name, or to standard output or the device -o names.
int EncryptOne(const std::string& file, const recipients::RecipientList& list,
               const Options& options) {
    std::optional<StreamTarget> stream;
    protection::CommandLineChoices choices;
    if (!ChooseStreams(file, options, stream, choices)) {
        return kFailed;
    }
    TerminalFeedback feedback(kProgram, options.answerYes, InformationFor(options, stream));
    TerminalProgress progress;
    choices.pem = options.pem;
    choices.authenticated = options.gcm;
    const bool tripleDes = options.tripleDes;
    const protection::EncryptRequest request{
        file, list, [tripleDes] { return tripleDes; },
        stream || !options.output ? std::nullopt : options.output, &choices};
    return protection::Encrypt(request, feedback, progress) == protection::CommandOutcome::Succeeded
               ? kSucceeded
               : kFailed;
}

}  // namespace

int RunEncrypt(const Options& options) {
    const std::vector<std::string>& files = options.operands;
    if (files.empty()) {
        return BadUsage("encrypt needs a FILE (- for standard input)", options.command);
    }
    if (files.size() > 1 && options.output) {
        return BadUsage("-o names the output of one FILE only", options.command);
    }
    if (files.size() > 1 && std::find(files.begin(), files.end(), kStandardStream) != files.end()) {
        return BadUsage("- (standard input) cannot be one of several FILEs", options.command);
    }
    if (options.recipients.empty()) {
        return BadUsage("no recipients: name them with -r FILE or -R NAME", options.command);
    }
    // A message on standard output no one asked for would fill a terminal with binary; asked
    // for with -o -, it goes there all the same.
    if (!options.output && files.front() == kStandardStream && !options.pem &&
        ::isatty(STDOUT_FILENO) == 1) {
        std::fprintf(stderr,
                     "%s: error: refusing to write a binary message to the terminal; --pem "
                     "writes text, -o FILE a file, and -o - forces it\n",
                     kProgram);
        return kFailed;
    }
    TerminalFeedback feedback(kProgram, options.answerYes, InformationTo::StandardError);
    TerminalProgress progress;
    recipients::RecipientList list;
    recipients::RecipientChecks checks{options.storeDirectory, {options.checkRevocation}};
    checks.warnsOfUnreadableFile = false;
    // One store judges the certificates of every file named, opened at the first.
    std::optional<platform::PersonalStore> trust;
    // A store that -R needs and that does not open is said so in the command line's words.
    for (const RecipientOption& source : options.recipients) {
        if (!source.fromFile && !trust) {
            Result<platform::PersonalStore> store =
                platform::PersonalStore::Open(options.storeDirectory);
            if (!store) {
                return StoreFailed(options, store.failure());
            }
            trust.emplace(std::move(*store));
            checks.openStore = &*trust;
        }
    }
    // A name the store does not know is looked up in the directory, when one is named.
    std::optional<DirectorySource> directory = DirectorySource::FromOptions(options);
    for (const RecipientOption& source : options.recipients) {
        const int first = list.RecipientCount();
        const bool mayAskDirectory = !source.fromFile && directory;
        if (source.fromFile || mayAskDirectory) {
            if (!trust && !options.storeDirectory.empty()) {
                if (Result<platform::PersonalStore> store =
                        platform::PersonalStore::Open(options.storeDirectory)) {
                    trust.emplace(std::move(*store));
                    checks.openStore = &*trust;
                }
            }
        }
        if (mayAskDirectory && !StoreAnswersTo(trust ? &*trust : nullptr, source.name)) {
            // Its own checks say what was taken and what was left out, and why.
            if (!AddFromDirectory(list, *directory, source.name, options.allowInvalid,
                                  options.quiet, checks.status)) {
                return kFailed;
            }
            continue;
        }
        if (source.fromFile) {
            const recipients::AddOutcome added =
                recipients::AddRecipientsFromFile(list, source.name, feedback, progress, checks);
            if (added.failed) {
                ReportUnreadable(source.name, added.why);
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
    if (list.RecipientCount() == 0) {
        std::fprintf(stderr, "%s: error: the files named with -r hold no certificate\n", kProgram);
        return kFailed;
    }
    // Each file on its own: one that fails does not keep the others from being encrypted.
    int status = kSucceeded;
    for (const std::string& file : files) {
        if (EncryptOne(file, list, options) != kSucceeded) {
            status = kFailed;
        }
    }
    list.ReleaseRecipients();
    return status;
}

}  // namespace mirebolt::cli
