#include "protection/streamed_decrypt.h"

#include "platform/open_envelope.h"
#include "platform/personal_store.h"
#include "protection/command_reports.h"
#include "protection/command_texts.h"
#include "protection/file_operations.h"
#include "protection/name_state.h"
#include "protection/output_file.h"

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
        if (!MayWriteDecrypted(name, state, feedback)) {
            return CommandOutcome::Declined;
        }
        if (!ProbeWritable(name)) {
            feedback.ReportError(texts::kDecryptedLocationNotWritable);
            return CommandOutcome::Failed;
        }
        file.emplace(name, state, request.input);
    }
    Result<platform::PersonalStore> store = platform::PersonalStore::Open(request.storeDirectory);
    if (!store) {
        ReportDecryptionFailure(feedback, store.failure());
        return CommandOutcome::Failed;
    }
    platform::ByteSink& sink =
        file ? static_cast<platform::ByteSink&>(*file) : *request.directOutput;
    Result<std::uint64_t> opened =
        platform::OpenEnvelopeStream(request.message, *store, ports.keyPrompt, sink);
    Status finished = opened ? Status() : Status(opened.failure());
    if (finished && file) {
        finished = file->Commit();
    }
    if (!finished) {
        ReportDecryptionFailure(feedback, finished.failure());
        return CommandOutcome::Failed;
    }
    ReportDecrypted(feedback, file ? *request.outputName : request.directOutputLabel);
    return CommandOutcome::Succeeded;
}

}  // namespace mirebolt::protection
