#include "protection/decrypt_command.h"

#include <string_view>

#include "base/interruption.h"
#include "cms/open_envelope.h"
#include "nss/personal_store.h"
#include "protection/command_input.h"
#include "protection/command_reports.h"
#include "protection/command_texts.h"
#include "protection/file_operations.h"
#include "protection/name_state.h"
#include "protection/output_file.h"
#include "protection/size_limits.h"

namespace mirebolt::protection {

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The output file, started only when the first content arrives: a run that ends before (at the
// password prompt, or on a message that is not ours) has not even started an output.
class DeferredOutput : public platform::ByteSink {
  public:
    DeferredOutput(const std::string& name, NameState state, FileIdentity input)
        : name_(name), state_(state), input_(input) {}

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
        // Written beside the name and put in its place only when complete: a failure leaves
        // the name as it was, an existing file included.
        Result<OutputFile> opened =
            OutputFile::Open(name_, OutputFile::Access::OwnerOnly, state_, input_);
        if (!opened) {
            return opened.failure();
        }
        file_.emplace(std::move(*opened));
        return {};
    }

    const std::string& name_;
    NameState state_;
    FileIdentity input_;
    std::optional<OutputFile> file_;
};

// Decrypts with the store's keys into the output, committed once the whole message was read,
// checked and found unchanged.
Status OpenInto(InputFile& input, const std::string& outputName, NameState outputState,
                const platform::PersonalStore& store, const DecryptRequest& request,
                const DecryptPorts& ports) {
    std::optional<DeferredOutput> file;
    if (!outputName.empty()) {
        file.emplace(outputName, outputState, input.identity());
    }
    platform::ByteSink& sink =
        file ? static_cast<platform::ByteSink&>(*file) : *request.commandLine->standardOutput;
    // A file is read once, skipping what is not needed; a pipe front to back.
    platform::ByteSource* randomAccess = input.knownSize() ? &input : nullptr;
    Result<std::uint64_t> opened =
        platform::OpenEnvelope(input, randomAccess, store, ports.keyPrompt, sink);
    if (!opened) {
        return opened.failure();
    }
    if (Status unchanged = input.ConfirmUnchanged(); !unchanged) {
        return unchanged;
    }
    return file ? file->Commit() : Status();
}

}  // namespace

std::optional<std::string> NameWithoutMessageSuffix(const std::string& path) {
    // Ours, and the name mail gives an S/MIME message's attachment.
    for (const std::string_view suffix : {".enc", ".p7m"}) {
        if (path.size() < suffix.size()) {
            continue;
        }
        const std::size_t start = path.size() - suffix.size();
        bool matches = true;
        for (std::size_t i = 0; i < suffix.size(); ++i) {
            matches = matches && LowerAscii(path[start + i]) == suffix[i];
        }
        if (matches) {
            return path.substr(0, start);
        }
    }
    return std::nullopt;
}

CommandOutcome Decrypt(const DecryptRequest& request, const DecryptPorts& ports) {
    feedback::Feedback& feedback = ports.feedback;
    const CommandLineChoices* commandLine = request.commandLine;
    const bool fromStandardInput = commandLine != nullptr && commandLine->standardInput;
    const bool toStandardOutput = commandLine != nullptr && commandLine->standardOutput != nullptr;
    if (!fromStandardInput && request.path.empty()) {
        feedback.ShowWarning(texts::kNoFileToDecrypt);
        return CommandOutcome::Failed;
    }
    CommandReports reports(CommandReports::Command::Decrypt, feedback, commandLine, request.path,
                           request.storeDirectory);
    Result<InputFile> input = OpenCommandInput(request.path, commandLine);
    if (!input) {
        reports.Failed(input.failure(), request.outputName.value_or(""));
        return CommandOutcome::Failed;
    }
    // A size that cannot be told (a pipe, a device) is not 0; in the window it is too big.
    if (input->knownSize() == 0) {
        reports.EmptyInput();
        return CommandOutcome::Failed;
    }
    if (commandLine == nullptr && !FitsLimit(input->knownSize(), DecryptSizeLimit)) {
        feedback.ShowWarning(texts::kTooBigToDecrypt);
        return CommandOutcome::Failed;
    }
    feedback::WaitCursor waitCursor(ports.busy);
    input->ShowProgressOn(&ports.busy);

    std::string outputName;
    NameState outputState;
    if (!toStandardOutput) {
        if (request.outputName) {
            outputName = *request.outputName;
        } else if (std::optional<std::string> derived = NameWithoutMessageSuffix(request.path)) {
            outputName = *derived;
        } else {
            outputName = ports.saveQuestion.AskSaveFileName(request.path).value_or(std::string());
        }
        // The output replaces only what the name holds when the person is asked about it.
        outputState = NameState::Of(outputName);
        if (!outputName.empty() && !reports.MayWrite(outputName, outputState)) {
            outputName.clear();
        }
        if (outputName.empty()) {
            return CommandOutcome::Declined;
        }
        // A link at the name that leads to the input fails as the write would, before the
        // probe refuses the link.
        if (LeadsTo(outputName, input->identity())) {
            reports.Failed(OutputIsTheInput(), outputName);
            return CommandOutcome::Failed;
        }
        Status writable;
        {
            // A signal ends the program only once the probe's file is gone again.
            const platform::Interruption interruption;
            writable = ProbeWritable(outputName);
        }
        if (!writable) {
            reports.NotWritable(outputName, writable.failure());
            return CommandOutcome::Failed;
        }
    }

    Result<platform::PersonalStore> store = platform::PersonalStore::Open(request.storeDirectory);
    if (!store) {
        reports.Failed(store.failure(), outputName);
        return CommandOutcome::Failed;
    }
    Status finished;
    {
        // A signal during the work ends the program once the output is discarded.
        const platform::Interruption interruption;
        finished = OpenInto(*input, outputName, outputState, *store, request, ports);
    }
    if (!finished) {
        reports.Failed(finished.failure(), outputName);
        return CommandOutcome::Failed;
    }
    reports.Done(toStandardOutput ? commandLine->standardOutputLabel : outputName);
    return CommandOutcome::Succeeded;
}

}  // namespace mirebolt::protection
