#include <cstdio>

#include "cli/certificate_json.h"
#include "cli/certificate_listing.h"
#include "cli/commands.h"
#include "cli/directory_source.h"
#include "nss/personal_store.h"

namespace mirebolt::cli {

int RunLookup(const Options& options) {
    if (options.operands.size() != 1) {
        return BadUsage("lookup takes one ADDRESS", options.command);
    }
    std::optional<DirectorySource> source = DirectorySource::FromOptions(options);
    if (!source) {
        return BadUsage(std::string("lookup needs a directory: --directory=ldap://HOST[:PORT]/"
                                    "BASE-DN, or ") +
                            kDirectoryVariable + " in the environment",
                        options.command);
    }
    // Open only for the statuses: its trusted roots and CRLs judge the directory's certificates.
    auto trust = platform::PersonalStore::Open(options.storeDirectory);
    std::optional<std::vector<platform::Certificate>> certificates =
        DirectoryCertificates(*source, options.operands.front());
    if (!certificates) {
        return kFailed;
    }
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

}  // namespace mirebolt::cli
