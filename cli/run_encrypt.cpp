#include <sys/stat.h>
#include <unistd.h>

#include "cli/commands.h"
#include "cli/store_query_picker.h"
#include "cli/streamed_run.h"
#include "cli/terminal_ports.h"
#include "protection/encrypt_command.h"
#include "protection/size_limits.h"
#include "protection/streamed_encrypt.h"
#include "recipients/add_recipients.h"
#include "recipients/recipient_list.h"

namespace mirebolt::cli {

namespace {

constexpr char kStandardStream[] = "-";

// Standard input, a pipe, a file above the window's limit, or PEM: encrypted in pieces.
int EncryptStreamed(const Options& options, const recipients::RecipientList& list,
                    TerminalFeedback& feedback) {
    const std::string& file = options.operands.front();
    std::optional<std::string> outputName = options.output;
    if (!outputName && file != kStandardStream) {
        outputName = file + ".enc";
    }
    if (outputName == kStandardStream) {
        outputName.reset();
    }
    return RunStreamed(file, feedback, [&](const StreamedIo& io) {
        const protection::StreamedEncryptRequest request{
            io.input,   io.inputSize,       io.inputFile,     list, options.tripleDes, options.pem,
            outputName, &io.standardOutput, "standard output"};
        return protection::EncryptStream(request, feedback);
    });
}

// Whether the content is read in pieces: it comes from a pipe or standard input, goes to
// standard output, is to be armoured, or is larger than the window's Encrypt takes.
bool Streams(const Options& options) {
    const std::string& file = options.operands.front();
    if (file == kStandardStream || options.output == kStandardStream || options.pem) {
        return true;
    }
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 &&
           (!S_ISREG(info.st_mode) ||
            static_cast<std::uint64_t>(info.st_size) > protection::EncryptSizeLimit);
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
    TerminalFeedback feedback(kProgram, options.answerYes,
                              options.quiet                   ? InformationTo::Nowhere
                              : WritesStandardOutput(options) ? InformationTo::StandardError
                                                              : InformationTo::StandardOutput);
    NoBusyIndicator busy;
    recipients::RecipientList list;
    for (const RecipientOption& source : options.recipients) {
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
    if (Streams(options)) {
        const int status = EncryptStreamed(options, list, feedback);
        list.ReleaseRecipients();
        return status;
    }
    const bool tripleDes = options.tripleDes;
    const protection::EncryptRequest request{file, list, [tripleDes] { return tripleDes; },
                                             options.output};
    const protection::CommandOutcome outcome = protection::Encrypt(request, feedback, busy);
    list.ReleaseRecipients();
    return outcome == protection::CommandOutcome::Succeeded ? kSucceeded : kFailed;
}

}  // namespace mirebolt::cli
