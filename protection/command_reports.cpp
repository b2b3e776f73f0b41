#include "protection/command_reports.h"

#include "protection/command_texts.h"
#include "protection/file_operations.h"

namespace mirebolt::protection {

bool MayWriteEncrypted(const std::string& name, feedback::Feedback& feedback) {
    return !FileExists(name) ||
           feedback.AskYesNo(texts::kReplaceEncrypted, texts::kReplaceEncryptedTitle,
                             feedback::QuestionIcon::Warning) == feedback::Answer::Yes;
}

bool MayWriteDecrypted(const std::string& name, feedback::Feedback& feedback) {
    return !FileExists(name) ||
           feedback.AskYesNo(texts::kReplaceDecrypted, texts::kReplaceDecryptedTitle,
                             feedback::QuestionIcon::Question) == feedback::Answer::Yes;
}

void ReportEncryptionFailure(feedback::Feedback& feedback, const Failure& failure) {
    switch (failure.origin) {
        case FailureOrigin::Input:
            feedback.ReportError(texts::kReadFailed);
            return;
        case FailureOrigin::Output:
            feedback.ReportError(texts::kEncryptedWriteFailed);
            return;
        case FailureOrigin::Store:
        case FailureOrigin::Message:
        case FailureOrigin::Work:
            feedback.ReportError(texts::kEncryptionFailed, failure);
            return;
    }
}

void ReportDecryptionFailure(feedback::Feedback& feedback, const Failure& failure) {
    switch (failure.origin) {
        case FailureOrigin::Input:
            feedback.ReportError(texts::kReadFailed);
            return;
        case FailureOrigin::Store:
            feedback.ReportError(texts::kStoreFailed);
            return;
        case FailureOrigin::Output:
            feedback.ReportError(texts::kDecryptedWriteFailed);
            return;
        case FailureOrigin::Message:
        case FailureOrigin::Work:
            feedback.ReportError(texts::kDecryptionFailed, failure);
            return;
    }
}

void ReportEncrypted(feedback::Feedback& feedback, const std::string& outputLabel) {
    feedback.ShowInformation(texts::kEncrypted + ("\"" + outputLabel + "\""));
}

void ReportDecrypted(feedback::Feedback& feedback, const std::string& outputLabel) {
    feedback.ShowInformation(texts::kDecrypted + ("\"" + outputLabel + "\""));
}

}  // namespace mirebolt::protection
