#include "cli/directory_source.h"

#include <cstdio>
#include <cstdlib>

#include "cli/commands.h"
#include "cli/terminal.h"
#include "nss/certificate_file.h"

namespace mirebolt::cli {

std::optional<DirectorySource> DirectorySource::FromOptions(const Options& options) {
    std::string address;
    if (options.directory) {
        address = *options.directory;
    } else if (const char* named = std::getenv(kDirectoryVariable); named != nullptr) {
        address = named;
    }
    if (address.empty()) {
        return std::nullopt;
    }
    DirectorySource source;
    source.address_ = address;
    source.startTls_ = options.startTls;
    source.bindDn_ = options.bindDn.value_or("");
    source.passwordFile_ = options.bindPasswordFile;
    return source;
}

std::optional<directory::DirectorySettings> DirectorySource::Settings() {
    if (!bindDn_.empty() && !password_) {
        // A simple bind sends the password as it is: over plain ldap:// anyone on the way reads
        // it.
        if (!startTls_ && address_.rfind("ldaps://", 0) != 0) {
            std::fprintf(stderr,
                         "%s: warning: the bind's password goes to the directory unencrypted; "
                         "--starttls or an ldaps:// address protects it\n",
                         kProgram);
        }
        if (passwordFile_) {
            std::optional<std::optional<platform::Secret>> read = PasswordFromFile(passwordFile_);
            if (!read) {
                return std::nullopt;
            }
            password_ = std::move(**read);
        } else {
            password_ =
                Terminal::AskSecret("Password for \"" + bindDn_ + "\" at " + address_ + ": ");
            if (!password_) {
                std::fprintf(stderr,
                             "%s: error: the directory's bind as \"%s\" needs a password: "
                             "--bind-password-file FILE, or a terminal to ask on\n",
                             kProgram, bindDn_.c_str());
                return std::nullopt;
            }
        }
    }
    return directory::DirectorySettings{address_, startTls_, bindDn_,
                                        password_ ? &*password_ : nullptr};
}

std::optional<std::vector<platform::Certificate>> DirectoryCertificates(
    DirectorySource& source, const std::string& emailAddress) {
    const std::optional<directory::DirectorySettings> settings = source.Settings();
    if (!settings) {
        return std::nullopt;
    }
    Result<std::vector<directory::DirectoryEntry>> entries =
        directory::LookUpAddress(*settings, emailAddress);
    if (!entries) {
        std::fprintf(stderr, "%s: error: the directory %s could not be asked for \"%s\": %s\n",
                     kProgram, source.address().c_str(), emailAddress.c_str(),
                     entries.failure().text.c_str());
        return std::nullopt;
    }
    if (entries->empty()) {
        std::fprintf(stderr, "%s: error: the directory %s has no entry for \"%s\"\n", kProgram,
                     source.address().c_str(), emailAddress.c_str());
        return std::nullopt;
    }
    std::vector<platform::Certificate> certificates;
    for (const directory::DirectoryEntry& entry : *entries) {
        for (const std::vector<std::uint8_t>& value : entry.certificates) {
            Result<std::vector<platform::Certificate>> decoded =
                platform::DecodeCertificates(value);
            if (!decoded) {
                std::fprintf(stderr,
                             "%s: warning: the directory's entry \"%s\" holds a certificate "
                             "that cannot be read; it is left out\n",
                             kProgram, entry.dn.c_str());
                continue;
            }
            for (platform::Certificate& certificate : *decoded) {
                certificates.push_back(std::move(certificate));
            }
        }
    }
    if (certificates.empty()) {
        std::string names;
        for (const directory::DirectoryEntry& entry : *entries) {
            names += (names.empty() ? "\"" : ", \"") + entry.dn + "\"";
        }
        std::fprintf(stderr,
                     "%s: error: the directory %s holds no certificate for \"%s\" (its entry %s "
                     "has none)\n",
                     kProgram, source.address().c_str(), emailAddress.c_str(), names.c_str());
        return std::nullopt;
    }
    return certificates;
}

}  // namespace mirebolt::cli
