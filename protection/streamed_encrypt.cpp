#include "protection/streamed_encrypt.h"

#include <vector>

#include "platform/envelope.h"
#include "protection/command_reports.h"
#include "protection/command_texts.h"
#include "protection/content_cipher.h"
#include "protection/file_operations.h"
#include "protection/name_state.h"
#include "protection/output_file.h"
#include "protection/pem_sink.h"

namespace mirebolt::protection {

namespace {

// Reads the first byte ahead, so that empty content is refused before anything is written, and
// hands it back first.
class LookAheadStream : public platform::ByteStream {
  public:
    explicit LookAheadStream(platform::ByteStream& inner) : inner_(inner) {}

    // Whether there is any content; a failed read is a failure.
    Result<bool> HasContent() {
        Result<std::size_t> got = inner_.Read(std::span(&first_, 1));
        if (!got) {
            return got.failure();
        }
        held_ = *got == 1;
        return held_;
    }

    Result<std::size_t> Read(std::span<std::uint8_t> out) override {
        if (out.empty()) {
            return std::size_t{0};
        }
        std::size_t given = 0;
        if (held_) {
            out[0] = first_;
            held_ = false;
            given = 1;
        }
        Result<std::size_t> got = inner_.Read(out.subspan(given));
        if (!got) {
            return got.failure();
        }
        return given + *got;
    }

  private:
    platform::ByteStream& inner_;
    std::uint8_t first_ = 0;
    bool held_ = false;
};

}  // namespace

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
    std::vector<const platform::Certificate*> recipients;
    for (int row = 0; row < request.recipients.RecipientCount(); ++row) {
        recipients.push_back(request.recipients.RecipientCertificate(row));
    }
    LookAheadStream content(request.content);
    Result<bool> hasContent = content.HasContent();
    if (!hasContent) {
        ReportEncryptionFailure(feedback, hasContent.failure());
        return CommandOutcome::Failed;
    }
    if (!*hasContent) {
        feedback.ShowWarning(texts::kEmptyInput);
        return CommandOutcome::Failed;
    }
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
