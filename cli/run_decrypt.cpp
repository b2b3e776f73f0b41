#include <cstdio>

#include "cli/commands.h"
#include "cli/password_file.h"
#include "cli/terminal_ports.h"
#include "protection/decrypt_command.h"

namespace mirebolt::cli {

// The password file's line, or nothing after saying why it cannot be used.
std::optional<std::optional<std::string>> PasswordFromFile(const Options& options) {
    if (!options.passwordFile) {
        return std::optional<std::string>();
    }
    Result<PasswordLine> line = ReadPasswordFile(*options.passwordFile);
    if (!line) {
        std::fprintf(stderr, "%s: cannot read the password file \"%s\": %s\n", kProgram,
                     options.passwordFile->c_str(), line.failure().text.c_str());
        return std::nullopt;
    }
    if (line->readableByOthers) {
        std::fprintf(stderr,
                     "%s: warning: others may read the password file \"%s\" (chmod go-r "
                     "protects it)\n",
                     kProgram, options.passwordFile->c_str());
    }
    return std::optional<std::string>(std::move(line->password));
}

int RunDecrypt(const Options& options) {
    if (options.operands.size() != 1) {
        return BadUsage("decrypt takes one FILE", options.command);
    }
    const std::string& file = options.operands.front();
    if (!options.output && !protection::NameWithoutEncSuffix(file)) {
        return BadUsage("\"" + file + "\" does not end in .enc: name the output with -o OUTPUT",
                        options.command);
    }
    std::optional<std::optional<std::string>> password = PasswordFromFile(options);
    if (!password) {
        return kFailed;
    }
    const bool toStandardOutput = options.output && IsStandardOutput(*options.output);
    TerminalFeedback feedback(kProgram, options.answerYes,
                              options.quiet      ? InformationTo::Nowhere
                              : toStandardOutput ? InformationTo::StandardError
                                                 : InformationTo::StandardOutput);
    NoBusyIndicator busy;
    NoSaveQuestion noQuestion;
    TerminalKeyPrompt keyPrompt(std::move(*password));
    const protection::DecryptRequest request{file, options.storeDirectory, options.output};
    const protection::CommandOutcome outcome = protection::Decrypt(
        request, protection::DecryptPorts{feedback, busy, noQuestion, &keyPrompt});
    return outcome == protection::CommandOutcome::Succeeded ? kSucceeded : kFailed;
}

}  // namespace mirebolt::cli
