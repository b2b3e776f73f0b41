#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mirebolt::cli {

// One recipient as the command line names it: a certificate file (-r) or a name in the personal
// store (-R).
struct RecipientOption {
    bool fromFile = false;
    std::string name;
};

// Everything the command line asked for. Options follow the GNU conventions: "--name=value" or
// "--name value", "-rFILE" or "-r FILE", options before or after operands, "--" ends them.
struct Options {
    std::string storeDirectory;
    bool answerYes = false;
    bool quiet = false;
    std::optional<std::string> passwordFile;
    std::string command;
    std::vector<RecipientOption> recipients;  // in the order given
    bool tripleDes = false;
    bool gcm = false;  // encrypt: AES-256-GCM, authenticated
    bool pem = false;
    bool allowInvalid = false;                   // encrypt for unfit certificates all the same
    bool checkRevocation = false;                // ask the certificates' OCSP responders too
    std::optional<std::string> output;           // the last -o counts
    std::optional<std::string> p12PasswordFile;  // import: the PKCS #12 file's password
    bool der = false;                            // export: DER instead of PEM
    bool json = false;                           // the listings: one JSON document instead
    std::optional<std::string> directory;  // ldap://HOST[:PORT]/BASE-DN, over the environment's
    bool startTls = false;                 // the directory's connection made private first
    std::optional<std::string> bindDn;     // the directory's bind; none: anonymous
    std::optional<std::string> bindPasswordFile;  // that bind's password, else the terminal asks
    std::vector<std::string> operands;
};

struct CommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, BadUsage };
    Action action = Action::Run;
    Options options;
    std::string problem;  // why the usage is bad
};

CommandLine ParseCommandLine(int argc, char** argv, std::string defaultStoreDirectory);

}  // namespace mirebolt::cli
