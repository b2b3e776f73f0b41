#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/secret.h"
#include "cli/command_line.h"
#include "directory/directory_lookup.h"
#include "nss/certificate.h"

namespace mirebolt::cli {

// The environment variable that names a directory when --directory does not.
inline constexpr char kDirectoryVariable[] = "MIREBOLT_DIRECTORY";

// The directory the command line or the environment names, with the bind's password read once
// (from --bind-password-file, or asked on the terminal). It owns that password for as long as
// the lookups made with settings() run.
class DirectorySource {
  public:
    // Nothing at all when neither names a directory; a failed source (failed() true) after
    // saying on standard error why, when the bind's password cannot be had.
    static std::optional<DirectorySource> FromOptions(const Options& options);

    DirectorySource(DirectorySource&&) = default;
    DirectorySource& operator=(DirectorySource&&) = default;

    bool failed() const { return failed_; }
    const std::string& address() const { return address_; }
    directory::DirectorySettings settings() const;

  private:
    DirectorySource() = default;

    std::string address_;
    bool startTls_ = false;
    std::string bindDn_;
    platform::Secret password_;
    bool failed_ = false;
};

// What the directory holds for one address: every certificate of every entry found, in the
// directory's order. Without a certificate, it says on standard error which of "no entry" and
// "entries without a certificate" it was, naming the address and the directory; a directory
// that fails is said likewise. Nothing in those cases.
std::optional<std::vector<platform::Certificate>> DirectoryCertificates(
    const DirectorySource& source, const std::string& emailAddress);

}  // namespace mirebolt::cli
