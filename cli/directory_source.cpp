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
    if (source.bindDn_.empty()) {
        return source;
    }
    // A simple bind sends the password as it is: over plain ldap:// anyone on the way reads it.
    if (!options.startTls && address.rfind("ldaps://", 0) != 0) {
        std::fprintf(stderr,
                     "%s: warning: the bind's password goes to the directory unencrypted; "
                     "--starttls or an ldaps:// address protects it\n",
                     kProgram);
    }
    if (options.bindPasswordFile) {
        std::optional<std::optional<platform::Secret>> read =
            PasswordFromFile(options.bindPasswordFile);
        if (!read) {
            source.failed_ = true;
            return source;
        }
        source.password_ = std::move(**read);
        return source;
    }
    std::optional<platform::Secret> typed =
        Terminal::AskSecret("Password for \"" + source.bindDn_ + "\" at " + address + ": ");
    if (!typed) {
        std::fprintf(stderr,
                     "%s: error: the directory's bind as \"%s\" needs a password: "
                     "--bind-password-file FILE, or a terminal to ask on\n",
                     kProgram, source.bindDn_.c_str());
        source.failed_ = true;
        return source;
    }
    source.password_ = std::move(*typed);
    return source;
}

directory::DirectorySettings DirectorySource::settings() const {
    return {address_, startTls_, bindDn_, bindDn_.empty() ? nullptr : &password_};
}

std::optional<std::vector<platform::Certificate>> DirectoryCertificates(
    const DirectorySource& source, const std::string& emailAddress) {
    Result<std::vector<directory::DirectoryEntry>> entries =
        directory::LookUpAddress(source.settings(), emailAddress);
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
