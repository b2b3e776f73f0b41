// mirebolt-cli at a terminal: passwords asked without echo and without losing what was typed,
// the terminal left as it was found whatever ends the program, and a key of one's own imported.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "support/commands.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"

namespace mirebolt {
namespace {

using testing::FixturePath;
using testing::PseudoTerminalProgram;

constexpr char kCarolsPassword[] = "carol-secret";
constexpr char kPrompt[] = "Password or PIN for";

class CliAtATerminal : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::WriteBytes(work_ / "letter.txt", content_);
        ASSERT_EQ(testing::RunProgram(
                      {MIREBOLT_CLI, "encrypt", "-r", FixturePath("carol.pem"), "letter.txt"},
                      {"HOME=" + home_.path().string()}, work_.path().string())
                      .exitCode,
                  0);
    }

    std::vector<std::string> DecryptForCarol(const std::string& output) const {
        return {MIREBOLT_CLI, "--store",       FixturePath("store-carol"), "decrypt", "-o",
                output,       "letter.txt.enc"};
    }
    std::vector<std::string> Environment() const { return {"HOME=" + home_.path().string()}; }

    testing::TempDir home_;
    testing::TempDir work_;
    testing::Bytes content_ = testing::RandomBytes(3'000);
};

TEST_F(CliAtATerminal, APasswordTypedTheInstantThePromptShowsIsNeitherEchoedNorLost) {
    // The race is lost only now and then: several runs make a lost or echoed answer show.
    for (int run = 0; run < 5; ++run) {
        const std::string output = "run" + std::to_string(run) + ".txt";
        PseudoTerminalProgram program(DecryptForCarol(output), Environment(),
                                      work_.path().string());
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(program.WaitFor(kPrompt)) << program.shown();
        program.Type(std::string(kCarolsPassword) + "\n");
        EXPECT_EQ(program.Wait(std::chrono::seconds(20)), 0) << program.shown();
        EXPECT_EQ(program.shown().find(kCarolsPassword), std::string::npos) << program.shown();
        EXPECT_TRUE(program.EchoOn());
        ASSERT_TRUE(std::filesystem::exists(work_ / output)) << "run " << run;
        EXPECT_EQ(testing::ReadBytes(work_ / output), content_);
    }
}

TEST_F(CliAtATerminal, EchoComesBackWhenTheProgramIsEndedAtThePrompt) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        PseudoTerminalProgram program(DecryptForCarol("x.txt"), Environment(),
                                      work_.path().string());
        ASSERT_TRUE(program.WaitFor(kPrompt)) << program.shown();
        EXPECT_TRUE(program.EchoOn() == false) << "echo should be off at the prompt";
        program.Signal(signal);
        EXPECT_EQ(program.Wait(), 128 + signal) << strsignal(signal);
        EXPECT_TRUE(program.EchoOn()) << strsignal(signal);
        EXPECT_FALSE(std::filesystem::exists(work_ / "x.txt"));
    }
}

TEST_F(CliAtATerminal, ImportCreatesTheStoreWithTheChosenPasswordAndItsKeyDecrypts) {
    testing::TempDir freshHome;
    const std::string store = (freshHome.path() / ".pki/nssdb").string();
    {
        PseudoTerminalProgram program({MIREBOLT_CLI, "import", FixturePath("carol.p12")},
                                      {"HOME=" + freshHome.path().string()}, work_.path().string());
        // The file's password first: the store is created only for a file that opened.
        ASSERT_TRUE(program.WaitFor("carol.p12\": ")) << program.shown();
        program.Type("wrong\n");
        ASSERT_TRUE(program.WaitFor("Wrong password.")) << program.shown();
        program.Type("fixture\n");
        ASSERT_TRUE(program.WaitFor("New password for the personal store")) << program.shown();
        EXPECT_FALSE(std::filesystem::exists(store));
        program.Type("chosen one\n");
        ASSERT_TRUE(program.WaitFor("again")) << program.shown();
        program.Type("chosen one\n");
        EXPECT_EQ(program.Wait(), 0) << program.shown();
        EXPECT_NE(program.shown().find("Personal store created."), std::string::npos)
            << program.shown();
    }
    EXPECT_EQ(std::filesystem::status(store).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_all);

    testing::WriteBytes(work_ / "chosen", {'c', 'h', 'o', 's', 'e', 'n', ' ', 'o', 'n', 'e'});
    std::filesystem::permissions(work_ / "chosen", std::filesystem::perms::owner_read);
    const testing::ProgramResult decrypted = testing::RunProgram(
        {MIREBOLT_CLI, "--password-file", "chosen", "decrypt", "-o", "mine.txt", "letter.txt.enc"},
        {"HOME=" + freshHome.path().string()}, work_.path().string());
    EXPECT_EQ(decrypted.exitCode, 0) << decrypted.err;
    EXPECT_EQ(decrypted.err, "");
    EXPECT_EQ(testing::ReadBytes(work_ / "mine.txt"), content_);
}

}  // namespace
}  // namespace mirebolt
