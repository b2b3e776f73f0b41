#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/password_file.h"
#include "cli/streamed_run.h"
#include "cli/terminal_ports.h"
#include "protection/decrypt_command.h"
#include "protection/size_limits.h"
#include "protection/streamed_decrypt.h"

namespace mirebolt::cli {

// The password file's line, or nothing after saying why it cannot be used.
std::optional<std::optional<platform::Secret>> PasswordFromFile(const Options& options) {
    if (!options.passwordFile) {
        return std::optional<platform::Secret>();
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
    return std::optional<platform::Secret>(std::move(line->password));
}

namespace {

constexpr char kStandardStream[] = "-";

// Standard input, a pipe, or a file above the window's limit: read front to back.
int DecryptStreamed(const Options& options, TerminalKeyPrompt& keyPrompt) {
    const std::string& file = options.operands.front();
    const bool toStandardOutput = options.output == kStandardStream;
    TerminalFeedback feedback(kProgram, options.answerYes,
                              options.quiet      ? InformationTo::Nowhere
                              : toStandardOutput ? InformationTo::StandardError
                                                 : InformationTo::StandardOutput);
    return RunStreamed(file, feedback, [&](const StreamedIo& io) {
        NoBusyIndicator busy;
        NoSaveQuestion noQuestion;
        const protection::StreamedDecryptRequest request{
            io.input,
            io.inputFile,
            options.storeDirectory,
            toStandardOutput ? std::nullopt : options.output,
            &io.standardOutput,
            "standard output"};
        return protection::DecryptStream(
            request, protection::DecryptPorts{feedback, busy, noQuestion, &keyPrompt});
    });
}

// Whether the message is read in pieces: it comes from a pipe or standard input, goes to
// standard output, or is larger than the window's Decrypt takes.
bool Streams(const Options& options) {
    const std::string& file = options.operands.front();
    if (file == kStandardStream || options.output == kStandardStream) {
        return true;
    }
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 &&
           (!S_ISREG(info.st_mode) ||
            static_cast<std::uint64_t>(info.st_size) > protection::DecryptSizeLimit);
}

}  // namespace

int RunDecrypt(const Options& options) {
    if (options.operands.size() != 1) {
        return BadUsage("decrypt takes one FILE", options.command);
    }
    const std::string& file = options.operands.front();
    if (!options.output && (file == kStandardStream || !protection::NameWithoutEncSuffix(file))) {
        return BadUsage("\"" + file + "\" does not end in .enc: name the output with -o OUTPUT",
                        options.command);
    }
    std::optional<std::optional<platform::Secret>> password = PasswordFromFile(options);
    if (!password) {
        return kFailed;
    }
    TerminalKeyPrompt keyPrompt(std::move(*password));
    if (Streams(options)) {
        Options named = options;
        if (!named.output) {
            named.output = protection::NameWithoutEncSuffix(file);
        }
        return DecryptStreamed(named, keyPrompt);
    }
    TerminalFeedback feedback(
        kProgram, options.answerYes,
        options.quiet ? InformationTo::Nowhere : InformationTo::StandardOutput);
    NoBusyIndicator busy;
    NoSaveQuestion noQuestion;
    const protection::DecryptRequest request{file, options.storeDirectory, options.output};
    const protection::CommandOutcome outcome = protection::Decrypt(
        request, protection::DecryptPorts{feedback, busy, noQuestion, &keyPrompt});
    return outcome == protection::CommandOutcome::Succeeded ? kSucceeded : kFailed;
}

}  // namespace mirebolt::cli
