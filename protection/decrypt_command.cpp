#include "protection/decrypt_command.h"

#include "platform/open_envelope.h"
#include "platform/personal_store.h"
#include "protection/checked_input.h"
#include "protection/file_operations.h"
#include "protection/input_file.h"
#include "protection/output_buffer.h"
#include "protection/output_file.h"
#include "protection/size_limits.h"

namespace mirebolt::protection {

namespace {

constexpr char kReadFailed[] = "Failed to open the select file for reading";
constexpr char kDecryptionFailed[] = "Failed to decrypt the selected file";
constexpr char kWriteFailed[] =
    "Failed to write decrypted data to disk. Please ensure that the location of selected file "
    "is writable";

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void ReportDecryptionFailure(feedback::Feedback& feedback, const InputFile& input,
                             const Failure& failure) {
    // The message is read while it is decrypted: a read that failed is the input's fault.
    if (input.readFailed()) {
        feedback.ReportError(kReadFailed);
    } else {
        feedback.ReportError(kDecryptionFailed, failure);
    }
}

struct WriteResult {
    bool opened = false;   // the output was opened, and so created or emptied
    bool created = false;  // opening created it
    bool succeeded = false;
};

// Decrypts with the store's keys and writes the content out.
WriteResult DecryptAndWrite(InputFile& input, const std::string& outputName,
                            const platform::PersonalStore& store, const DecryptPorts& ports) {
    WriteResult result;
    Result<std::uint64_t> bound = platform::OpenedSizeBound(input);
    if (!bound) {
        ReportDecryptionFailure(ports.feedback, input, bound.failure());
        return result;
    }
    Result<OutputBuffer> buffer = OutputBuffer::Allocate(*bound, OutputBuffer::Holds::PlainText);
    if (!buffer) {
        ports.feedback.ReportError("Failed to allocate memory needed for the decryption process");
        return result;
    }
    Result<std::uint64_t> length =
        platform::OpenEnvelope(input, store, ports.keyPrompt, buffer->bytes());
    if (!length) {
        ReportDecryptionFailure(ports.feedback, input, length.failure());
        return result;
    }
    Result<OutputFile> output =
        OutputFile::Open(outputName, OutputFile::Access::OwnerOnly, input.identity());
    if (!output) {
        ports.feedback.ReportError(kWriteFailed);
        return result;
    }
    result.opened = true;
    result.created = output->created();
    if (!output->Write(buffer->bytes().first(static_cast<std::size_t>(*length)))) {
        ports.feedback.ReportError(kWriteFailed);
        return result;
    }
    result.succeeded = true;
    // The output stays open until the message has been dismissed.
    ports.feedback.ShowInformation("File decrypted successfully.\nDecrypted data written to \"" +
                                   outputName + "\"");
    return result;
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
    waitCursor.Start();

    std::string outputName;
    if (request.outputName) {
        outputName = *request.outputName;
    } else if (std::optional<std::string> derived = NameWithoutEncSuffix(request.path)) {
        outputName = *derived;
    } else {
        outputName = ports.saveQuestion.AskSaveFileName().value_or(std::string());
    }
    bool existed = false;
    if (!outputName.empty() && FileExists(outputName)) {
        existed = true;
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

    WriteResult written;
    {
        Result<platform::PersonalStore> store =
            platform::PersonalStore::Open(request.storeDirectory);
        if (!store) {
            feedback.ReportError("Failed to open the system certificate store");
            return CommandOutcome::Failed;
        }
        written = DecryptAndWrite(*input, outputName, *store, ports);
    }
    // A file that was there before is never deleted, even when a failed write emptied it; nor
    // is one that someone else created after the question.
    if (!written.succeeded && written.opened && written.created && !existed) {
        DeleteFile(outputName);
    }
    return written.succeeded ? CommandOutcome::Succeeded : CommandOutcome::Failed;
}

}  // namespace mirebolt::protection
