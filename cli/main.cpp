// mirebolt-cli: Encrypt and Decrypt on the command line, with the window's messages and rules.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/certificate_listing.h"
#include "cli/store_query_picker.h"
#include "cli/terminal_ports.h"
#include "platform/certificate_file.h"
#include "platform/nss_runtime.h"
#include "platform/personal_store.h"
#include "platform/secret.h"
#include "platform/unique_fd.h"
#include "protection/decrypt_command.h"
#include "protection/encrypt_command.h"
#include "recipients/add_recipients.h"
#include "recipients/recipient_list.h"

namespace mirebolt::cli {
namespace {

constexpr char kProgram[] = "mirebolt-cli";
constexpr int kSucceeded = 0;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

constexpr char kUsage[] =
    "Usage: mirebolt-cli [OPTIONS] COMMAND [ARGUMENTS]\n"
    "Encrypts files for the holders of X.509 certificates as PKCS #7 enveloped data, and\n"
    "decrypts them with a private key of your personal certificate store.\n"
    "\n"
    "Commands:\n"
    "  encrypt [--triple-des] [-r CERTFILE]... [-R NAME]... FILE   write FILE.enc\n"
    "  decrypt [-o OUTPUT] FILE                                   write FILE without .enc\n"
    "  certs FILE                                                 list a file's certificates\n"
    "  store                                                      list the personal store\n"
    "\n"
    "Options:\n"
    "  --store DIR           use the NSS database in DIR (default: ~/.pki/nssdb)\n"
    "  --yes                 answer Yes when asked whether to overwrite a file\n"
    "  --password-file FILE  take the store's password or PIN from FILE's first line\n"
    "  -h, --help            show this help; COMMAND --help shows the command's\n"
    "\n"
    "Exit status: 0 on success, 1 on any failure or refusal, 2 on bad usage.\n";

constexpr char kEncryptUsage[] =
    "Usage: mirebolt-cli encrypt [--triple-des] [-r CERTFILE]... [-R NAME]... FILE\n"
    "Encrypts FILE into FILE.enc for every recipient listed, in the order given.\n"
    "\n"
    "  -r CERTFILE    every certificate CERTFILE holds (DER, PEM, PKCS #7 bundle)\n"
    "  -R NAME        the personal store's certificate with that nickname, e-mail address\n"
    "                 or SHA-256 fingerprint\n"
    "  --triple-des   use Triple DES instead of AES-256, for readers that know nothing newer\n";

constexpr char kDecryptUsage[] =
    "Usage: mirebolt-cli decrypt [-o OUTPUT] FILE\n"
    "Decrypts FILE with a private key of the personal store into FILE without its .enc\n"
    "ending, or into OUTPUT (needed when FILE does not end in .enc).\n";

constexpr char kCertsUsage[] =
    "Usage: mirebolt-cli certs FILE\n"
    "Lists every certificate FILE holds: subject, issuer, expiry, serial number and SHA-256\n"
    "fingerprint.\n";

constexpr char kStoreUsage[] =
    "Usage: mirebolt-cli store\n"
    "Lists the personal store's certificates, your own (with a private key) first.\n";

struct Options {
    std::string storeDirectory = platform::PersonalStore::DefaultDirectory();
    bool answerYes = false;
    std::optional<std::string> passwordFile;
    bool help = false;
    std::string command;
    std::vector<std::string> arguments;  // the command's own options and operands, in order
};

int BadUsage(const std::string& problem, const char* usage) {
    std::fprintf(stderr, "%s: %s\n%s", kProgram, problem.c_str(), usage);
    return kBadUsage;
}

// Global options may stand anywhere before "--"; the first other word is the command.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& problem) {
    Options options;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        auto value = [&](const char* name) -> std::optional<std::string> {
            if (i + 1 >= argc) {
                problem = std::string(name) + " needs a value";
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        if (!optionsEnded && word == "--store") {
            auto directory = value("--store");
            if (!directory) {
                return std::nullopt;
            }
            options.storeDirectory = *directory;
        } else if (!optionsEnded && word == "--password-file") {
            options.passwordFile = value("--password-file");
            if (!options.passwordFile) {
                return std::nullopt;
            }
        } else if (!optionsEnded && word == "--yes") {
            options.answerYes = true;
        } else if (!optionsEnded && (word == "--help" || word == "-h")) {
            options.help = true;
        } else if (options.command.empty() && !optionsEnded && !word.empty() && word[0] == '-' &&
                   word != "--") {
            problem = "unknown option " + word;
            return std::nullopt;
        } else if (options.command.empty() && word != "--") {
            options.command = word;
        } else {
            optionsEnded = optionsEnded || word == "--";
            options.arguments.push_back(word);
        }
    }
    return options;
}

// A command's own words: its options in the order given, and its operands.
struct CommandWords {
    std::vector<std::pair<std::string, std::string>> options;  // name and value ("" for a flag)
    std::vector<std::string> operands;
};

// Splits the words after the command; `valued` options take the next word as their value.
// Fails with the reason for an unknown option or a missing value.
std::optional<CommandWords> SplitWords(const std::vector<std::string>& words,
                                       const std::vector<std::string>& flags,
                                       const std::vector<std::string>& valued,
                                       std::string& problem) {
    auto among = [](const std::vector<std::string>& names, const std::string& word) {
        return std::find(names.begin(), names.end(), word) != names.end();
    };
    CommandWords split;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            split.operands.push_back(word);
        } else if (word == "--") {
            optionsEnded = true;
        } else if (among(flags, word)) {
            split.options.emplace_back(word, std::string());
        } else if (among(valued, word)) {
            if (i + 1 >= words.size()) {
                problem = word + " needs a value";
                return std::nullopt;
            }
            split.options.emplace_back(word, words[++i]);
        } else {
            problem = "unknown option " + word;
            return std::nullopt;
        }
    }
    return split;
}

