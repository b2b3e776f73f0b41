#include "protection/decrypt_command.h"

#include "platform/open_envelope.h"
#include "platform/personal_store.h"
#include "protection/checked_input.h"
#include "protection/command_reports.h"
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

// Decrypts with the store's keys and writes the content out; true once it is under its name.
bool DecryptAndWrite(InputFile& input, const std::string& outputName, NameState outputState,
                     const platform::PersonalStore& store, const DecryptPorts& ports) {
    Result<std::uint64_t> bound = platform::OpenedSizeBound(input);
    if (!bound) {
        ReportDecryptionFailure(ports.feedback, bound.failure());
        return false;
    }
    Result<OutputBuffer> buffer = OutputBuffer::Allocate(*bound, OutputBuffer::Holds::PlainText);
    if (!buffer) {
        ports.feedback.ReportError(texts::kNoMemoryToDecrypt);
        return false;
    }
    Result<std::uint64_t> length =
        platform::OpenEnvelope(input, store, ports.keyPrompt, buffer->bytes());
    if (!length) {
        ReportDecryptionFailure(ports.feedback, length.failure());
        return false;
    }
    // Written beside the name and put in its place only when complete: a failure leaves the
    // name as it was, an existing file included.
    Result<OutputFile> output =
        OutputFile::Open(outputName, OutputFile::Access::OwnerOnly, outputState, input.identity());
    if (!output) {
        ReportDecryptionFailure(ports.feedback, output.failure());
        return false;
    }
    Status written = output->Write(buffer->bytes().first(static_cast<std::size_t>(*length)));
    if (written) {
        written = output->Commit();
    }
    if (!written) {
        ReportDecryptionFailure(ports.feedback, written.failure());
        return false;
    }
    ReportDecrypted(ports.feedback, outputName);
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
        feedback.ShowWarning(texts::kNoFileToDecrypt);
        return CommandOutcome::Failed;
    }
    std::optional<InputFile> input =
        OpenInputWithinLimit(request.path, DecryptSizeLimit, texts::kTooBigToDecrypt, feedback);
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
    if (!outputName.empty() && !MayWriteDecrypted(outputName, outputState, feedback)) {
        outputName.clear();
    }
    if (outputName.empty()) {
        return CommandOutcome::Declined;
    }
    if (!ProbeWritable(outputName)) {
        feedback.ReportError(texts::kDecryptedLocationNotWritable);
        return CommandOutcome::Failed;
    }

    Result<platform::PersonalStore> store = platform::PersonalStore::Open(request.storeDirectory);
    if (!store) {
        ReportDecryptionFailure(feedback, store.failure());
        return CommandOutcome::Failed;
    }
    return DecryptAndWrite(*input, outputName, outputState, *store, ports)
               ? CommandOutcome::Succeeded
               : CommandOutcome::Failed;
}

}  // namespace mirebolt::protection
