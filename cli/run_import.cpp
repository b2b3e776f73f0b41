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
#include "nss/certificate_file.h"
#include "nss/certificate_import.h"
#include "nss/store_import.h"

namespace mirebolt::cli {

namespace {

// PKCS #12 and certificate files hold a key and a few certificates: kilobytes. Anything far
// larger is not one.
constexpr std::size_t kMaxImportSize = 16 * 1024 * 1024;
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
        if (bytes.size() + static_cast<std::size_t>(got) > kMaxImportSize) {
            problem = "too large for a certificate or PKCS #12 file";
            return std::nullopt;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
}

// Asks on the terminal; the store's and the file's passwords may come from password files
// instead, each taken once: a wrong one is not tried again.
class TerminalImportPrompts : public platform::ImportPrompts {
  public:
    TerminalImportPrompts(std::string file, std::string store,
                          std::optional<platform::Secret> storePassword,
                          std::optional<platform::Secret> filePassword)
        : file_(std::move(file)),
          store_(std::move(store)),
          storePassword_(std::move(storePassword)),
          filePassword_(std::move(filePassword)) {}

    std::optional<platform::Secret> AskFilePassword(bool retry) override {
        if (filePassword_) {
            if (retry) {
                return std::nullopt;
            }
            return platform::Secret(filePassword_->view());
        }
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
    std::optional<platform::Secret> filePassword_;
};

void PrintImported(const char* what, const platform::Certificate& certificate) {
    std::printf("%s \"%s\" (SHA-256 %s)\n", what, platform::SubjectDisplayName(certificate).c_str(),
                platform::Sha256Fingerprint(certificate).c_str());
}

// Other people's certificates, added so that one can encrypt to them by name.
int ImportCertificateFile(const Options& options, const std::string& file,
                          const std::vector<platform::Certificate>& certificates,
                          TerminalImportPrompts& prompts) {
    if (certificates.empty()) {
        std::fprintf(stderr, "%s: \"%s\" holds no certificate\n", kProgram, file.c_str());
        return kFailed;
    }
    Result<platform::CertificateImportOutcome> imported =
        platform::ImportCertificates(options.storeDirectory, certificates, prompts);
    if (!imported) {
        std::fprintf(stderr, "%s: cannot import \"%s\": %s\n", kProgram, file.c_str(),
                     imported.failure().text.c_str());
        return kFailed;
    }
    if (!options.quiet) {
        if (imported->storeCreated) {
            std::printf("Personal store created.\n");
        }
        for (const platform::Certificate& certificate : imported->added) {
            PrintImported("Added", certificate);
        }
        for (const platform::Certificate& certificate : imported->alreadyThere) {
            PrintImported("Already in the store:", certificate);
        }
        std::printf("%zu certificate%s of \"%s\" imported into the personal store \"%s\"\n",
                    imported->added.size(), imported->added.size() == 1 ? "" : "s", file.c_str(),
                    options.storeDirectory.c_str());
    }
    return kSucceeded;
}

}  // namespace

int RunImport(const Options& options) {
    if (options.operands.size() != 1) {
        return BadUsage("import takes one FILE (PKCS #12 or certificates)", options.command);
    }
    const std::string& file = options.operands.front();
    std::optional<std::optional<platform::Secret>> password = PasswordFromFile(options);
    if (!password) {
        return kFailed;
    }
    std::optional<std::optional<platform::Secret>> filePassword =
        PasswordFromFile(options.p12PasswordFile);
    if (!filePassword) {
        return kFailed;
    }
    std::string problem;
    std::optional<std::vector<std::uint8_t>> contents = ReadSmallFile(file, problem);
    if (!contents) {
        std::fprintf(stderr, "%s: cannot read \"%s\": %s\n", kProgram, file.c_str(),
                     problem.c_str());
        return kFailed;
    }
    TerminalImportPrompts prompts(file, options.storeDirectory, std::move(*password),
                                  std::move(*filePassword));
    // A certificate file (DER, PEM, a PKCS #7 bundle) reads as certificates; anything else is
    // taken for a PKCS #12 file.
    std::size_t skipped = 0;
    if (Result<std::vector<platform::Certificate>> certificates =
            platform::DecodeCertificates(*contents, &skipped)) {
        if (skipped != 0) {
            std::fprintf(stderr, "%s: warning: %s\n", kProgram,
                         platform::SkippedCertificatesWarning(skipped).c_str());
        }
        return ImportCertificateFile(options, file, *certificates, prompts);
    }
    Result<platform::ImportOutcome> imported =
        platform::ImportPkcs12(options.storeDirectory, *contents, prompts);
    explicit_bzero(contents->data(), contents->size());
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
