#include "protection/command_reports.h"

#include "protection/command_texts.h"
#include "protection/file_operations.h"

namespace mirebolt::protection {

namespace {

bool IsThere(const std::string& name, const NameState& state) {
    return state.kind == NameState::Kind::RegularFile || FileExists(name);
}

}  // namespace

bool MayWriteEncrypted(const std::string& name, const NameState& state,
                       feedback::Feedback& feedback) {
    return !IsThere(name, state) ||
           feedback.AskYesNo(texts::kReplaceEncrypted, texts::kReplaceEncryptedTitle,
                             feedback::QuestionIcon::Warning) == feedback::Answer::Yes;
}

bool MayWriteDecrypted(const std::string& name, const NameState& state,
                       feedback::Feedback& feedback) {
    return !IsThere(name, state) ||
           feedback.AskYesNo(texts::kReplaceDecrypted, texts::kReplaceDecryptedTitle,
                             feedback::QuestionIcon::Question) == feedback::Answer::Yes;
}

namespace {

// The texts one command shows for a failure, by the step it arose in.
struct FailureTexts {
    const char* work;   // shown with the platform's reason
    const char* store;  // none: the command does not open the store
    const char* output;
    const char* memory;
};

void Report(feedback::Feedback& feedback, const Failure& failure, const FailureTexts& shown) {
    switch (failure.origin) {
        case FailureOrigin::Input:
            feedback.ReportError(texts::kReadFailed);
            return;
        case FailureOrigin::Store:
            if (shown.store != nullptr) {
                feedback.ReportError(shown.store);
                return;
            }
            break;
        case FailureOrigin::Output:
            feedback.ReportError(shown.output);
            return;
        case FailureOrigin::Memory:
            feedback.ReportError(shown.memory);
            return;
        case FailureOrigin::Interrupted:
            return;  // the program ends by the signal as soon as the command has cleaned up
        case FailureOrigin::Message:
        case FailureOrigin::Work:
            break;
    }
    feedback.ReportError(shown.work, failure);
}

}  // namespace

void ReportEncryptionFailure(feedback::Feedback& feedback, const Failure& failure) {
    Report(feedback, failure,
           {texts::kEncryptionFailed, nullptr, texts::kEncryptedWriteFailed,
            texts::kNoMemoryToEncrypt});
}

void ReportDecryptionFailure(feedback::Feedback& feedback, const Failure& failure) {
    Report(feedback, failure,
           {texts::kDecryptionFailed, texts::kStoreFailed, texts::kDecryptedWriteFailed,
            texts::kNoMemoryToDecrypt});
}

void ReportEncrypted(feedback::Feedback& feedback, const std::string& outputLabel) {
    feedback.ShowInformation(texts::kEncrypted + ("\"" + outputLabel + "\""));
}

void ReportDecrypted(feedback::Feedback& feedback, const std::string& outputLabel) {
    feedback.ShowInformation(texts::kDecrypted + ("\"" + outputLabel + "\""));
}

}  // namespace mirebolt::protection
