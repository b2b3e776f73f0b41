#include "protection/encrypt_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/certificate_file.h"
#include "protection/size_limits.h"
#include "recipients/recipient_list.h"
#include "support/envelope_helpers.h"
#include "support/fake_ports.h"
#include "support/immutable_folder.h"
#include "support/resource_limits.h"

namespace mirebolt::protection {
namespace {

using feedback::Answer;
using testing::Bytes;
using testing::Shown;
using Kind = testing::Shown::Kind;

const char kNoRecipients[] =
    "No encryption certificates added to the recipients list.\nPlease use the \"+\" button to "
    "add at least one certificate";
const char kReadFailed[] = "Failed to open the select file for reading";
const char kWriteFailed[] =
    "Failed to write encrypted data to disk. Please ensure that the location of selected file "
    "is writable";

class EncryptCommand : public ::testing::Test {
  protected:
    void AddRecipient(const char* certificateFile) {
        ASSERT_TRUE(recipients_.AddRecipient(testing::FixtureCertificate(certificateFile)));
    }

    CommandOutcome Run(const std::string& path, std::deque<Answer> answers = {}) {
        feedback_ = testing::RecordingFeedback(&busy_, std::move(answers));
        EncryptRequest request{path, recipients_, [this] { return legacy_; }};
        const CommandOutcome outcome = Encrypt(request, feedback_, busy_);
        EXPECT_FALSE(busy_.busy) << "the wait cursor must be put back";
        EXPECT_EQ(busy_.starts, busy_.ends);
        return outcome;
    }

    // The one message shown, checked for its kind and text.
    void ExpectOnly(Kind kind, const std::string& text) {
        testing::ExpectOnlyMessage(feedback_, kind, text);
    }

    std::string MakeInput(const Bytes& content, const std::string& name = "report.pdf") {
        testing::WriteBytes(dir_ / name, content);
        return dir_ / name;
    }