struct RecipientSource {
    bool fromFile;
    std::string name;
};

int RunEncrypt(const Options& options) {
    std::string problem;
    std::optional<CommandWords> words =
        SplitWords(options.arguments, {"--triple-des"}, {"-r", "-R"}, problem);
    if (!words) {
        return BadUsage(problem, kEncryptUsage);
    }
    if (words->operands.size() != 1) {
        return BadUsage("encrypt takes one FILE", kEncryptUsage);
    }
    bool tripleDes = false;
    std::vector<RecipientSource> sources;
    for (const auto& [name, value] : words->options) {
        if (name == "--triple-des") {
            tripleDes = true;
        } else {
            sources.push_back({name == "-r", value});
        }
    }
    const std::string& file = words->operands.front();

    TerminalFeedback feedback(kProgram, options.answerYes);
    NoBusyIndicator busy;
    recipients::RecipientList list;
    for (const RecipientSource& source : sources) {
        if (source.fromFile) {
            if (recipients::AddRecipientsFromFile(list, source.name, feedback, busy).failed) {
                return kFailed;
            }
        } else {
            StoreQueryPicker picker(source.name, feedback);
            if (recipients::AddRecipientFromStore(list, options.storeDirectory, picker, feedback,
                                                  busy)
                    .failed ||
                picker.failed()) {
                return kFailed;
            }
        }
    }
    const protection::EncryptRequest request{file, list, [tripleDes] { return tripleDes; }};
    const protection::CommandOutcome outcome = protection::Encrypt(request, feedback, busy);
    list.ReleaseRecipients();
    return outcome == protection::CommandOutcome::Succeeded ? kSucceeded : kFailed;
}

// The password file's first line, read straight into a secret: no stream buffer keeps a copy.
std::optional<platform::Secret> FirstLineOf(const std::string& path) {
    platform::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) {
        return std::nullopt;
    }
    platform::Secret line;
    char c = 0;
    ssize_t got = 0;
    bool ended = false;
    while (!ended && (got = ::read(file.get(), &c, 1)) == 1) {
        ended = c == '\n';
        if (!ended) {
            line.push_back(c);
        }
    }
    if (got < 0 || (!ended && line.empty())) {
        return std::nullopt;  // unreadable, or empty: no line at all
    }
    if (line.view().ends_with('\r')) {
        return platform::Secret(line.view().substr(0, line.size() - 1));
    }
    return line;
}

