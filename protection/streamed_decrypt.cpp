#include "protection/streamed_decrypt.h"

#include "platform/open_envelope.h"
#include "platform/personal_store.h"
#include "protection/command_texts.h"
#include "protection/file_operations.h"
#include "protection/name_state.h"
#include "protection/output_file.h"
#include "protection/watched_sink.h"

namespace mirebolt::protection {

namespace {

// The output file, started only when the first content arrives: a run that ends before (at the
// password prompt, or on a message that is not ours) leaves not even a temporary file.
class DeferredOutput : public platform::ByteSink {
  public:
    DeferredOutput(std::string name, NameState state, std::optional<FileIdentity> input)
        : name_(std::move(name)), state_(state), input_(input) {}

    Status Write(std::span<const std::uint8_t> bytes) override {
        if (Status started = Start(); !started) {
            return started;
        }
        return file_->Write(bytes);
    }

    Status Commit() {
        if (Status started = Start(); !started) {
            return started;
        }
        return file_->Commit();
    }

  private:
    Status Start() {
        if (file_) {
            return {};
        }
        Result<OutputFile> opened =
            OutputFile::Open(name_, OutputFile::Access::OwnerOnly, state_, input_);
        if (!opened) {
            return opened.failure();
        }
        file_.emplace(std::move(*opened));
        return {};
    }

    std::string name_;
    NameState state_;
    std::optional<FileIdentity> input_;
    std::optional<OutputFile> file_;
};

}  // namespace

CommandOutcome DecryptStream(const StreamedDecryptRequest& request, const DecryptPorts& ports) {
    feedback::Feedback& feedback = ports.feedback;
    std::optional<DeferredOutput> file;
    if (request.outputName) {
        const std::string& name = *request.outputName;
        const NameState state = NameState::Of(name);
        if (FileExists(name) &&
            feedback.AskYesNo("The decrypted file already exists.\nDo you want to overwrite it?",
                              "Overwrite?",
                              feedback::QuestionIcon::Question) == feedback::Answer::No) {
            return CommandOutcome::Declined;
        }
        if (!ProbeWritable(name)) {
            feedback.ReportError(
                "Failed to write data to disk. Please ensure that the location of selected file "
                "is writable");
            return CommandOutcome::Failed;
        }
        file.emplace(name, state, request.input);
    }
    Result<platform::PersonalStore> store = platform::PersonalStore::Open(request.storeDirectory);
    if (!store) {
        feedback.ReportError("Failed to open the system certificate store");
        return CommandOutcome::Failed;
    }
    WatchedSink sink(file ? static_cast<platform::ByteSink&>(*file) : *request.directOutput);
    Result<std::uint64_t> opened =
        platform::OpenEnvelopeStream(request.message, *store, ports.keyPrompt, sink);
    if (!opened) {
        if (request.readFailed && request.readFailed()) {
            feedback.ReportError(texts::kReadFailed);
        } else if (sink.failed()) {
            feedback.ReportError(texts::kDecryptedWriteFailed);
        } else {
            feedback.ReportError(texts::kDecryptionFailed, opened.failure());
        }
        return CommandOutcome::Failed;
    }
    if (file && !file->Commit()) {
        feedback.ReportError(texts::kDecryptedWriteFailed);
        return CommandOutcome::Failed;
    }
    feedback.ShowInformation("File decrypted successfully.\nDecrypted data written to \"" +
                             (file ? *request.outputName : request.directOutputLabel) + "\"");
    return CommandOutcome::Succeeded;
}

}  // namespace mirebolt::protection
