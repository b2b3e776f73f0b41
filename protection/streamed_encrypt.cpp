#include "protection/streamed_encrypt.h"

#include <vector>

#include "platform/envelope.h"
#include "platform/replay_stream.h"
#include "protection/command_reports.h"
#include "protection/command_texts.h"
#include "protection/content_cipher.h"
#include "protection/file_operations.h"
#include "protection/name_state.h"
#include "protection/output_file.h"
#include "protection/pem_sink.h"

namespace mirebolt::protection {

CommandOutcome EncryptStream(const StreamedEncryptRequest& request, feedback::Feedback& feedback) {
    if (request.recipients.RecipientCount() == 0) {
        feedback.ShowWarning(texts::kNoRecipients);
        return CommandOutcome::Failed;
    }
    std::optional<NameState> outputState;
    if (request.outputName) {
        outputState = NameState::Of(*request.outputName);
        if (!MayWriteEncrypted(*request.outputName, *outputState, feedback)) {
            return CommandOutcome::Declined;
        }
    }
    const std::vector<const platform::Certificate*> recipients = CertificatesOf(request.recipients);
    // The first byte is read ahead, so that empty content is refused before anything is
    // written, and handed back first.
    std::vector<std::uint8_t> first(1);
    Result<std::size_t> got = request.content.Read(first);
    if (!got) {
        ReportEncryptionFailure(feedback, got.failure());
        return CommandOutcome::Failed;
    }
    if (*got == 0) {
        feedback.ShowWarning(texts::kEmptyInput);
        return CommandOutcome::Failed;
    }
    platform::ReplayStream content(std::move(first), 0, request.content);
    std::optional<OutputFile> file;
    if (request.outputName) {
        if (!ProbeWritable(*request.outputName)) {
            feedback.ShowWarning(texts::kEncryptedLocationNotWritable);
            return CommandOutcome::Failed;
        }
        Result<OutputFile> opened = OutputFile::Open(
            *request.outputName, OutputFile::Access::Shared, *outputState, request.input);
        if (!opened) {
            ReportEncryptionFailure(feedback, opened.failure());
            return CommandOutcome::Failed;
        }
        file.emplace(std::move(*opened));
    }
    platform::ByteSink& sink =
        file ? static_cast<platform::ByteSink&>(*file) : *request.directOutput;
    PemSink armoured(sink);
    platform::ByteSink& out = request.pem ? static_cast<platform::ByteSink&>(armoured) : sink;

    const platform::ContentAlgorithm cipher =
        AlgorithmFor(CipherForLegacyChoice(request.legacyCipher));
    Result<std::uint64_t> written =
        platform::EnvelopeStream(cipher, recipients, content, request.contentSize, out);
    Status finished = written ? Status() : Status(written.failure());
    if (finished && request.pem) {
        finished = armoured.Finish();
    }
    if (finished && file) {
        finished = file->Commit();
    }
    if (!finished) {
        ReportEncryptionFailure(feedback, finished.failure());
        return CommandOutcome::Failed;
    }
    ReportEncrypted(feedback, file ? *request.outputName : request.directOutputLabel);
    return CommandOutcome::Succeeded;
}

}  // namespace mirebolt::protection
