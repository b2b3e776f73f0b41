// mirebolt-cli: Encrypt and Decrypt on the command line, with the window's messages and rules.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "base/interruption.h"
#include "base/process_hardening.h"
#include "base/product_facts.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/interruption_notice.h"
#include "cli/usage.h"
#include "nss/nss_runtime.h"
#include "nss/personal_store.h"
#include "nss/registered_modules.h"

namespace mirebolt::cli {
namespace {

// A smart card's module that hangs would otherwise leave the terminal silent.
void SayWhichModuleIsAwaited(const std::string& name, const std::string& library) {
    if (::isatty(STDERR_FILENO) == 1) {
        std::fprintf(stderr, "%s: waiting for the module \"%s\" (%s) to start; Ctrl-C stops\n",
                     kProgram, name.c_str(), library.c_str());
    }
}

// Whether the command opens the personal store.
bool UsesStore(const Options& options) {
    if (options.command == "encrypt") {
        for (const RecipientOption& recipient : options.recipients) {
            if (!recipient.fromFile) {
                return true;
            }
        }
        return false;
    }
    return options.command != "certs" && options.command != "lookup";
}

// A file, a device or a pipe given as the store is a mistake to name, not an empty store.
bool NotAFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// What was printed must have reached standard output: a full disk is a failure, not success,
// and a reader that left ends the program by SIGPIPE, as it would have without the libraries
// ignoring that signal.
int FinishStandardOutput(int status) {
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return status;
    }
    const int error = errno;
    if (error == EPIPE && !platform::Interruption::PipeIgnoredAtStart()) {
        std::signal(SIGPIPE, SIG_DFL);
        std::raise(SIGPIPE);
    }
    std::fprintf(stderr, "%s: error: cannot write standard output: %s\n", kProgram,
                 std::strerror(error));
    return kFailed;
}

int Run(int argc, char** argv) {
    const CommandLine line =
        ParseCommandLine(argc, argv, platform::PersonalStore::DefaultDirectory());
    switch (line.action) {
        case CommandLine::Action::BadUsage:
            return BadUsage(line.problem, line.options.command);
        case CommandLine::Action::ShowHelp:
            std::fputs(UsageOf(line.options.command), stdout);
            return kSucceeded;
        case CommandLine::Action::ShowVersion:
            std::printf("%s %s\n", kProgram, product::kVersion);
            return kSucceeded;
        case CommandLine::Action::Run:
            break;
    }
    if (UsesStore(line.options) && NotAFolder(line.options.storeDirectory)) {
        std::fprintf(stderr, "%s: error: the personal store \"%s\" is not a folder\n", kProgram,
                     line.options.storeDirectory.c_str());
        return kFailed;
    }
    struct Command {
        const char* name;
        int (*run)(const Options&);
    };
    static constexpr Command kCommands[] = {
        {"encrypt", &RunEncrypt}, {"decrypt", &RunDecrypt}, {"certs", &RunCerts},
        {"store", &RunStore},     {"import", &RunImport},   {"info", &RunInfo},
        {"export", &RunExport},   {"lookup", &RunLookup},
    };
    for (const Command& command : kCommands) {
        if (line.options.command == command.name) {
            return command.run(line.options);
        }
    }
    return BadUsage("unknown command " + line.options.command, std::string());
}

}  // namespace
}  // namespace mirebolt::cli

int main(int argc, char** argv) {
    mirebolt::platform::KeepOutOfDumps();
    mirebolt::cli::SayWhenInterrupted();
    mirebolt::platform::NssSession nss;
    mirebolt::platform::SetSlowModuleNotice(&mirebolt::cli::SayWhichModuleIsAwaited);
    return mirebolt::cli::FinishStandardOutput(mirebolt::cli::Run(argc, argv));
}
