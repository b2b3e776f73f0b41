#include "recipients/add_recipients.h"

#include "nss/certificate_file.h"

namespace mirebolt::recipients {

namespace {

constexpr char kAlreadyListed[] = "The certificate is already present on the list";

void Add(RecipientTarget& list, const platform::Certificate& certificate,
         feedback::Feedback& feedback, AddOutcome& outcome) {
    if (list.AddRecipient(certificate)) {
        ++outcome.added;
    } else {
        ++outcome.refused;
        feedback.ShowWarning(kAlreadyListed);
    }
}

}  // namespace

AddOutcome AddRecipientsFromFile(RecipientTarget& list, const std::string& path,
                                 feedback::Feedback& feedback, feedback::BusyIndicator& busy) {
    AddOutcome outcome;
    feedback::WaitCursor waitCursor(busy);
    Result<std::vector<platform::Certificate>> certificates = platform::ReadCertificateFile(path);
    if (!certificates) {
        feedback.ShowWarning("No certificate could be found on the selected file");
        outcome.failed = true;
        return outcome;
    }
    for (const platform::Certificate& certificate : *certificates) {
        Add(list, certificate, feedback, outcome);
    }
    return outcome;
}

AddOutcome AddRecipientFromStore(RecipientTarget& list, const std::string& storeDirectory,
                                 CertificatePicker& picker, feedback::Feedback& feedback,
                                 feedback::BusyIndicator& busy) {
    AddOutcome outcome;
    Result<platform::PersonalStore> store = platform::PersonalStore::Open(storeDirectory);
    if (!store) {
        feedback.ShowWarning("Failed to open the system certificate store");
        outcome.failed = true;
        return outcome;
    }
    feedback::WaitCursor waitCursor(busy);
    std::optional<platform::Certificate> picked =
        picker.Pick(*store, "Select a certificate to add to the recipients list for encryption");
    if (picked) {
        Add(list, *picked, feedback, outcome);
    }
    return outcome;
}

}  // namespace mirebolt::recipients
