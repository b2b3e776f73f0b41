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

// The directory the command line or the environment names. A bind's password is read when the
// directory is first asked (from --bind-password-file, or on the terminal), so that a run whose
// names the store answers never asks for it, and is kept for the run's later lookups.
class DirectorySource {
  public:
    // Nothing when neither names a directory.
    static std::optional<DirectorySource> FromOptions(const Options& options);

    DirectorySource(DirectorySource&&) = default;
    DirectorySource& operator=(DirectorySource&&) = default;

    const std::string& address() const { return address_; }
    // The settings of a lookup, the password read first where a bind needs one; nothing after
    // saying on standard error why it cannot be had.
    std::optional<directory::DirectorySettings> Settings();

  private:
    DirectorySource() = default;

    std::string address_;
    bool startTls_ = false;
    std::string bindDn_;
    std::optional<std::string> passwordFile_;
    std::optional<platform::Secret> password_;  // once read
};

// What the directory holds for one address: every certificate of every entry found, in the
// directory's order. Without a certificate, it says on standard error which of "no entry" and
// "entries without a certificate" it was, naming the address and the directory; a directory
// that fails is said likewise. Nothing in those cases.
std::optional<std::vector<platform::Certificate>> DirectoryCertificates(
    DirectorySource& source, const std::string& emailAddress);

}  // namespace mirebolt::cli
