#include "protection/streamed_encrypt.h"

#include <vector>

#include "platform/envelope.h"
#include "protection/command_texts.h"
#include "protection/content_cipher.h"
#include "protection/file_operations.h"
#include "protection/name_state.h"
#include "protection/output_file.h"
#include "protection/pem_sink.h"
#include "protection/watched_sink.h"

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
        feedback.ShowWarning(
            "No encryption certificates added to the recipients list.\nPlease use the \"+\" "
            "button to add at least one certificate");
        return CommandOutcome::Failed;
    }
    std::optional<NameState> outputState;
    if (request.outputName) {
        outputState = NameState::Of(*request.outputName);
        if (FileExists(*request.outputName) &&
            feedback.AskYesNo("The encrypted file already exists. Do you want to overwrite it?",
                              "Already Exists",
                              feedback::QuestionIcon::Warning) == feedback::Answer::No) {
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
        feedback.ReportError(texts::kReadFailed);
        return CommandOutcome::Failed;
    }
    if (!*hasContent) {
        feedback.ShowWarning("The selected file is empty");
        return CommandOutcome::Failed;
    }
    std::optional<OutputFile> file;
    if (request.outputName) {
        if (!ProbeWritable(*request.outputName)) {
            feedback.ShowWarning(
                "The location of the selected file is not writable. Encryption can not proceed");
            return CommandOutcome::Failed;
        }
        Result<OutputFile> opened = OutputFile::Open(
            *request.outputName, OutputFile::Access::Shared, *outputState, request.input);
        if (!opened) {
            feedback.ReportError(texts::kEncryptedWriteFailed);
            return CommandOutcome::Failed;
        }
        file.emplace(std::move(*opened));
    }
    WatchedSink sink(file ? static_cast<platform::ByteSink&>(*file) : *request.directOutput);
    PemSink armoured(sink);
    platform::ByteSink& out = request.pem ? static_cast<platform::ByteSink&>(armoured) : sink;

    const platform::ContentAlgorithm cipher =
        AlgorithmFor(CipherForLegacyChoice(request.legacyCipher));
    Result<std::uint64_t> written =
        platform::EnvelopeStream(cipher, recipients, content, request.contentSize, out);
    if (!written) {
        if (request.readFailed && request.readFailed()) {
            feedback.ReportError(texts::kReadFailed);
        } else if (sink.failed()) {
            feedback.ReportError(texts::kEncryptedWriteFailed);
        } else {
            feedback.ReportError(texts::kEncryptionFailed, written.failure());
        }
        return CommandOutcome::Failed;
    }
    if ((request.pem && !armoured.Finish()) || (file && !file->Commit())) {
        feedback.ReportError(texts::kEncryptedWriteFailed);
        return CommandOutcome::Failed;
    }
    feedback.ShowInformation("File encrypted successfully.\nEncrypted data written to \"" +
                             (file ? *request.outputName : request.directOutputLabel) + "\"");
    return CommandOutcome::Succeeded;
}

}  // namespace mirebolt::protection
