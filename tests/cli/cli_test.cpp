// mirebolt-cli run as a person would run it: its own process, no terminal, a home folder of
// its own whose personal store is Alice's.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "cli/alices_home.h"

namespace mirebolt {
namespace {

using testing::Bytes;
using testing::FixturePath;
using testing::ProgramResult;

const char kDuplicate[] = "mirebolt-cli: warning: The certificate is already present on the list\n";

class Cli : public testing::AlicesHomeWithLetter {};

TEST_F(Cli, RoundTripWithFilesAndTheHomeStore) {
    ProgramResult encrypted = Run(
        {"encrypt", "-r", FixturePath("alice.pem"), "-r", FixturePath("bob.pem"), "letter.txt"});
    EXPECT_EQ(encrypted.exitCode, 0) << encrypted.err;
    EXPECT_EQ(encrypted.out,
              "File encrypted successfully.\nEncrypted data written to \"letter.txt.enc\"\n");
    EXPECT_EQ(encrypted.err, "");

    std::filesystem::remove(work_ / "letter.txt");
    ProgramResult decrypted = Run({"decrypt", "letter.txt.enc"});
    EXPECT_EQ(decrypted.exitCode, 0) << decrypted.err;
    EXPECT_EQ(decrypted.out,
              "File decrypted successfully.\nDecrypted data written to \"letter.txt\"\n");
    EXPECT_EQ(testing::ReadBytes(work_ / "letter.txt"), content_);

    // A mail attachment's name needs no -o either.
    std::filesystem::remove(work_ / "letter.txt");
    std::filesystem::copy_file(work_ / "letter.txt.enc", work_ / "letter.txt.p7m");
    EXPECT_EQ(Run({"decrypt", "letter.txt.p7m"}).exitCode, 0);
    EXPECT_EQ(testing::ReadBytes(work_ / "letter.txt"), content_);

    ProgramResult bobs =
        Run({"--store", FixturePath("store-bob"), "decrypt", "-o", "bob.txt", "letter.txt.enc"});
    EXPECT_EQ(bobs.exitCode, 0) << bobs.err;
    EXPECT_EQ(testing::ReadBytes(work_ / "bob.txt"), content_);
}

TEST_F(Cli, StoreCertificatesByNicknameAddressOrFingerprint) {
    ProgramResult listing = Run({"store"});
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    const std::size_t at = listing.out.find("SHA-256:   ");
    ASSERT_NE(at, std::string::npos) << listing.out;
    const std::string aliceFingerprint = listing.out.substr(at + 11, 95);

    for (const std::string& name :
         {std::string("alice"), std::string("ALICE@example.org"), aliceFingerprint}) {
        ProgramResult encrypted = Run({"--yes", "encrypt", "-R", name, "letter.txt"});
        EXPECT_EQ(encrypted.exitCode, 0) << name << ": " << encrypted.err;
    }
    ProgramResult unknown = Run({"encrypt", "-R", "nobody", "letter.txt"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("\"nobody\""), std::string::npos) << unknown.err;
}

TEST_F(Cli, DuplicatesAreWarnedAboutAsInTheWindow) {
    ProgramResult encrypted = Run({"encrypt", "-r", FixturePath("alice.pem"), "-R", "alice", "-r",
                                   FixturePath("three.p7b"), "letter.txt"});
    EXPECT_EQ(encrypted.exitCode, 0);
    EXPECT_EQ(encrypted.err, std::string(kDuplicate) + kDuplicate);
}

TEST_F(Cli, FailuresNameTheirFileAndTheSystemsReasonAndExitWithOne) {
    const std::string bob = FixturePath("bob.pem");
    const struct {
        std::vector<std::string> arguments;
        std::string err;
    } cases[] = {
        {{"encrypt", "-r", bob, "missing.txt"},
         "mirebolt-cli: error: cannot read \"missing.txt\": No such file or directory\n"},
        {{"encrypt", "-r", bob, "."}, "mirebolt-cli: error: cannot read \".\": Is a directory\n"},
        {{"encrypt", "-r", "nonexist.pem", "letter.txt"},
         "mirebolt-cli: error: cannot read the certificate file \"nonexist.pem\": No such file or "
         "directory\n"},
        {{"encrypt", "-r", FixturePath("bob.key"), "letter.txt"},
         "mirebolt-cli: error: \"" + FixturePath("bob.key") +
             "\" holds no certificate (PEM, DER or PKCS #7; a PKCS #12 file is imported with "
             "`mirebolt-cli import`)\n"},
        {{"encrypt", "-r", bob, "-o", "nodir/x.enc", "letter.txt"},
         "mirebolt-cli: error: cannot write \"nodir/x.enc\": No such file or directory\n"},
        {{"encrypt", "-r", bob, "-o", ".", "letter.txt"},
         "mirebolt-cli: error: cannot write \".\": Is a directory\n"},
        {{"decrypt", "-o", "x.txt", "letter.txt"},
         "mirebolt-cli: error: cannot decrypt \"letter.txt\": The file is not an encrypted "
         "message.\n"},
    };
    for (const auto& each : cases) {
        ProgramResult run = Run(each.arguments);
        EXPECT_EQ(run.exitCode, 1) << ::testing::PrintToString(each.arguments);
        EXPECT_EQ(run.err, each.err);
    }
    EXPECT_EQ(testing::FolderEntries(work_.path()), (std::set<std::string>{"letter.txt"}));

    ProgramResult noRecipients = Run({"encrypt", "letter.txt"});
    EXPECT_EQ(noRecipients.exitCode, 2);
    EXPECT_EQ(noRecipients.err.rfind(
                  "mirebolt-cli: no recipients: name them with -r FILE or -R NAME\n", 0),
              0u);

    ProgramResult notOurs = Run({"encrypt", "-r", bob, "letter.txt"});
    ASSERT_EQ(notOurs.exitCode, 0);
    ProgramResult denied = Run({"decrypt", "-o", "x.txt", "letter.txt.enc"});
    EXPECT_EQ(denied.exitCode, 1);
    EXPECT_EQ(denied.err.rfind("mirebolt-cli: error: cannot decrypt \"letter.txt.enc\": ", 0), 0u)
        << denied.err;
    EXPECT_FALSE(std::filesystem::exists(work_ / "x.txt"));
}

TEST_F(Cli, OverwritingIsAskedAndWithoutATerminalTheAnswerIsNo) {
    testing::WriteBytes(work_ / "letter.txt.enc", {'o', 'l', 'd'});
    ProgramResult declined = Run({"encrypt", "-r", FixturePath("alice.pem"), "letter.txt"});
    EXPECT_EQ(declined.exitCode, 1);
    EXPECT_NE(
        declined.err.find("mirebolt-cli: \"letter.txt.enc\" already exists; replace it? [y/N]"),
        std::string::npos)
        << declined.err;
    EXPECT_EQ(testing::ReadBytes(work_ / "letter.txt.enc"), (Bytes{'o', 'l', 'd'}));

    ProgramResult overwritten =
        Run({"--yes", "encrypt", "-r", FixturePath("alice.pem"), "letter.txt"});
    EXPECT_EQ(overwritten.exitCode, 0) << overwritten.err;
    EXPECT_GT(testing::ReadBytes(work_ / "letter.txt.enc").size(), 3u);
}

// Replacing a file is asked about even when the person cannot read it: the output takes the
// name by a rename, which needs no right to the file that was there.
TEST_F(Cli, AFileThePersonCannotReadIsAskedAboutToo) {
    ASSERT_EQ(Run({"encrypt", "-r", FixturePath("alice.pem"), "letter.txt"}).exitCode, 0);
    std::filesystem::copy_file(FixturePath("alice.pem"), work_ / "alice.pem");
    // Root reads every file, so the program runs as nobody there.
    std::vector<std::string> asPerson;
    if (::geteuid() == 0) {
        asPerson = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        for (const auto& entry : std::filesystem::recursive_directory_iterator(home_.path())) {
            std::filesystem::permissions(entry.path(), entry.is_directory()
                                                           ? std::filesystem::perms(0755)
                                                           : std::filesystem::perms(0644));
        }
        std::filesystem::permissions(home_.path(), std::filesystem::perms(0755));
        std::filesystem::permissions(work_.path(), std::filesystem::perms(0777));
        std::filesystem::permissions(work_ / "letter.txt.enc", std::filesystem::perms(0644));
        std::filesystem::permissions(work_ / "alice.pem", std::filesystem::perms(0644));
    }
    for (const auto& [output, command] :
         {std::pair{"letter.txt.enc",
                    std::vector<std::string>{"encrypt", "-r", "alice.pem", "letter.txt"}},
          std::pair{"letter.txt", std::vector<std::string>{"decrypt", "letter.txt.enc"}}}) {
        const std::string name = work_ / output;
        const Bytes kept = testing::ReadBytes(name);
        // Another name for the file keeps its bytes reachable after a rename over this one.
        const std::string keeper = work_ / "keeper";
        std::filesystem::remove(keeper);
        std::filesystem::create_hard_link(name, keeper);
        std::filesystem::permissions(name, std::filesystem::perms::none);

        std::vector<std::string> arguments = asPerson;
        arguments.push_back(MIREBOLT_CLI);
        arguments.insert(arguments.end(), command.begin(), command.end());
        const ProgramResult run =
            testing::RunProgram(arguments, {"HOME=" + home_.path().string()}, work_.path());
        EXPECT_EQ(run.exitCode, 1) << output << ": " << run.out << run.err;
        EXPECT_NE(run.err.find("already exists"), std::string::npos) << output << ": " << run.err;
        EXPECT_TRUE(std::filesystem::equivalent(name, keeper)) << output << " was replaced";
        std::filesystem::permissions(name, std::filesystem::perms(0644));
        EXPECT_EQ(testing::ReadBytes(name), kept) << output;
    }
}

TEST_F(Cli, TripleDesOnRequestAndPasswordsFromAFile) {
    ProgramResult encrypted =
        Run({"encrypt", "--triple-des", "-r", FixturePath("carol.pem"), "letter.txt"});
    ASSERT_EQ(encrypted.exitCode, 0) << encrypted.err;
    const Bytes message = testing::ReadBytes(work_ / "letter.txt.enc");
    const Bytes tripleDesOid{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x03, 0x07};
    EXPECT_NE(std::search(message.begin(), message.end(), tripleDesOid.begin(), tripleDesOid.end()),
              message.end());

    const std::string carols = FixturePath("store-carol");
    ProgramResult opened =
        Run({"--store", carols, "--password-file", FixturePath("store-carol.password"), "decrypt",
             "letter.txt.enc", "-o", "carol.txt"});
    EXPECT_EQ(opened.exitCode, 0) << opened.err;
    EXPECT_EQ(testing::ReadBytes(work_ / "carol.txt"), content_);

    testing::WriteBytes(work_ / "wrong", {'n', 'o', '\n'});
    ProgramResult refused = Run({"--store", carols, "--password-file", "wrong", "decrypt", "-o",
                                 "again.txt", "letter.txt.enc"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("mirebolt-cli: error: cannot decrypt \"letter.txt.enc\": The "
                               "security password entered is incorrect.\n"),
              std::string::npos)
        << refused.err;

    ProgramResult noTerminal =
        Run({"--store", carols, "decrypt", "-o", "again.txt", "letter.txt.enc"});
    EXPECT_EQ(noTerminal.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(work_ / "again.txt"));
}

TEST_F(Cli, ListsTheCertificatesOfAFile) {
    ProgramResult listing = Run({"certs", FixturePath("three.pem")});
    ASSERT_EQ(listing.exitCode, 0);
    EXPECT_EQ(listing.out.find("Alice Archer\n"), 0u);
    EXPECT_LT(listing.out.find("Bob Baker\n"), listing.out.find("Carol Cooper\n"));
    EXPECT_NE(listing.out.find("  Serial:    10:03\n  Key:       RSA 3072\n"), std::string::npos);
    EXPECT_NE(listing.out.find("  Expires:   "), std::string::npos);
    EXPECT_EQ(Run({"certs", FixturePath("text.pem")}).exitCode, 1);
}

TEST_F(Cli, AFileOfTenThousandCertificatesListsItsFirstThousandSoonWithAWarning) {
    // Taken whole, NSS's lookups made this take over half a minute.
    const auto start = std::chrono::steady_clock::now();
    ProgramResult listing = Run({"certs", FixturePath("many.pem")});
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_EQ(listing.err,
              "mirebolt-cli: warning: The file holds more than 1000 certificates: the first 1000 "
              "were taken and 9000 more were skipped\n");
    std::size_t listed = 0;
    for (std::size_t at = 0; (at = listing.out.find("\n  Serial:", at)) != std::string::npos;
         at += 1) {
        ++listed;
    }
    EXPECT_EQ(listed, 1000u);
    EXPECT_LT(took, std::chrono::seconds(20));  // a sanitizer build on a busy machine too
}

TEST_F(Cli, BadUsageExitsWithTwoAndHelpWithZero) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"--bogus", "store"},
             {"encrypt"},
             {"encrypt", "-r"},
             {"encrypt", "--fast", "letter.txt"},
             {"encrypt", "--gcm", "--triple-des", "-r", "bob.pem", "letter.txt"},
             {"decrypt", "letter.txt"},
             {"decrypt", "-o", "x", "a.enc", "b.enc"},
             {"decrypt", "-o", "", "a.enc"},
             {"encrypt", "-r", "bob.pem", "letter.txt", "-"},
             {"encrypt", "letter.txt"},
             {"certs"},
             {"store", "extra"},
             {"encrypt", "--json", "-r", "bob.pem", "letter.txt"},
             {"--json", "export"},
         }) {
        ProgramResult run = Run(arguments);
        EXPECT_EQ(run.exitCode, 2) << ::testing::PrintToString(arguments);
        // The problem in one line, and where the help is.
        const std::size_t lineEnd = run.err.find('\n');
        ASSERT_NE(lineEnd, std::string::npos) << run.err;
        EXPECT_EQ(run.err.rfind("mirebolt-cli: ", 0), 0u) << run.err;
        EXPECT_EQ(run.err.substr(lineEnd + 1).rfind("Try 'mirebolt-cli", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
    }
    for (const char* command : {"encrypt", "decrypt", "certs", "store"}) {
        ProgramResult help = Run({command, "--help"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_EQ(help.out.rfind(std::string("Usage: mirebolt-cli ") + command, 0), 0u);
    }
    EXPECT_EQ(Run({"--help"}).exitCode, 0);
}

}  // namespace
}  // namespace mirebolt
