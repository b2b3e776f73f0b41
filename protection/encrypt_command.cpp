#include "protection/encrypt_command.h"

#include <vector>

#include "base/interruption.h"
#include "cms/envelope.h"
#include "protection/command_input.h"
#include "protection/command_reports.h"
#include "protection/command_texts.h"
#include "protection/file_operations.h"
#include "protection/name_state.h"
#include "protection/output_file.h"
#include "protection/pem_sink.h"
#include "protection/size_limits.h"

namespace mirebolt::protection {

namespace {

// Where the message goes: a file under `name` (put in place only once complete), or the
// command line's standard output.
struct MessageTarget {
    const std::optional<std::string>& name;
    NameState state;
    const CommandLineChoices* commandLine;
};

// Encrypts the content into the target and, for a file, commits it once the whole input was
// read and found unchanged.
Status WriteMessage(platform::ContentAlgorithm cipher,
                    const std::vector<const platform::Certificate*>& recipients,
                    platform::ByteStream& content, InputFile& input, const MessageTarget& target) {
    std::optional<OutputFile> file;
    if (target.name) {
        Result<OutputFile> opened = OutputFile::Open(*target.name, OutputFile::Access::Shared,
                                                     target.state, input.identity());
        if (!opened) {
            return opened.failure();
        }
        file.emplace(std::move(*opened));
    }
    platform::ByteSink& sink =
        file ? static_cast<platform::ByteSink&>(*file) : *target.commandLine->standardOutput;
    const bool pem = target.commandLine != nullptr && target.commandLine->pem;
    PemSink armoured(sink);
    platform::ByteSink& out = pem ? static_cast<platform::ByteSink&>(armoured) : sink;
    Result<std::uint64_t> written =
        platform::EnvelopeStream(cipher, recipients, content, input.knownSize(), out);
    if (!written) {
        return written.failure();
    }
    if (Status unchanged = input.ConfirmUnchanged(); !unchanged) {
        return unchanged;
    }
    if (pem) {
        if (Status finished = armoured.Finish(); !finished) {
            return finished;
        }
    }
    return file ? file->Commit() : Status();
}

}  // namespace

CommandOutcome Encrypt(const EncryptRequest& request, feedback::Feedback& feedback,
                       feedback::BusyIndicator& busy) {
    const CommandLineChoices* commandLine = request.commandLine;
    const bool fromStandardInput = commandLine != nullptr && commandLine->standardInput;
    if (!fromStandardInput && request.path.empty()) {
        feedback.ShowWarning(texts::kNoFileToEncrypt);
        return CommandOutcome::Failed;
    }
    if (request.recipients.RecipientCount() == 0) {
        feedback.ShowWarning(texts::kNoRecipients);
        return CommandOutcome::Failed;
    }
    CommandReports reports(CommandReports::Command::Encrypt, feedback, commandLine, request.path);
    std::optional<std::string> outputName;
    if (commandLine == nullptr || commandLine->standardOutput == nullptr) {
        outputName = request.outputName.value_or(request.path + ".enc");
    }
    // The output replaces only what the name holds when the person is asked about it.
    NameState outputState;
    if (outputName) {
        outputState = NameState::Of(*outputName);
        if (!reports.MayWrite(*outputName, outputState)) {
            return CommandOutcome::Declined;
        }
    }
    // Borrowed from the list, which keeps them for the whole command.
    const std::vector<const platform::Certificate*> recipients = CertificatesOf(request.recipients);

    Result<InputFile> input = OpenCommandInput(request.path, commandLine);
    if (!input) {
        reports.Failed(input.failure(), outputName.value_or(""));
        return CommandOutcome::Failed;
    }
    const std::optional<std::uint64_t> size = input->knownSize();
    // The window's files are never empty; a command line encrypts nothing as any tool does, to
    // a message that holds nothing. A size that cannot be told (a pipe, a device) is not 0; in
    // the window it is too big.
    if (commandLine == nullptr) {
        if (size == 0) {
            reports.EmptyInput();
            return CommandOutcome::Failed;
        }
        if (!FitsLimit(size, EncryptSizeLimit)) {
            feedback.ShowWarning(texts::kTooBigToEncrypt);
            return CommandOutcome::Failed;
        }
    }
    if (outputName) {
        // A link at the name that leads to the input fails as the write would, before the
        // probe refuses the link.
        if (LeadsTo(*outputName, input->identity())) {
            reports.Failed(OutputIsTheInput(), *outputName);
            return CommandOutcome::Failed;
        }
        Status writable;
        {
            // A signal ends the program only once the probe's file is gone again.
            const platform::Interruption interruption;
            writable = ProbeWritable(*outputName);
        }
        if (!writable) {
            reports.NotWritable(*outputName, writable.failure());
            return CommandOutcome::Failed;
        }
    }

    feedback::WaitCursor waitCursor(busy);
    input->ShowProgressOn(&busy);
    // The legacy-cipher check box asks for Triple DES, for readers that know nothing newer.
    const bool legacy = request.legacyCipherTicked && request.legacyCipherTicked();
    const bool authenticated = commandLine != nullptr && commandLine->authenticated;
    const platform::ContentAlgorithm cipher = authenticated ? platform::ContentAlgorithm::Aes256Gcm
                                              : legacy      ? platform::ContentAlgorithm::DesEde3Cbc
                                                            : platform::ContentAlgorithm::Aes256Cbc;
    if (commandLine == nullptr) {
        Result<std::uint64_t> messageSize = platform::EnvelopeSize(cipher, recipients, *size);
        if (!messageSize) {
            reports.Failed(messageSize.failure(), *outputName);
            return CommandOutcome::Failed;
        }
        // A file the window makes must be one it can open again: several recipients or a
        // large key make the message outgrow what Decrypt takes, even for an input within the
        // encryption limit.
        if (!FitsLimit(*messageSize, DecryptSizeLimit)) {
            feedback.ShowWarning(texts::kTooBigToEncrypt);
            return CommandOutcome::Failed;
        }
    }
    Status finished;
    {
        // A signal during the work ends the program once the output is discarded.
        const platform::Interruption interruption;
        finished = WriteMessage(cipher, recipients, *input, *input,
                                MessageTarget{outputName, outputState, commandLine});
    }
    if (!finished) {
        reports.Failed(finished.failure(), outputName.value_or(""));
        return CommandOutcome::Failed;
    }
    reports.Done(outputName ? *outputName : commandLine->standardOutputLabel);
    return CommandOutcome::Succeeded;
}

}  // namespace mirebolt::protection
