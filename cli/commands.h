#pragma once

#include <optional>
#include <string>

#include "base/result.h"
#include "base/secret.h"
#include "cli/command_line.h"

namespace mirebolt::cli {

inline constexpr char kProgram[] = "mirebolt-cli";
inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;
inline constexpr int kBadUsage = 2;

// Each command takes the parsed command line and gives the exit status.
int RunEncrypt(const Options& options);
int RunDecrypt(const Options& options);
int RunCerts(const Options& options);
int RunStore(const Options& options);
int RunImport(const Options& options);
int RunInfo(const Options& options);
int RunExport(const Options& options);
int RunLookup(const Options& options);

// Says that the personal store would not open, and why; gives kFailed.
int StoreFailed(const Options& options, const Failure& why);

// Writes the problem and where help is to standard error; gives kBadUsage.
int BadUsage(const std::string& problem, const std::string& command);

// The password file's line (nothing inside when no file was named), or nothing at all after
// saying on standard error why the file cannot be used.
std::optional<std::optional<platform::Secret>> PasswordFromFile(const Options& options);
std::optional<std::optional<platform::Secret>> PasswordFromFile(
    const std::optional<std::string>& path);

}  // namespace mirebolt::cli