int RunDecrypt(const Options& options) {
    std::string problem;
    std::optional<CommandWords> words = SplitWords(options.arguments, {}, {"-o"}, problem);
    if (!words) {
        return BadUsage(problem, kDecryptUsage);
    }
    if (words->operands.size() != 1) {
        return BadUsage("decrypt takes one FILE", kDecryptUsage);
    }
    const std::string& file = words->operands.front();
    std::optional<std::string> output;
    for (const auto& option : words->options) {
        output = option.second;  // the last -o counts
    }
    if (!output && !protection::NameWithoutEncSuffix(file)) {
        return BadUsage("\"" + file + "\" does not end in .enc: name the output with -o OUTPUT",
                        kDecryptUsage);
    }
    std::optional<platform::Secret> password;
    if (options.passwordFile) {
        password = FirstLineOf(*options.passwordFile);
        if (!password) {
            std::fprintf(stderr, "%s: cannot read the password file \"%s\"\n", kProgram,
                         options.passwordFile->c_str());
            return kFailed;
        }
    }
    TerminalFeedback feedback(kProgram, options.answerYes);
    NoBusyIndicator busy;
    NoSaveQuestion noQuestion;
    TerminalKeyPrompt keyPrompt(std::move(password));
    const protection::DecryptRequest request{file, options.storeDirectory, output};
    const protection::CommandOutcome outcome = protection::Decrypt(
        request, protection::DecryptPorts{feedback, busy, noQuestion, &keyPrompt});
    return outcome == protection::CommandOutcome::Succeeded ? kSucceeded : kFailed;
}

int RunCerts(const Options& options) {
    if (options.arguments.size() != 1) {
        return BadUsage("certs takes one FILE", kCertsUsage);
    }
    auto certificates = platform::ReadCertificateFile(options.arguments.front());
    if (!certificates) {
        TerminalFeedback(kProgram, false)
            .ShowWarning("No certificate could be found on the selected file");
        return kFailed;
    }
    for (std::size_t i = 0; i < certificates->size(); ++i) {
        std::fputs(i == 0 ? "" : "\n", stdout);
        PrintCertificate(stdout, (*certificates)[i], nullptr);
    }
    return kSucceeded;
}

int RunStore(const Options& options) {
    if (!options.arguments.empty()) {
        return BadUsage("store takes no arguments", kStoreUsage);
    }
    auto store = platform::PersonalStore::Open(options.storeDirectory);
    if (!store) {
        TerminalFeedback(kProgram, false)
            .ShowWarning("Failed to open the system certificate store");
        return kFailed;
    }
    const std::vector<platform::StoreCertificate> listed = store->PickerCertificates();
    for (std::size_t i = 0; i < listed.size(); ++i) {
        std::fputs(i == 0 ? "" : "\n", stdout);
        PrintCertificate(stdout, listed[i].certificate, &listed[i].ownKey);
    }
    return kSucceeded;
}

int Run(int argc, char** argv) {
    std::string problem;
    std::optional<Options> options = ParseOptions(argc, argv, problem);
    if (!options) {
        return BadUsage(problem, kUsage);
    }
    struct Command {
        const char* name;
        int (*run)(const Options&);
        const char* usage;
    };
    static constexpr Command kCommands[] = {
        {"encrypt", &RunEncrypt, kEncryptUsage},
        {"decrypt", &RunDecrypt, kDecryptUsage},
        {"certs", &RunCerts, kCertsUsage},
        {"store", &RunStore, kStoreUsage},
    };
    if (options->command.empty()) {
        if (options->help) {
            std::fputs(kUsage, stdout);
            return kSucceeded;
        }
        return BadUsage("no command given", kUsage);
    }
    for (const Command& command : kCommands) {
        if (options->command == command.name) {
            if (options->help) {
                std::fputs(command.usage, stdout);
                return kSucceeded;
            }
            return command.run(*options);
        }
    }
    return BadUsage("unknown command " + options->command, kUsage);
}

}  // namespace
}  // namespace mirebolt::cli

int main(int argc, char** argv) {
    mirebolt::platform::NssSession nss;
    return mirebolt::cli::Run(argc, argv);
}
