// mirebolt-cli with a smart card registered in the personal store: a real SoftHSM2 token whose
// PIN comes from --password-file, as in batch use.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "support/commands.h"
#include "support/test_files.h"
#include "support/token_store.h"

namespace mirebolt {
namespace {

using testing::Bytes;
using testing::FixturePath;
using testing::ProgramResult;
using testing::TokenStore;

void WriteLine(const std::string& path, const std::string& line) {
    const std::string text = line + "\n";
    testing::WriteBytes(path, Bytes(text.begin(), text.end()));
}

class CliToken : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::WriteBytes(work_ / "letter.txt", content_);
        WriteLine(work_ / "pin", TokenStore::kPin);
        WriteLine(work_ / "wrong-pin", "1234");
    }

    ProgramResult Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {MIREBOLT_CLI, "--store", token_->directory()});
        return testing::RunProgram(arguments, token_->environment(), work_.path().string());
    }

    // letter.txt as another program encrypts it for Carol, whose key is on the card.
    void MessageForCarol() {
        const auto made = testing::RunCommand(
            {"openssl", "cms", "-encrypt", "-binary", "-aes256", "-outform", "DER", "-in",
             work_ / "letter.txt", "-out", work_ / "carol.enc", FixturePath("carol.pem")});
        ASSERT_EQ(made.exitCode, 0) << made.output;
    }

    std::optional<TokenStore> token_{std::in_place};
    testing::TempDir work_;
    Bytes content_ = testing::RandomBytes(23'456);
};

TEST_F(CliToken, StoreListsTheCardsCertificateAsOwnWithItsToken) {
    ProgramResult listing = Run({"store"});
    EXPECT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_EQ(listing.err, "");
    const std::size_t carol = listing.out.find("Carol Cooper\n");
    ASSERT_NE(carol, std::string::npos) << listing.out;
    const std::string entry = listing.out.substr(carol, listing.out.find("\n\n", carol) - carol);
    EXPECT_NE(entry.find("  Own key:   yes\n  Token:     Carol Card"), std::string::npos) << entry;
    EXPECT_LT(carol, listing.out.find("Bob Baker\n")) << "own certificates come first";
}

TEST_F(CliToken, DecryptsWithThePinFromAFileAndLeavesTheStoreAsItWas) {
    MessageForCarol();
    const auto before = token_->DatabaseFiles();
    ProgramResult decrypted =
        Run({"--password-file", work_ / "pin", "decrypt", "-o", "opened.txt", "carol.enc"});
    EXPECT_EQ(decrypted.exitCode, 0) << decrypted.err;
    EXPECT_EQ(testing::ReadBytes(work_ / "opened.txt"), content_);

    ProgramResult wrong =
        Run({"--password-file", work_ / "wrong-pin", "decrypt", "-o", "wrong.txt", "carol.enc"});
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find("The security password entered is incorrect."), std::string::npos)
        << wrong.err;
    EXPECT_FALSE(std::filesystem::exists(work_ / "wrong.txt"));

    // No password file and no terminal to ask on: that is what the run says.
    ProgramResult cancelled = Run({"decrypt", "-o", "cancelled.txt", "carol.enc"});
    EXPECT_EQ(cancelled.exitCode, 1);
    EXPECT_NE(cancelled.err.find("there is no terminal to ask for it on; --password-file FILE "
                                 "gives it\nmirebolt-cli: error: cannot decrypt \"carol.enc\": no "
                                 "password or PIN was given\n"),
              std::string::npos)
        << cancelled.err;
    EXPECT_FALSE(std::filesystem::exists(work_ / "cancelled.txt"));

    EXPECT_EQ(token_->DatabaseFiles(), before);
}

// Cards derive ECDH without a KDF only, so the KDF of the message runs outside the card: with
// openssl's default (SHA-1, two blocks for an AES-256 wrap key) and with SHA-256.
TEST_F(CliToken, DecryptsWithAnEcKeyOnTheCard) {
    token_.emplace(TokenStore::Extra::EcKey);
    for (const char* kdf : {"sha1", "sha256"}) {
        const std::string name = std::string("erin-") + kdf + ".enc";
        const auto made = testing::RunCommand(
            {"openssl", "cms", "-encrypt", "-binary", "-aes256", "-outform", "DER", "-in",
             work_ / "letter.txt", "-out", work_ / name, "-recip", FixturePath("erin.pem"),
             "-keyopt", std::string("ecdh_kdf_md:") + kdf});
        ASSERT_EQ(made.exitCode, 0) << made.output;
        const std::string opened = std::string("opened-") + kdf + ".txt";
        ProgramResult decrypted =
            Run({"--password-file", work_ / "pin", "decrypt", "-o", opened, name});
        EXPECT_EQ(decrypted.exitCode, 0) << kdf << ": " << decrypted.err;
        EXPECT_EQ(testing::ReadBytes(work_ / opened), content_) << kdf;
    }
}

TEST_F(CliToken, EncryptsToTheCardsCertificateChosenFromTheStore) {
    ProgramResult encrypted = Run({"encrypt", "-R", "carol", "letter.txt"});
    ASSERT_EQ(encrypted.exitCode, 0) << encrypted.err;
    // Opened with the key as it was before it went onto the card.
    const auto opened =
        testing::RunCommand({"openssl", "cms", "-decrypt", "-binary", "-inform", "DER", "-in",
                             work_ / "letter.txt.enc", "-inkey", FixturePath("carol.key"), "-recip",
                             FixturePath("carol.pem"), "-out", work_ / "by-openssl.txt"});
    ASSERT_EQ(opened.exitCode, 0) << opened.output;
    EXPECT_EQ(testing::ReadBytes(work_ / "by-openssl.txt"), content_);
}

TEST_F(CliToken, ACardThatIsNotInTheReaderIsAPlainFailure) {
    MessageForCarol();
    token_->RemoveCard();
    const auto started = std::chrono::steady_clock::now();
    ProgramResult listing = Run({"store"});
    EXPECT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_EQ(listing.out.find("Carol Cooper"), std::string::npos) << listing.out;
    ProgramResult decrypted =
        Run({"--password-file", work_ / "pin", "decrypt", "-o", "opened.txt", "carol.enc"});
    EXPECT_EQ(decrypted.exitCode, 1);
    EXPECT_NE(decrypted.err.find("not a recipient"), std::string::npos) << decrypted.err;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

TEST_F(CliToken, AModuleWhoseLibraryIsMissingIsNamedAndTheRestIsListed) {
    token_.reset();
    token_.emplace(TokenStore::Extra::MissingLibrary);
    const auto started = std::chrono::steady_clock::now();
    ProgramResult listing = Run({"store"});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_NE(listing.err.find("warning: The module \"Gone Reader\" ("), std::string::npos)
        << listing.err;
    EXPECT_NE(listing.err.find("/gone/libreader.so) could not be loaded"), std::string::npos)
        << listing.err;
    EXPECT_NE(listing.err.find("warning: The module \"Broken Reader\""), std::string::npos)
        << listing.err;
    for (const char* name : {"Alice Archer\n", "Bob Baker\n", "Carol Cooper\n"}) {
        EXPECT_NE(listing.out.find(name), std::string::npos) << name << listing.out;
    }
}

}  // namespace
}  // namespace mirebolt