    testing::TempDir dir_;
    recipients::RecipientList recipients_;
    testing::FakeBusy busy_;
    testing::RecordingFeedback feedback_;
    bool legacy_ = false;
};

TEST_F(EncryptCommand, AnEmptyPathIsTheFirstThingSaid) {
    EXPECT_EQ(Run(""), CommandOutcome::Failed);
    ExpectOnly(Kind::Warning, "Please select a file to encrypt");
}

TEST_F(EncryptCommand, NoRecipientsIsSaidBeforeTheFileIsLookedAt) {
    EXPECT_EQ(Run(dir_ / "no-such-file"), CommandOutcome::Failed);
    ExpectOnly(Kind::Warning, kNoRecipients);
}

TEST_F(EncryptCommand, AMissingInputIsAReadFailureWithoutCode) {
    AddRecipient("alice.pem");
    EXPECT_EQ(Run(dir_ / "no-such-file"), CommandOutcome::Failed);
    ExpectOnly(Kind::Error, kReadFailed);
    EXPECT_EQ(busy_.starts, 0);
}

TEST_F(EncryptCommand, EncryptsForTheListAndSaysWhere) {
    AddRecipient("alice.pem");
    AddRecipient("bob.pem");
    const Bytes content = testing::RandomBytes(5000);
    const std::string input = MakeInput(content);
    const auto before = std::filesystem::directory_iterator(dir_.path());

    EXPECT_EQ(Run(input), CommandOutcome::Succeeded);
    ExpectOnly(Kind::Information,
               "File encrypted successfully.\nEncrypted data written to \"" + input + ".enc\"");
    EXPECT_TRUE(feedback_.shown[0].whileBusy);
    EXPECT_EQ(busy_.starts, 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 2)
        << "the input and its .enc, no probe file";
    EXPECT_EQ(testing::ReadBytes(input), content);

    const Bytes message = testing::ReadBytes(input + ".enc");
    for (const char* store : {"store-alice", "store-bob"}) {
        testing::StoreCopy copy(store);
        auto opened = testing::Unseal(message, copy.store());
        ASSERT_TRUE(opened) << store;
        EXPECT_EQ(*opened, content) << store;
    }
}

TEST_F(EncryptCommand, AppendsEncWhateverTheNameEndsIn) {
    AddRecipient("alice.pem");
    const std::string input = MakeInput(Bytes{1, 2, 3}, "x.enc");
    EXPECT_EQ(Run(input), CommandOutcome::Succeeded);
    EXPECT_EQ(
        feedback_.shown.back().text,
        "File encrypted successfully.\nEncrypted data written to \"" + dir_ / "x.enc.enc" + "\"");
    testing::StoreCopy alices("store-alice");
    const Result<Bytes> opened =
        testing::Unseal(testing::ReadBytes(dir_ / "x.enc.enc"), alices.store());
    ASSERT_TRUE(opened);
    EXPECT_EQ(*opened, (Bytes{1, 2, 3}));
}

TEST_F(EncryptCommand, TheCipherChoiceIsReadForEachMessage) {
    AddRecipient("alice.pem");
    const std::string input = MakeInput(testing::RandomBytes(100));
    const Bytes tripleDesOid{0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x03, 0x07};
    auto holdsTripleDes = [&] {
        const Bytes message = testing::ReadBytes(input + ".enc");
        return std::search(message.begin(), message.end(), tripleDesOid.begin(),
                           tripleDesOid.end()) != message.end();
    };
    EXPECT_EQ(Run(input), CommandOutcome::Succeeded);
    EXPECT_FALSE(holdsTripleDes());
    legacy_ = true;
    EXPECT_EQ(Run(input, {Answer::Yes}), CommandOutcome::Succeeded);
    EXPECT_TRUE(holdsTripleDes());
    testing::StoreCopy alices("store-alice");
    EXPECT_TRUE(testing::Unseal(testing::ReadBytes(input + ".enc"), alices.store()));
}

TEST_F(EncryptCommand, AnExistingOutputIsAskedAboutAndNoTouchesNothing) {
    AddRecipient("alice.pem");
    const Bytes existing{'o', 'l', 'd'};
    testing::WriteBytes(dir_ / "gone.enc", existing);
    // The input does not exist: had the command gone on, it would have said so.
    EXPECT_EQ(Run(dir_ / "gone", {Answer::No}), CommandOutcome::Declined);
    ASSERT_EQ(feedback_.shown.size(), 1u);
    EXPECT_EQ(feedback_.shown[0].kind, Kind::Question);
    EXPECT_EQ(feedback_.shown[0].title, "Already Exists");
    EXPECT_EQ(feedback_.shown[0].text,
              "The encrypted file already exists. Do you want to overwrite it?");
    EXPECT_EQ(feedback_.shown[0].icon, feedback::QuestionIcon::Warning);
    EXPECT_EQ(testing::ReadBytes(dir_ / "gone.enc"), existing);
}

TEST_F(EncryptCommand, YesThenAnEmptyInputLeavesTheOutputAsItWas) {
    AddRecipient("alice.pem");
    const Bytes existing{'o', 'l', 'd'};
    testing::WriteBytes(dir_ / "empty.enc", existing);
    const std::string input = MakeInput({}, "empty");
    EXPECT_EQ(Run(input, {Answer::Yes}), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].kind, Kind::Warning);
    EXPECT_EQ(feedback_.shown[1].text, "The selected file is empty");
    EXPECT_EQ(testing::ReadBytes(dir_ / "empty.enc"), existing);
}

TEST_F(EncryptCommand, TheSizeLimitHoldsToTheByte) {
    AddRecipient("alice.pem");
    const std::string input = dir_ / "big";
    for (std::uint64_t size : {EncryptSizeLimit + 1, std::uint64_t{5} << 30}) {
        testing::WriteBytes(input, {});
        ASSERT_EQ(::truncate(input.c_str(), static_cast<off_t>(size)), 0);
        EXPECT_EQ(Run(input), CommandOutcome::Failed);
        ExpectOnly(Kind::Warning, "The file is too big for encryption by this program");
    }
    ASSERT_EQ(::truncate(input.c_str(), static_cast<off_t>(EncryptSizeLimit)), 0);
    EXPECT_EQ(Run(input), CommandOutcome::Succeeded);
    EXPECT_EQ(feedback_.shown.at(0).kind, Kind::Information);
}

TEST_F(EncryptCommand, AnInputWithoutASizeIsTooBig) {
    AddRecipient("alice.pem");
    ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(Run(dir_ / "pipe"), CommandOutcome::Failed);
    ExpectOnly(Kind::Warning, "The file is too big for encryption by this program");
}

TEST_F(EncryptCommand, AnUnwritableFolderStopsBeforeAnyEncryption) {
    AddRecipient("alice.pem");
    const std::string input = MakeInput(Bytes{1});
    {
        testing::ImmutableFolder locked(dir_.path().string());
        if (!locked.ok()) {
            GTEST_SKIP() << "this file system or user cannot make a folder immutable";
        }
        EXPECT_EQ(Run(input), CommandOutcome::Failed);
    }
    ExpectOnly(Kind::Warning,
               "The location of the selected file is not writable. Encryption can not proceed");
    EXPECT_EQ(busy_.starts, 0);
    EXPECT_FALSE(std::filesystem::exists(input + ".enc"));
}

TEST_F(EncryptCommand, AnEllipticCurveRecipientIsReportedWithItsCode) {
    AddRecipient("alice.pem");
    AddRecipient("erin.pem");
    EXPECT_EQ(Run(MakeInput(Bytes{1})), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 1u);
    const std::string& text = feedback_.shown[0].text;
    EXPECT_EQ(feedback_.shown[0].kind, Kind::Error);
    EXPECT_EQ(text.rfind("An error occured while encryption the file\n\nError 0xFFFFE030: The "
                         "certificate \"Erin Elliptic\"",
                         0),
              0u)
        << text;
    EXPECT_TRUE(feedback_.shown[0].whileBusy);
}

TEST_F(EncryptCommand, AWriteThatFailsIsReportedNeverPraised) {
    AddRecipient("alice.pem");
    const std::string input = MakeInput(testing::RandomBytes(200'000));
    {
        testing::ScopedLimit fileSize(RLIMIT_FSIZE, 65536);
        EXPECT_EQ(Run(input), CommandOutcome::Failed);
    }
    ExpectOnly(Kind::Error, kWriteFailed);
}

TEST_F(EncryptCommand, AnOutputThatLeadsToTheInputIsRefusedAndTheInputKept) {
    AddRecipient("alice.pem");
    const Bytes content = testing::RandomBytes(3000);
    const std::string input = MakeInput(content);
    std::filesystem::create_symlink(input, input + ".enc");
    EXPECT_EQ(Run(input, {Answer::Yes}), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].text, kWriteFailed);
    EXPECT_EQ(testing::ReadBytes(input), content);
}

#if !defined(__SANITIZE_ADDRESS__)
TEST_F(EncryptCommand, MemoryThatCannotBeHadIsReported) {
    AddRecipient("alice.pem");
    const std::string input = dir_ / "large";
    testing::WriteBytes(input, {});
    ASSERT_EQ(::truncate(input.c_str(), 90 << 20), 0);
    std::FILE* status = std::fopen("/proc/self/status", "r");
    ASSERT_NE(status, nullptr);
    unsigned long long virtualKiB = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        std::sscanf(line, "VmSize: %llu kB", &virtualKiB);
    }
    std::fclose(status);
    ASSERT_GT(virtualKiB, 0u);
    {
        // Address space for what the process has, but not for a 90 MiB buffer more.
        testing::ScopedLimit memory(RLIMIT_AS,
                                    static_cast<rlim_t>(virtualKiB * 1024 + (40u << 20)));
        EXPECT_EQ(Run(input), CommandOutcome::Failed);
    }
    ExpectOnly(Kind::Error, "Failed to allocate memory needed for the encryption process");
}
#endif

}  // namespace
}  // namespace mirebolt::protection
