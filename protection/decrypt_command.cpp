#include "protection/decrypt_command.h"

#include "platform/open_envelope.h"
#include "platform/personal_store.h"
#include "protection/checked_input.h"
#include "protection/command_texts.h"
#include "protection/file_operations.h"
#include "protection/input_file.h"
#include "protection/name_state.h"
#include "protection/output_buffer.h"
#include "protection/output_file.h"
#include "protection/size_limits.h"

namespace mirebolt::protection {

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void ReportDecryptionFailure(feedback::Feedback& feedback, const InputFile& input,
                             const Failure& failure) {
    // The message is read while it is decrypted: a read that failed is the input's fault.
    if (input.readFailed()) {
        feedback.ReportError(texts::kReadFailed);
    } else {
        feedback.ReportError(texts::kDecryptionFailed, failure);
    }
}

// Decrypts with the store's keys and writes the content out; true once it is under its name.
bool DecryptAndWrite(InputFile& input, const std::string& outputName, NameState outputState,
                     const platform::PersonalStore& store, const DecryptPorts& ports) {
    Result<std::uint64_t> bound = platform::OpenedSizeBound(input);
    if (!bound) {
        ReportDecryptionFailure(ports.feedback, input, bound.failure());
        return false;
    }
    Result<OutputBuffer> buffer = OutputBuffer::Allocate(*bound, OutputBuffer::Holds::PlainText);
    if (!buffer) {
        ports.feedback.ReportError("Failed to allocate memory needed for the decryption process");
        return false;
    }
    Result<std::uint64_t> length =
        platform::OpenEnvelope(input, store, ports.keyPrompt, buffer->bytes());
    if (!length) {
        ReportDecryptionFailure(ports.feedback, input, length.failure());
        return false;
    }
    // Written beside the name and put in its place only when complete: a failure leaves the
    // name as it was, an existing file included.
    Result<OutputFile> output =
        OutputFile::Open(outputName, OutputFile::Access::OwnerOnly, outputState, input.identity());
    if (!output || !output->Write(buffer->bytes().first(static_cast<std::size_t>(*length))) ||
        !output->Commit()) {
        ports.feedback.ReportError(texts::kDecryptedWriteFailed);
        return false;
    }
    ports.feedback.ShowInformation("File decrypted successfully.\nDecrypted data written to \"" +
                                   outputName + "\"");
    return true;
}

}  // namespace

std::optional<std::string> NameWithoutEncSuffix(const std::string& path) {
    constexpr char kSuffix[] = ".enc";
    if (path.size() < 4) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        if (LowerAscii(path[path.size() - 4 + i]) != kSuffix[i]) {
            return std::nullopt;
        }
    }
    return path.substr(0, path.size() - 4);
}

CommandOutcome Decrypt(const DecryptRequest& request, const DecryptPorts& ports) {
    feedback::Feedback& feedback = ports.feedback;
    if (request.path.empty()) {
        feedback.ShowWarning("Please select a file to decrypt");
        return CommandOutcome::Failed;
    }
    std::optional<InputFile> input =
        OpenInputWithinLimit(request.path, DecryptSizeLimit,
                             "The file is too big for decryption by this program", feedback);
    if (!input) {
        return CommandOutcome::Failed;
    }
    feedback::WaitCursor waitCursor(ports.busy);

    std::string outputName;
    if (request.outputName) {
        outputName = *request.outputName;
    } else if (std::optional<std::string> derived = NameWithoutEncSuffix(request.path)) {
        outputName = *derived;
    } else {
        outputName = ports.saveQuestion.AskSaveFileName().value_or(std::string());
    }
    // The output replaces only what the name holds when the person is asked about it.
    const NameState outputState = NameState::Of(outputName);
    if (!outputName.empty() && FileExists(outputName)) {
        if (feedback.AskYesNo("The decrypted file already exists.\nDo you want to overwrite it?",
                              "Overwrite?",
                              feedback::QuestionIcon::Question) == feedback::Answer::No) {
            outputName.clear();
        }
    }
    if (outputName.empty()) {
        return CommandOutcome::Declined;
    }
    if (!ProbeWritable(outputName)) {
        feedback.ReportError(
            "Failed to write data to disk. Please ensure that the location of selected file is "
            "writable");
        return CommandOutcome::Failed;
    }

    Result<platform::PersonalStore> store = platform::PersonalStore::Open(request.storeDirectory);
    if (!store) {
        feedback.ReportError("Failed to open the system certificate store");
        return CommandOutcome::Failed;
    }
    return DecryptAndWrite(*input, outputName, outputState, *store, ports)
               ? CommandOutcome::Succeeded
               : CommandOutcome::Failed;
}

}  // namespace mirebolt::protection
