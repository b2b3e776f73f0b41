#include "protection/encrypt_command.h"

#include <vector>

#include "platform/envelope.h"
#include "protection/checked_input.h"
#include "protection/command_reports.h"
#include "protection/command_texts.h"
#include "protection/content_cipher.h"
#include "protection/file_operations.h"
#include "protection/input_file.h"
#include "protection/name_state.h"
#include "protection/output_buffer.h"
#include "protection/output_file.h"
#include "protection/size_limits.h"

namespace mirebolt::protection {

CommandOutcome Encrypt(const EncryptRequest& request, feedback::Feedback& feedback,
                       feedback::BusyIndicator& busy) {
    if (request.path.empty()) {
        feedback.ShowWarning(texts::kNoFileToEncrypt);
        return CommandOutcome::Failed;
    }
    if (request.recipients.RecipientCount() == 0) {
        feedback.ShowWarning(texts::kNoRecipients);
        return CommandOutcome::Failed;
    }
    const std::string outputName = request.outputName.value_or(request.path + ".enc");
    // The output replaces only what the name holds when the person is asked about it.
    const NameState outputState = NameState::Of(outputName);
    if (!MayWriteEncrypted(outputName, outputState, feedback)) {
        return CommandOutcome::Declined;
    }
    // Borrowed from the list, which keeps them for the whole command.
    const std::vector<const platform::Certificate*> recipients = CertificatesOf(request.recipients);

    std::optional<InputFile> input =
        OpenInputWithinLimit(request.path, EncryptSizeLimit, texts::kTooBigToEncrypt, feedback);
    if (!input) {
        return CommandOutcome::Failed;
    }
    if (!ProbeWritable(outputName)) {
        feedback.ShowWarning(texts::kEncryptedLocationNotWritable);
        return CommandOutcome::Failed;
    }

    feedback::WaitCursor waitCursor(busy);
    const platform::ContentAlgorithm cipher = AlgorithmFor(
        CipherForLegacyChoice(request.legacyCipherTicked && request.legacyCipherTicked()));
    Result<std::uint64_t> size = platform::EnvelopeSize(cipher, recipients, *input->knownSize());
    if (!size) {
        ReportEncryptionFailure(feedback, size.failure());
        return CommandOutcome::Failed;
    }
    // A file we make must be one we can open again: several recipients or a large key make the
    // message outgrow what Decrypt takes, even for an input within the encryption limit.
    if (!FitsLimit(*size, DecryptSizeLimit)) {
        feedback.ShowWarning(texts::kTooBigToEncrypt);
        return CommandOutcome::Failed;
    }
    Result<OutputBuffer> buffer = OutputBuffer::Allocate(*size, OutputBuffer::Holds::CipherText);
    if (!buffer) {
        feedback.ReportError(texts::kNoMemoryToEncrypt);
        return CommandOutcome::Failed;
    }
    Result<std::uint64_t> length = platform::Envelope(cipher, recipients, *input, buffer->bytes());
    if (!length) {
        ReportEncryptionFailure(feedback, length.failure());
        return CommandOutcome::Failed;
    }

    Result<OutputFile> output =
        OutputFile::Open(outputName, OutputFile::Access::Shared, outputState, input->identity());
    if (!output) {
        ReportEncryptionFailure(feedback, output.failure());
        return CommandOutcome::Failed;
    }
    Status written = output->Write(buffer->bytes().first(static_cast<std::size_t>(*length)));
    if (written) {
        written = output->Commit();
    }
    if (!written) {
        ReportEncryptionFailure(feedback, written.failure());
        return CommandOutcome::Failed;
    }
    ReportEncrypted(feedback, outputName);
    return CommandOutcome::Succeeded;
}

}  // namespace mirebolt::protection
