// mirebolt-cli's command line as Linux users write it: GNU option forms, the version, texts
// kept out of the data, quiet runs, password files and an empty store.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "cli/alices_home.h"
#include "support/immutable_folder.h"

namespace mirebolt {
namespace {

using testing::Bytes;
using testing::FixturePath;
using testing::ProgramResult;

constexpr char kEncrypted[] =
    "File encrypted successfully.\nEncrypted data written to \"letter.txt.enc\"\n";

class CliOptions : public testing::AlicesHomeWithLetter {};

TEST_F(CliOptions, GnuFormsOfOptionsMeanWhatTheLongFormsMean) {
    const ProgramResult attached = Run({"encrypt", "-r" + FixturePath("alice.pem"), "letter.txt"});
    EXPECT_EQ(attached.exitCode, 0) << attached.err;
    EXPECT_EQ(attached.out, kEncrypted);

    const ProgramResult joined = Run({"--yes", "encrypt", "--recipient=" + FixturePath("bob.pem"),
                                      "letter.txt", "--output=for-bob.enc"});
    EXPECT_EQ(joined.exitCode, 0) << joined.err;
    EXPECT_EQ(joined.out,
              "File encrypted successfully.\nEncrypted data written to \"for-bob.enc\"\n");

    const ProgramResult bobs =
        Run({"decrypt", "--store=" + FixturePath("store-bob"), "-obob.txt", "for-bob.enc"});
    EXPECT_EQ(bobs.exitCode, 0) << bobs.err;
    EXPECT_EQ(testing::ReadBytes(work_ / "bob.txt"), content_);

    // After "--" a word that looks like an option is a file name.
    testing::WriteBytes(work_ / "-r", content_);
    const ProgramResult dashed = Run({"encrypt", "-r", FixturePath("alice.pem"), "--", "-r"});
    EXPECT_EQ(dashed.exitCode, 0) << dashed.err;
    EXPECT_TRUE(std::filesystem::exists(work_ / "-r.enc"));
}

TEST_F(CliOptions, EncryptWritesTheOutputItIsToldToWhereTheInputsFolderIsNotWritable) {
    const testing::TempDir elsewhere;
    {
        testing::ImmutableFolder locked(work_.path().string());
        if (!locked.ok()) {
            GTEST_SKIP() << "this file system or user cannot make a folder immutable";
        }
        const ProgramResult run = Run(
            {"encrypt", "-r", FixturePath("alice.pem"), "-o", elsewhere / "x.p7m", "letter.txt"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(work_ / "letter.txt.enc"));
    std::filesystem::remove(work_ / "letter.txt");
    EXPECT_EQ(Run({"decrypt", "-o", "letter.txt", elsewhere / "x.p7m"}).exitCode, 0);
    EXPECT_EQ(testing::ReadBytes(work_ / "letter.txt"), content_);
}

TEST_F(CliOptions, VersionIsTheProjectsOne) {
    const ProgramResult version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("mirebolt-cli ") + MIREBOLT_VERSION + "\n");
    EXPECT_EQ(Run({"decrypt", "--version"}).out, version.out);
}

TEST_F(CliOptions, DataOnStandardOutputGetsNoTextAndQuietRunsSayNothing) {
    ASSERT_EQ(Run({"encrypt", "-r", FixturePath("alice.pem"), "letter.txt"}).exitCode, 0);
    const ProgramResult toOutput = Run({"decrypt", "-o", "-", "letter.txt.enc"});
    EXPECT_EQ(toOutput.exitCode, 0) << toOutput.err;
    EXPECT_EQ(Bytes(toOutput.out.begin(), toOutput.out.end()), content_);
    EXPECT_NE(toOutput.err.find("File decrypted successfully."), std::string::npos) << toOutput.err;

    const ProgramResult quiet =
        Run({"-q", "--yes", "encrypt", "-r", FixturePath("alice.pem"), "letter.txt"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out + quiet.err, "");
    const ProgramResult quietDecrypt =
        Run({"decrypt", "--quiet", "-o", "again.txt", "letter.txt.enc"});
    EXPECT_EQ(quietDecrypt.out + quietDecrypt.err, "");
    EXPECT_EQ(testing::ReadBytes(work_ / "again.txt"), content_);
}

TEST_F(CliOptions, PasswordFilesGiveOneSaneLineAndAreWarnedAboutWhenOthersMayReadThem) {
    ASSERT_EQ(Run({"encrypt", "-r", FixturePath("carol.pem"), "letter.txt"}).exitCode, 0);
    const std::string carols = "--store=" + FixturePath("store-carol");

    const auto started = std::chrono::steady_clock::now();
    const ProgramResult endless =
        Run({carols, "--password-file", "/dev/zero", "decrypt", "-o", "x.txt", "letter.txt.enc"});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(endless.exitCode, 1);
    EXPECT_NE(endless.err.find("cannot read the password file \"/dev/zero\""), std::string::npos)
        << endless.err;
    EXPECT_FALSE(std::filesystem::exists(work_ / "x.txt"));

    const std::string password = "carol-secret\nsecond line\n";
    testing::WriteBytes(work_ / "pw", Bytes(password.begin(), password.end()));
    ::chmod((work_ / "pw").c_str(), 0644);
    const ProgramResult shared =
        Run({carols, "--password-file=pw", "decrypt", "-o", "shared.txt", "letter.txt.enc"});
    EXPECT_EQ(shared.exitCode, 0) << shared.err;
    EXPECT_NE(shared.err.find("warning: others may read the password file \"pw\""),
              std::string::npos)
        << shared.err;
    EXPECT_EQ(testing::ReadBytes(work_ / "shared.txt"), content_);

    ::chmod((work_ / "pw").c_str(), 0600);
    const ProgramResult own =
        Run({carols, "--password-file=pw", "decrypt", "-o", "own.txt", "letter.txt.enc"});
    EXPECT_EQ(own.exitCode, 0);
    EXPECT_EQ(own.err, "");

    const std::string tooLong(5000, 'x');
    testing::WriteBytes(work_ / "long", Bytes(tooLong.begin(), tooLong.end()));
    EXPECT_EQ(
        Run({carols, "--password-file=long", "decrypt", "-o", "l.txt", "letter.txt.enc"}).exitCode,
        1);
}

TEST_F(CliOptions, AnEmptyOrMissingStoreSaysHowToImportAKey) {
    std::filesystem::create_directory(work_ / "empty");
    ASSERT_EQ(testing::RunCommand(
                  {"certutil", "-N", "-d", "sql:" + (work_ / "empty"), "--empty-password"})
                  .exitCode,
              0);
    for (const std::string& store : {std::string("missing-folder"), work_ / "empty"}) {
        const ProgramResult listing = Run({"--store=" + store, "store"});
        EXPECT_EQ(listing.exitCode, 0) << listing.err;
        EXPECT_EQ(listing.out, "");
        EXPECT_NE(listing.err.find("mirebolt-cli import FILE.p12"), std::string::npos)
            << listing.err;
    }
    const ProgramResult help = Run({"import", "--help"});
    EXPECT_EQ(help.out.rfind("Usage: mirebolt-cli import", 0), 0u);
}

}  // namespace
}  // namespace mirebolt
