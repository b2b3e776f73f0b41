// mirebolt-cli info: who can open a file, told without decrypting it or asking anything.
#include <gtest/gtest.h>

#include "support/commands.h"
#include "support/test_files.h"

namespace mirebolt {
namespace {

TEST(CliInfo, NamesTheFormCipherAndEveryEntry) {
    testing::TempDir work;
    testing::WriteBytes(work / "plain", testing::RandomBytes(999));
    auto made = testing::RunCommand(
        {"openssl", "cms", "-encrypt", "-binary", "-aes-256-cbc", "-in", work / "plain", "-out",
         work / "letter.p7m", "-recip", testing::FixturePath("bob.pem"), "-recip",
         testing::FixturePath("carol.pem"), "-pwri_password", "secret"});
    ASSERT_EQ(made.exitCode, 0) << made.output;

    // Carol's store needs a password, which info never asks for: standard input is empty.
    testing::ProgramResult info = testing::RunProgram(
        {MIREBOLT_CLI, "--store", testing::FixturePath("store-carol"), "info", "letter.p7m"}, {},
        work.path().string());
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(info.err, "");
    const std::string head =
        "Form: S/MIME\nType: enveloped data\nContent cipher: AES-256-CBC\nEncrypted content: "
        "1008 bytes\nRecipient entries: 3\n";
    EXPECT_EQ(info.out.substr(0, head.size()), head) << info.out;
    EXPECT_NE(info.out.find("Certificate: Carol"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("(yours: you can decrypt this file)"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("password: a key derived from a password (this program cannot use "
                            "it)"),
              std::string::npos)
        << info.out;

    testing::WriteBytes(work / "junk", testing::RandomBytes(100));
    testing::ProgramResult junk = testing::RunProgram(
        {MIREBOLT_CLI, "--store", testing::FixturePath("store-carol"), "info", "junk"}, {},
        work.path().string());
    EXPECT_EQ(junk.exitCode, 1);
    EXPECT_EQ(junk.out, "");
}

}  // namespace
}  // namespace mirebolt
