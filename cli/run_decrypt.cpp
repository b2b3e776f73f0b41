#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/password_file.h"
#include "cli/stream_adapters.h"
#include "cli/stream_target.h"
#include "cli/terminal_ports.h"
#include "protection/decrypt_command.h"

namespace mirebolt::cli {

// The password file's line, or nothing after saying why it cannot be used.
std::optional<std::optional<platform::Secret>> PasswordFromFile(const Options& options) {
    return PasswordFromFile(options.passwordFile);
}

std::optional<std::optional<platform::Secret>> PasswordFromFile(
    const std::optional<std::string>& path) {
    if (!path) {
        return std::optional<platform::Secret>();
    }
    Result<PasswordLine> line = ReadPasswordFile(*path);
    if (!line) {
        std::fprintf(stderr, "%s: cannot read the password file \"%s\": %s\n", kProgram,
                     path->c_str(), line.failure().text.c_str());
        return std::nullopt;
    }
    if (line->readableByOthers) {
        std::fprintf(stderr,
                     "%s: warning: others may read the password file \"%s\" (chmod go-r "
                     "protects it)\n",
                     kProgram, path->c_str());
    }
    return std::optional<platform::Secret>(std::move(line->password));
}

namespace {

constexpr char kStandardStream[] = "-";

// One message decrypted with the store's keys: beside it under its name less ".enc" or
// ".p7m", under -o's name, or to standard output or the device -o names.
int DecryptOne(const std::string& file, const Options& options,
               const std::optional<platform::Secret>& password) {
    std::optional<StreamTarget> stream;
    protection::CommandLineChoices choices;
    if (!ChooseStreams(file, options, stream, choices)) {
        return kFailed;
    }
    // Each message gets the password anew: a prompt forgets it once the keys were looked for.
    TerminalKeyPrompt keyPrompt(
        password ? std::optional<platform::Secret>(std::in_place, password->view()) : std::nullopt);
    TerminalFeedback feedback(kProgram, options.answerYes, InformationFor(options, stream));
    TerminalProgress progress;
    NoSaveQuestion noQuestion;
    const protection::DecryptRequest request{file, options.storeDirectory,
                                             stream ? std::nullopt : options.output, &choices};
    return protection::Decrypt(
               request, protection::DecryptPorts{feedback, progress, noQuestion, &keyPrompt}) ==
                   protection::CommandOutcome::Succeeded
               ? kSucceeded
               : kFailed;
}

}  // namespace

int RunDecrypt(const Options& options) {
    const std::vector<std::string>& files = options.operands;
    if (files.empty()) {
        return BadUsage("decrypt needs a FILE (- for standard input)", options.command);
    }
    if (files.size() > 1 && options.output) {
        return BadUsage("-o names the output of one FILE only", options.command);
    }
    for (const std::string& file : files) {
        if (files.size() > 1 && file == kStandardStream) {
            return BadUsage("- (standard input) cannot be one of several FILEs", options.command);
        }
        if (!options.output && file != kStandardStream &&
            !protection::NameWithoutMessageSuffix(file)) {
            return BadUsage(
                "\"" + file + "\" does not end in .enc or .p7m: name the output with -o OUTPUT",
                options.command);
        }
    }
    std::optional<std::optional<platform::Secret>> password = PasswordFromFile(options);
    if (!password) {
        return kFailed;
    }
    // Each file on its own: one that fails does not keep the others from being decrypted.
    int status = kSucceeded;
    for (const std::string& file : files) {
        if (DecryptOne(file, options, *password) != kSucceeded) {
            status = kFailed;
        }
    }
    return status;
}

}  // namespace mirebolt::cli
