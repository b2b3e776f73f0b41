#include "recipients/add_recipients.h"

#include <optional>

#include "nss/certificate_file.h"
#include "nss/personal_store.h"

namespace mirebolt::recipients {

namespace {

constexpr char kAlreadyListed[] = "The certificate is already present on the list";

void Add(RecipientTarget& list, const platform::Certificate& certificate,
         const platform::StatusChecks& checks, feedback::Feedback& feedback, AddOutcome& outcome) {
    if (list.AddRecipient(certificate, platform::CheckRecipientCertificate(certificate, checks))) {
        ++outcome.added;
    } else {
        ++outcome.refused;
        feedback.ShowWarning(kAlreadyListed);
    }
}

}  // namespace

AddOutcome AddRecipientsFromFile(RecipientTarget& list, const std::string& path,
                                 feedback::Feedback& feedback, feedback::BusyIndicator& busy,
                                 const RecipientChecks& checks) {
    AddOutcome outcome;
    feedback::WaitCursor waitCursor(busy);
    // Open only for the checks: its trusted roots and CRLs judge the file's certificates.
    std::optional<platform::PersonalStore> trust;
    if (!checks.storeDirectory.empty() && checks.openStore == nullptr) {
        if (Result<platform::PersonalStore> store =
                platform::PersonalStore::Open(checks.storeDirectory)) {
            trust.emplace(std::move(*store));
        }
    }
    std::size_t skipped = 0;
    Result<std::vector<platform::Certificate>> certificates =
        platform::ReadCertificateFile(path, &skipped);
    if (!certificates) {
        if (checks.warnsOfUnreadableFile) {
            feedback.ShowWarning("No certificate could be found on the selected file");
        }
        outcome.failed = true;
        outcome.why = certificates.failure();
        return outcome;
    }
    if (skipped != 0) {
        feedback.ShowWarning(platform::SkippedCertificatesWarning(skipped));
    }
    for (const platform::Certificate& certificate : *certificates) {
        Add(list, certificate, checks.status, feedback, outcome);
    }
    return outcome;
}

AddOutcome AddRecipientFromStore(RecipientTarget& list, const std::string& storeDirectory,
                                 CertificatePicker& picker, feedback::Feedback& feedback,
                                 feedback::BusyIndicator& busy,
                                 const platform::StatusChecks& checks) {
    AddOutcome outcome;
    Result<platform::PersonalStore> store = platform::PersonalStore::Open(storeDirectory);
    if (!store) {
        feedback.ShowWarning("Failed to open the system certificate store");
        outcome.failed = true;
        outcome.why = store.failure();
        return outcome;
    }
    feedback::WaitCursor waitCursor(busy);
    std::optional<platform::Certificate> picked =
        picker.Pick(*store, "Select a certificate to add to the recipients list for encryption");
    if (picked) {
        Add(list, *picked, checks, feedback, outcome);
    }
    return outcome;
}

}  // namespace mirebolt::recipients
