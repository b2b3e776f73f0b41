#include "cli/directory_recipients.h"

#include <cstdio>

#include "cli/commands.h"
#include "cli/store_query_picker.h"
#include "recipients/certificate_status_text.h"

namespace mirebolt::cli {

bool StoreAnswersTo(const platform::PersonalStore* store, const std::string& name) {
    if (store == nullptr) {
        return false;
    }
    for (const platform::StoreCertificate& entry : store->PickerCertificates()) {
        if (MatchesQuery(entry.certificate, name) ||
            (!name.empty() && platform::SubjectDisplayName(entry.certificate) == name)) {
            return true;
        }
    }
    return false;
}

bool AddFromDirectory(recipients::RecipientTarget& list, DirectorySource& source,
                      const std::string& emailAddress, bool allowInvalid, bool quiet,
                      const platform::StatusChecks& checks) {
    std::optional<std::vector<platform::Certificate>> found =
        DirectoryCertificates(source, emailAddress);
    if (!found) {
        return false;
    }
    std::vector<platform::CertificateStatus> statuses;
    bool anyFit = false;
    for (const platform::Certificate& certificate : *found) {
        statuses.push_back(platform::CheckRecipientCertificate(certificate, checks));
        anyFit = anyFit || !statuses.back().unfit();
    }
    const auto named = [](const platform::Certificate& certificate) {
        return "\"" + platform::SubjectDisplayName(certificate) + "\" (SHA-256 " +
               platform::Sha256Fingerprint(certificate) + ")";
    };
    if (!anyFit && !allowInvalid) {
        std::string reasons;
        for (std::size_t i = 0; i < found->size(); ++i) {
            reasons += "\n  " + named((*found)[i]) + ": " +
                       recipients::StatusText(statuses[i], (*found)[i], "; ");
        }
        std::fprintf(stderr,
                     "%s: error: the directory %s holds no usable certificate for \"%s\"; "
                     "refused:%s\n--allow-invalid encrypts for them all the same\n",
                     kProgram, source.address().c_str(), emailAddress.c_str(), reasons.c_str());
        return false;
    }
    for (std::size_t i = 0; i < found->size(); ++i) {
        const platform::Certificate& certificate = (*found)[i];
        const std::string reasons = recipients::StatusText(statuses[i], certificate, "; ");
        if (statuses[i].unfit() && !allowInvalid) {
            std::fprintf(stderr, "%s: warning: from the directory for \"%s\", %s is left out: %s\n",
                         kProgram, emailAddress.c_str(), named(certificate).c_str(),
                         reasons.c_str());
            continue;
        }
        if (!list.AddRecipient(certificate, statuses[i])) {
            continue;  // already a recipient, from another source
        }
        if (!statuses[i].fine()) {
            std::fprintf(stderr, "%s: warning: from the directory for \"%s\", %s: %s%s\n", kProgram,
                         emailAddress.c_str(), named(certificate).c_str(), reasons.c_str(),
                         statuses[i].unfit() ? "; used as --allow-invalid asks" : "");
        }
        if (!quiet) {
            std::fprintf(stderr, "%s: from the directory for \"%s\": %s\n", kProgram,
                         emailAddress.c_str(), named(certificate).c_str());
        }
    }
    return true;
}

}  // namespace mirebolt::cli
