#include "support/token_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "support/commands.h"

namespace mirebolt::testing {

TokenStore::TokenStore(Extra extra) {
    std::vector<std::string> command = {std::string(MIREBOLT_TEST_TOOLS) + "/make-token-store.sh",
                                        folder_.path().string(), FixturePath("")};
    if (extra == Extra::MissingLibrary) {
        command.emplace_back("--missing-library");
    } else if (extra == Extra::CertificateInDatabase) {
        command.emplace_back("--certificate-in-database");
    } else if (extra == Extra::EcKey) {
        command.emplace_back("--ec-key");
    }
    const CommandResult made = RunCommand(command);
    EXPECT_EQ(made.exitCode, 0) << made.output;
    ::setenv("SOFTHSM2_CONF", (folder_ / "softhsm2.conf").c_str(), 1);
}

TokenStore::~TokenStore() {
    ::unsetenv("SOFTHSM2_CONF");
}

std::vector<std::string> TokenStore::environment() const {
    return {"SOFTHSM2_CONF=" + folder_ / "softhsm2.conf"};
}

void TokenStore::RemoveCard() {
    for (const auto& token : std::filesystem::directory_iterator(folder_.path() / "tokens")) {
        std::filesystem::remove_all(token.path());
    }
}

std::map<std::string, Bytes> TokenStore::DatabaseFiles() const {
    std::map<std::string, Bytes> files;
    for (const auto& file : std::filesystem::directory_iterator(directory())) {
        files[file.path().filename().string()] = ReadBytes(file.path().string());
    }
    return files;
}

}  // namespace mirebolt::testing
