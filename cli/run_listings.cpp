#include <cstdio>

#include "cli/certificate_json.h"
#include "cli/certificate_listing.h"
#include "cli/commands.h"
#include "cli/terminal_ports.h"
#include "nss/certificate_file.h"
#include "nss/personal_store.h"

namespace mirebolt::cli {

int RunCerts(const Options& options) {
    if (options.operands.size() != 1) {
        return BadUsage("certs takes one FILE", options.command);
    }
    std::size_t skipped = 0;
    auto certificates = platform::ReadCertificateFile(options.operands.front(), &skipped);
    if (!certificates) {
        TerminalFeedback(kProgram, false)
            .ShowWarning("No certificate could be found on the selected file");
        return kFailed;
    }
    if (skipped != 0) {
        TerminalFeedback(kProgram, false)
            .ShowWarning(platform::SkippedCertificatesWarning(skipped));
    }
    // Open only for the statuses: its trusted roots and CRLs judge the file's certificates.
    auto trust = platform::PersonalStore::Open(options.storeDirectory);
    if (options.json) {
        std::printf("%s\n", CertificatesJson(*certificates, {options.checkRevocation}).c_str());
        return kSucceeded;
    }
    for (std::size_t i = 0; i < certificates->size(); ++i) {
        std::fputs(i == 0 ? "" : "\n", stdout);
        PrintCertificate(stdout, (*certificates)[i], nullptr, {options.checkRevocation});
    }
    return kSucceeded;
}

int RunStore(const Options& options) {
    if (!options.operands.empty()) {
        return BadUsage("store takes no arguments", options.command);
    }
    auto store = platform::PersonalStore::Open(options.storeDirectory);
    if (!store) {
        return StoreFailed(options, store.failure());
    }
    TerminalFeedback feedback(kProgram, false);
    WarnOfUnloadedModules(*store, feedback);
    const std::vector<platform::StoreCertificate> listed = store->PickerCertificates();
    if (options.json) {
        std::printf("%s\n", StoreCertificatesJson(listed, {options.checkRevocation}).c_str());
        return kSucceeded;
    }
    if (listed.empty()) {
        // A new user's first question: how do my own certificate and key get in there?
        std::fprintf(stderr,
                     "%s: the personal store \"%s\" holds no certificates.\n"
                     "To decrypt, put your certificate and private key there from a PKCS #12 "
                     "file:\n  mirebolt-cli import FILE.p12\n",
                     kProgram, options.storeDirectory.c_str());
        return kSucceeded;
    }
    for (std::size_t i = 0; i < listed.size(); ++i) {
        std::fputs(i == 0 ? "" : "\n", stdout);
        PrintStoreCertificate(stdout, listed[i], {options.checkRevocation});
    }
    return kSucceeded;
}

}  // namespace mirebolt::cli
