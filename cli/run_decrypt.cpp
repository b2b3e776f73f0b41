#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/password_file.h"
#include "cli/stream_adapters.h"
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

}  // namespace

int RunDecrypt(const Options& options) {
    if (options.operands.size() != 1) {
        return BadUsage("decrypt takes one FILE", options.command);
    }
    const std::string& file = options.operands.front();
    if (!options.output &&
        (file == kStandardStream || !protection::NameWithoutMessageSuffix(file))) {
        return BadUsage(
            "\"" + file + "\" does not end in .enc or .p7m: name the output with -o OUTPUT",
            options.command);
    }
    std::optional<std::optional<platform::Secret>> password = PasswordFromFile(options);
    if (!password) {
        return kFailed;
    }
    TerminalKeyPrompt keyPrompt(std::move(*password));
    const bool toStandardOutput = options.output == kStandardStream;
    TerminalFeedback feedback(kProgram, options.answerYes,
                              options.quiet      ? InformationTo::Nowhere
                              : toStandardOutput ? InformationTo::StandardError
                                                 : InformationTo::StandardOutput);
    TerminalProgress progress;
    NoSaveQuestion noQuestion;
    DescriptorSink standardOutput(STDOUT_FILENO);
    protection::CommandLineChoices choices;
    choices.standardInput = file == kStandardStream;
    choices.standardOutput = toStandardOutput ? &standardOutput : nullptr;
    const protection::DecryptRequest request{
        file, options.storeDirectory, toStandardOutput ? std::nullopt : options.output, &choices};
    const protection::CommandOutcome outcome = protection::Decrypt(
        request, protection::DecryptPorts{feedback, progress, noQuestion, &keyPrompt});
    return outcome == protection::CommandOutcome::Succeeded ? kSucceeded : kFailed;
}

}  // namespace mirebolt::cli
