#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "base/unique_fd.h"
#include "cli/commands.h"
#include "cli/terminal.h"
#include "nss/store_import.h"

namespace mirebolt::cli {

namespace {

// PKCS #12 files hold a key and a few certificates: kilobytes. Anything far larger is not one.
constexpr std::size_t kMaxPkcs12Size = 16 * 1024 * 1024;
constexpr int kMaxNewPasswordTries = 3;

std::optional<std::vector<std::uint8_t>> ReadSmallFile(const std::string& path,
                                                       std::string& problem) {
    platform::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!file) {
        problem = strerror(errno);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            problem = strerror(errno);
            return std::nullopt;
        }
        if (got == 0) {
            return bytes;
        }
        if (bytes.size() + static_cast<std::size_t>(got) > kMaxPkcs12Size) {
            problem = "too large for a PKCS #12 file";
            return std::nullopt;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
}

// Asks on the terminal; the store's password may come from the password file instead.
class TerminalImportPrompts : public platform::ImportPrompts {
  public:
    TerminalImportPrompts(std::string file, std::string store,
                          std::optional<platform::Secret> storePassword)
        : file_(std::move(file)),
          store_(std::move(store)),
          storePassword_(std::move(storePassword)) {}

    std::optional<platform::Secret> AskFilePassword(bool retry) override {
        return Terminal::AskSecret(std::string(retry ? "Wrong password. " : "") +
                                   "Password for \"" + file_ + "\": ");
    }

    std::optional<platform::Secret> AskNewStorePassword() override {
        if (storePassword_) {
            return platform::Secret(storePassword_->view());
        }
        for (int attempt = 0; attempt < kMaxNewPasswordTries; ++attempt) {
            std::optional<platform::Secret> first = Terminal::AskSecret(
                "New password for the personal store \"" + store_ + "\" (empty: none): ");
            if (!first) {
                return std::nullopt;
            }
            std::optional<platform::Secret> again =
                Terminal::AskSecret("The same password again: ");
            if (again && again->view() == first->view()) {
                return first;
            }
            std::fprintf(stderr, "%s: the two passwords differ\n", kProgram);
        }
        return std::nullopt;
    }

    std::optional<platform::Secret> AskStorePassword(bool retry) override {
        if (storePassword_) {
            if (retry) {
                return std::nullopt;
            }
            return platform::Secret(storePassword_->view());
        }
        return Terminal::AskSecret(std::string(retry ? "Wrong password. " : "") +
                                   "Password for the personal store \"" + store_ + "\": ");
    }

  private:
    std::string file_;
    std::string store_;
    std::optional<platform::Secret> storePassword_;
};

}  // namespace

int RunImport(const Options& options) {
    if (options.operands.size() != 1) {
        return BadUsage("import takes one FILE.p12", options.command);
    }
    const std::string& file = options.operands.front();
    std::optional<std::optional<platform::Secret>> password = PasswordFromFile(options);
    if (!password) {
        return kFailed;
    }
    std::string problem;
    std::optional<std::vector<std::uint8_t>> pkcs12 = ReadSmallFile(file, problem);
    if (!pkcs12) {
        std::fprintf(stderr, "%s: cannot read \"%s\": %s\n", kProgram, file.c_str(),
                     problem.c_str());
        return kFailed;
    }
    TerminalImportPrompts prompts(file, options.storeDirectory, std::move(*password));
    Result<platform::ImportOutcome> imported =
        platform::ImportPkcs12(options.storeDirectory, *pkcs12, prompts);
    explicit_bzero(pkcs12->data(), pkcs12->size());
    if (!imported) {
        std::fprintf(stderr, "%s: cannot import \"%s\": %s\n", kProgram, file.c_str(),
                     imported.failure().text.c_str());
        return kFailed;
    }
    if (!options.quiet) {
        std::printf("%s\"%s\" imported into the personal store \"%s\"\n",
                    imported->storeCreated ? "Personal store created. " : "", file.c_str(),
                    options.storeDirectory.c_str());
    }
    return kSucceeded;
}

}  // namespace mirebolt::cli
