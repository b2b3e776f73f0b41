#include "cli/command_line.h"

#include <getopt.h>

#include <cstring>

namespace mirebolt::cli {

namespace {

enum LongOnly : int {
    kStore = 1000,
    kYes,
    kPasswordFile,
    kVersion,
    kTripleDes,
    kGcm,
    kPem,
    kAllowInvalid,
    kCheckRevocation,
    kP12PasswordFile,
    kDer,
    kJson,
    kDirectory,
    kStartTls,
    kBindDn,
    kBindPasswordFile,
};

// Options every command takes, before or after its name.
constexpr option kGlobal[] = {
    {"store", required_argument, nullptr, kStore},
    {"yes", no_argument, nullptr, kYes},
    {"password-file", required_argument, nullptr, kPasswordFile},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {"json", no_argument, nullptr, kJson},
};
constexpr char kGlobalShort[] = "qh";

// Every command that checks certificates may ask their OCSP responders.
constexpr option kCheckRevocationOption = {"check-revocation", no_argument, nullptr,
                                           kCheckRevocation};

// The commands that may ask the organisation's directory.
constexpr option kDirectoryOptions[] = {
    {"directory", required_argument, nullptr, kDirectory},
    {"starttls", no_argument, nullptr, kStartTls},
    {"bind-dn", required_argument, nullptr, kBindDn},
    {"bind-password-file", required_argument, nullptr, kBindPasswordFile},
};

struct CommandOptions {
    const char* command;
    const char* shortOptions;
    std::vector<option> longOptions;
    bool writesJson = false;  // the listings, which a program may want to read
};

const CommandOptions kCommandOptions[] = {
    {"encrypt",
     "r:R:o:",
     {{"recipient", required_argument, nullptr, 'r'},
      {"store-recipient", required_argument, nullptr, 'R'},
      {"output", required_argument, nullptr, 'o'},
      {"triple-des", no_argument, nullptr, kTripleDes},
      {"gcm", no_argument, nullptr, kGcm},
      {"pem", no_argument, nullptr, kPem},
      {"allow-invalid", no_argument, nullptr, kAllowInvalid},
      kCheckRevocationOption,
      kDirectoryOptions[0],
      kDirectoryOptions[1],
      kDirectoryOptions[2],
      kDirectoryOptions[3]}},
    {"decrypt", "o:", {{"output", required_argument, nullptr, 'o'}}},
    {"certs", "", {kCheckRevocationOption}, true},
    {"store", "", {kCheckRevocationOption}, true},
    {"import", "", {{"p12-password-file", required_argument, nullptr, kP12PasswordFile}}},
    {"export",
     "R:o:",
     {{"store-recipient", required_argument, nullptr, 'R'},
      {"output", required_argument, nullptr, 'o'},
      {"der", no_argument, nullptr, kDer}}},
    {"info", "", {kCheckRevocationOption}, true},
    {"lookup",
     "",
     {kCheckRevocationOption, kDirectoryOptions[0], kDirectoryOptions[1], kDirectoryOptions[2],
      kDirectoryOptions[3]},
     true},
};

std::string Spelled(int code, const char* word) {
    if (code > 0 && code < 256) {
        return std::string("-") + static_cast<char>(code);
    }
    return word != nullptr ? std::string(word) : std::string("an option");
}

// Runs getopt_long over `words` (words[0] is the program) and applies what it finds; false with
// `problem` set on an unknown option or a missing value. Gives the index of the first operand.
bool ReadOptions(std::vector<char*>& words, const std::string& shortOptions,
                 const std::vector<option>& longOptions, CommandLine& line, int& firstOperand) {
    Options& options = line.options;
    ::optind = 0;  // a full restart of getopt's own state
    ::opterr = 0;  // its texts are ours to write
    const int count = static_cast<int>(words.size()) - 1;
    for (;;) {
        const int code =
            ::getopt_long(count, words.data(), shortOptions.c_str(), longOptions.data(), nullptr);
        if (code == -1) {
            break;
        }
        switch (code) {
            case kStore:
                options.storeDirectory = ::optarg;
                break;
            case kYes:
                options.answerYes = true;
                break;
            case kPasswordFile:
                options.passwordFile = ::optarg;
                break;
            case 'q':
                options.quiet = true;
                break;
            case 'h':
                line.action = CommandLine::Action::ShowHelp;
                break;
            case kVersion:
                line.action = CommandLine::Action::ShowVersion;
                break;
            case 'r':
            case 'R':
                options.recipients.push_back({code == 'r', ::optarg});
                break;
            case 'o':
                options.output = ::optarg;
                break;
            case kTripleDes:
                options.tripleDes = true;
                break;
            case kGcm:
                options.gcm = true;
                break;
            case kPem:
                options.pem = true;
                break;
            case kAllowInvalid:
                options.allowInvalid = true;
                break;
            case kCheckRevocation:
                options.checkRevocation = true;
                break;
            case kP12PasswordFile:
                options.p12PasswordFile = ::optarg;
                break;
            case kDer:
                options.der = true;
                break;
            case kJson:
                options.json = true;
                break;
            case kDirectory:
                options.directory = ::optarg;
                break;
            case kStartTls:
                options.startTls = true;
                break;
            case kBindDn:
                options.bindDn = ::optarg;
                break;
            case kBindPasswordFile:
                options.bindPasswordFile = ::optarg;
                break;
            case ':':
                line.problem = Spelled(::optopt, words[::optind - 1]) + " needs a value";
                return false;
            default:
                line.problem = "unknown option " + Spelled(::optopt, words[::optind - 1]);
                return false;
        }
    }
    firstOperand = ::optind;
    return true;
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv, std::string defaultStoreDirectory) {
    CommandLine line;
    line.options.storeDirectory = std::move(defaultStoreDirectory);
    std::vector<char*> words(argv, argv + argc);
    words.push_back(nullptr);

    // The options before the command, up to its name ("+": stop at the first operand).
    std::vector<option> global(std::begin(kGlobal), std::end(kGlobal));
    global.push_back({nullptr, 0, nullptr, 0});
    int commandAt = 0;
    if (!ReadOptions(words, std::string("+:") + kGlobalShort, global, line, commandAt)) {
        line.action = CommandLine::Action::BadUsage;
        return line;
    }
    if (line.action != CommandLine::Action::Run || commandAt >= argc) {
        if (line.action == CommandLine::Action::Run) {
            line.action = CommandLine::Action::BadUsage;
            line.problem = "no command given";
        }
        return line;
    }
    line.options.command = words[commandAt];
    const CommandOptions* known = nullptr;
    for (const CommandOptions& candidate : kCommandOptions) {
        if (line.options.command == candidate.command) {
            known = &candidate;
        }
    }
    if (known == nullptr) {
        line.action = CommandLine::Action::BadUsage;
        line.problem = "unknown command " + line.options.command;
        line.options.command.clear();
        return line;
    }

    // The command's own words, where options and operands may be mixed.
    std::vector<char*> rest{argv[0]};
    rest.insert(rest.end(), argv + commandAt + 1, argv + argc);
    rest.push_back(nullptr);
    std::vector<option> all = known->longOptions;
    all.insert(all.end(), std::begin(kGlobal), std::end(kGlobal));
    all.push_back({nullptr, 0, nullptr, 0});
    int firstOperand = 0;
    if (!ReadOptions(rest, std::string(":") + kGlobalShort + known->shortOptions, all, line,
                     firstOperand)) {
        line.action = CommandLine::Action::BadUsage;
        return line;
    }
    for (int i = firstOperand; i + 1 < static_cast<int>(rest.size()); ++i) {
        line.options.operands.emplace_back(rest[i]);
    }
    if (line.options.gcm && line.options.tripleDes) {
        line.action = CommandLine::Action::BadUsage;
        line.problem = "--gcm and --triple-des choose different ciphers";
    }
    // An empty name would otherwise reach the system, which names no file by it.
    if (line.options.output && line.options.output->empty()) {
        line.action = CommandLine::Action::BadUsage;
        line.problem = "-o needs the output's name; \"\" names none (- is standard output)";
    }
    if (line.options.json && !known->writesJson) {
        line.action = CommandLine::Action::BadUsage;
        line.problem = "--json is for store, certs, info and lookup only";
    }
    return line;
}

}  // namespace mirebolt::cli
