#include "cli/certificate_listing.h"

#include "feedback/date_text.h"
#include "recipients/certificate_status_text.h"

namespace mirebolt::cli {

void PrintCertificate(std::FILE* out, const platform::Certificate& certificate, const bool* ownKey,
                      const platform::StatusChecks& checks) {
    std::fprintf(out, "%s\n", platform::SubjectDisplayName(certificate).c_str());
    std::fprintf(out, "  Subject:   %s\n", platform::SubjectText(certificate).c_str());
    std::fprintf(out, "  Issuer:    %s\n", platform::IssuerText(certificate).c_str());
    std::fprintf(out, "  Expires:   %s (UTC)\n",
                 feedback::IsoDateText(platform::NotAfterDate(certificate)).c_str());
    std::fprintf(out, "  Status:    %s\n",
                 recipients::StatusText(platform::CheckRecipientCertificate(certificate, checks),
                                        certificate, "; ")
                     .c_str());
    std::fprintf(out, "  Serial:    %s\n", platform::SerialNumberText(certificate).c_str());
    std::fprintf(out, "  Key:       %s\n", platform::KeyDescription(certificate).c_str());
    std::fprintf(out, "  SHA-256:   %s\n", platform::Sha256Fingerprint(certificate).c_str());
    if (const std::string nickname = platform::Nickname(certificate); !nickname.empty()) {
        std::fprintf(out, "  Nickname:  %s\n", nickname.c_str());
    }
    if (ownKey != nullptr) {
        std::fprintf(out, "  Own key:   %s\n", *ownKey ? "yes" : "no");
    }
}

}  // namespace mirebolt::cli

namespace mirebolt::cli {

void PrintStoreCertificate(std::FILE* out, const platform::StoreCertificate& entry,
                           const platform::StatusChecks& checks) {
    PrintCertificate(out, entry.certificate, &entry.ownKey, checks);
    if (!entry.tokenName.empty()) {
        std::fprintf(out, "  Token:     %s\n", entry.tokenName.c_str());
    }
}

void WarnOfUnloadedModules(const platform::PersonalStore& store, feedback::Feedback& feedback) {
    for (const platform::UnloadedModule& module : store.unloadedModules()) {
        feedback.ShowWarning("The module \"" + module.name + "\" (" + module.library +
                             ") could not be loaded; its certificates are not listed");
    }
}

}  // namespace mirebolt::cli
