#include "protection/encrypt_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "nss/certificate_file.h"
#include "protection/decrypt_command.h"
#include "protection/size_limits.h"
#include "support/certificate_rows.h"
#include "support/envelope_helpers.h"
#include "support/fake_ports.h"
#include "support/immutable_folder.h"
#include "support/neighbour.h"
#include "support/resource_limits.h"
#include "support/scripted_prompt.h"
#include "support/small_file_system.h"

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
const char kNotWritable[] =
    "The location of the selected file is not writable. Encryption can not proceed";
const char kWriteFailed[] =
    "Failed to write encrypted data to disk. Please ensure that the location of selected file "
    "is writable";

using Names = std::set<std::string>;

class EncryptCommand : public ::testing::Test {
  protected:
    void AddRecipient(const char* certificateFile) {
        recipients_.Add(testing::FixtureCertificate(certificateFile));
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
    testing::CertificateRows recipients_;
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

// The largest input whose message Decrypt still takes, for the listed recipients. Measured on one
// real message: from 16 MiB on, every length field has its final width, so beyond that only the
// content's 16-byte blocks grow.
class EncryptLimit : public EncryptCommand {
  protected:
    std::uint64_t LargestInputDecryptTakes() {
        constexpr std::uint64_t kProbeSize = 17 << 20;
        const std::string probe = dir_ / "probe-size";
        testing::WriteBytes(probe, {});
        EXPECT_EQ(::truncate(probe.c_str(), static_cast<off_t>(kProbeSize)), 0);
        EXPECT_EQ(Run(probe), CommandOutcome::Succeeded);
        const std::uint64_t overhead =
            std::filesystem::file_size(probe + ".enc") - Blocks(kProbeSize);
        std::filesystem::remove(probe);
        std::filesystem::remove(probe + ".enc");
        std::uint64_t size = DecryptSizeLimit - overhead;
        while (overhead + Blocks(size) > DecryptSizeLimit) {
            --size;
        }
        return size;
    }

    // Encrypts an input of `size` zero bytes; the input's path.
    std::string EncryptSized(std::uint64_t size) {
        const std::string input = dir_ / "large";
        testing::WriteBytes(input, {});
        EXPECT_EQ(::truncate(input.c_str(), static_cast<off_t>(size)), 0);
        return input;
    }

    // Decrypt opens the message with the key in `store`.
    void ExpectDecryptOpens(const std::string& message, const std::string& store,
                            std::uint64_t size) {
        std::filesystem::remove(dir_ / "large");
        testing::RecordingFeedback feedback;
        testing::ScriptedSaveQuestion save;
        testing::ScriptedKeyPrompt keys;
        const DecryptRequest request{message, store, std::nullopt};
        EXPECT_EQ(Decrypt(request, DecryptPorts{feedback, busy_, save, &keys}),
                  CommandOutcome::Succeeded)
            << (feedback.shown.empty() ? "" : feedback.shown[0].text);
        EXPECT_EQ(std::filesystem::file_size(dir_ / "large"), size);
    }

    void ExpectRefusedWithNothingWritten(const std::string& input) {
        EXPECT_EQ(Run(input), CommandOutcome::Failed);
        ExpectOnly(Kind::Warning, "The file is too big for encryption by this program");
        EXPECT_FALSE(std::filesystem::exists(input + ".enc"));
        EXPECT_FALSE(std::filesystem::exists(input + ".enc_.xxx"));
    }

  private:
    static std::uint64_t Blocks(std::uint64_t size) { return (size / 16 + 1) * 16; }
};

TEST_F(EncryptLimit, ThreeRecipientsMakeNoMessageThatDecryptRefuses) {
    AddRecipient("alice.pem");
    AddRecipient("bob.pem");
    AddRecipient("carol.pem");
    const std::uint64_t largest = LargestInputDecryptTakes();
    ASSERT_LT(largest, EncryptSizeLimit) << "three recipients need more than 508 bytes";

    ExpectRefusedWithNothingWritten(EncryptSized(EncryptSizeLimit));
    ExpectRefusedWithNothingWritten(EncryptSized(largest + 1));

    const std::string input = EncryptSized(largest);
    ASSERT_EQ(Run(input), CommandOutcome::Succeeded);
    EXPECT_LE(std::filesystem::file_size(input + ".enc"), DecryptSizeLimit);
    testing::StoreFolder alices("store-alice");
    ExpectDecryptOpens(input + ".enc", alices.directory(), largest);
}

TEST_F(EncryptLimit, AFourThousandBitKeyMakesNoMessageThatDecryptRefuses) {
    AddRecipient("jack.pem");
    const std::uint64_t largest = LargestInputDecryptTakes();
    ASSERT_LT(largest, EncryptSizeLimit) << "a 4096-bit key needs more than 508 bytes";
    ExpectRefusedWithNothingWritten(EncryptSized(largest + 1));

    const std::string input = EncryptSized(largest);
    ASSERT_EQ(Run(input), CommandOutcome::Succeeded);
    EXPECT_LE(std::filesystem::file_size(input + ".enc"), DecryptSizeLimit);
    testing::StoreFolder jacks("store-jack");
    ExpectDecryptOpens(input + ".enc", jacks.directory(), largest);
}

TEST_F(EncryptLimit, OneRecipientOfTwoThousandBitsTakesTheWholeLimit) {
    AddRecipient("alice.pem");
    EXPECT_GE(LargestInputDecryptTakes(), EncryptSizeLimit);
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

TEST_F(EncryptCommand, ARecipientThatCannotReceiveContentIsReportedAndLeavesNoFile) {
    for (const auto& [file, named] :
         {std::pair{"dora.pem", "\"Dora Dsa\""}, std::pair{"edna.pem", "\"Edna Edwards\""}}) {
        recipients_.Clear();
        AddRecipient("alice.pem");
        AddRecipient("erin.pem");
        AddRecipient(file);
        const std::string input = MakeInput(Bytes{1});
        EXPECT_EQ(Run(input), CommandOutcome::Failed);
        ASSERT_EQ(feedback_.shown.size(), 1u);
        const std::string& text = feedback_.shown[0].text;
        EXPECT_EQ(feedback_.shown[0].kind, Kind::Error);
        EXPECT_EQ(text.rfind(std::string("An error occured while encryption the file\n\nError "
                                         "0xFFFFE030: The certificate ") +
                                 named,
                             0),
                  0u)
            << text;
        EXPECT_TRUE(feedback_.shown[0].whileBusy);
        EXPECT_FALSE(std::filesystem::exists(input + ".enc"));
        EXPECT_FALSE(std::filesystem::exists(input + ".enc_.xxx"));
    }
}

TEST_F(EncryptCommand, EllipticCurveAndOaepRecipientsAreEncryptedTo) {
    AddRecipient("erin.pem");
    AddRecipient("oscar.pem");
    AddRecipient("ivan.pem");
    const std::string input = MakeInput(testing::RandomBytes(5000));
    EXPECT_EQ(Run(input), CommandOutcome::Succeeded);
    ASSERT_EQ(feedback_.shown.size(), 1u);
    EXPECT_EQ(feedback_.shown[0].kind, Kind::Information);
    EXPECT_TRUE(std::filesystem::exists(input + ".enc"));
}

TEST_F(EncryptCommand, AWriteThatFailsIsReportedNeverPraisedAndLeavesTheOldOutputWhole) {
    AddRecipient("alice.pem");
    const std::string input = MakeInput(testing::RandomBytes(200'000));
    {
        testing::ScopedLimit fileSize(RLIMIT_FSIZE, 65536);
        EXPECT_EQ(Run(input), CommandOutcome::Failed);
    }
    ExpectOnly(Kind::Error, kWriteFailed);
    EXPECT_EQ(testing::FolderEntries(dir_.path()), Names{"report.pdf"})
        << "no partial output is left";

    const Bytes old = testing::RandomBytes(100'000);
    testing::WriteBytes(input + ".enc", old);
    {
        testing::ScopedLimit fileSize(RLIMIT_FSIZE, 65536);
        EXPECT_EQ(Run(input, {Answer::Yes}), CommandOutcome::Failed);
    }
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].text, kWriteFailed);
    EXPECT_EQ(testing::ReadBytes(input + ".enc"), old);
    EXPECT_EQ(testing::FolderEntries(dir_.path()), (Names{"report.pdf", "report.pdf.enc"}));
}

TEST_F(EncryptCommand, AFullDiskLeavesTheOldOutputWhole) {
    testing::SmallFileSystem disk(192 << 10);
    if (!disk.ok()) {
        GTEST_SKIP() << "no right to mount a file system here";
    }
    AddRecipient("alice.pem");
    // The input and the old output leave too little room for the new message.
    testing::WriteBytes(disk / "r", testing::RandomBytes(100'000));
    const Bytes old = testing::RandomBytes(40'000);
    testing::WriteBytes(disk / "r.enc", old);

    EXPECT_EQ(Run(disk / "r", {Answer::Yes}), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].text, kWriteFailed);
    EXPECT_EQ(testing::ReadBytes(disk / "r.enc"), old);
    EXPECT_EQ(testing::FolderEntries(disk.path()), (Names{"r", "r.enc"}));
}

TEST_F(EncryptCommand, AnOverwrittenOutputKeepsItsModeAndOwner) {
    AddRecipient("alice.pem");
    const std::string input = MakeInput(testing::RandomBytes(1000));
    const std::string output = input + ".enc";
    testing::WriteBytes(output, {'o', 'l', 'd'});
    ASSERT_EQ(::chmod(output.c_str(), 0604), 0);
    const bool givenAway = ::chown(output.c_str(), 4321, 4322) == 0;  // where the process may
    EXPECT_EQ(Run(input, {Answer::Yes}), CommandOutcome::Succeeded);
    struct stat info {};
    ASSERT_EQ(::stat(output.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    if (givenAway) {
        EXPECT_EQ(info.st_uid, 4321u);
        EXPECT_EQ(info.st_gid, 4322u);
    }
    EXPECT_GT(info.st_size, 1000);
}

// A neighbour plants a link or a file at the output's name while a large input is encrypted
// with Triple DES, which runs at some 35 MB/s.
TEST_F(EncryptCommand, NothingPlantedAfterTheQuestionIsWrittenThroughOrReplaced) {
    AddRecipient("alice.pem");
    legacy_ = true;
    const std::string input = MakeInput(testing::RandomBytes(24 << 20), "slow");
    const std::string name = input + ".enc";
    const std::string victim = dir_ / "victim";
    const Bytes precious = testing::RandomBytes(1000);
    struct Plant {
        const char* what;
        bool outputExists;
        std::function<bool()> plant;
    };
    const std::vector<Plant> plants = {
        {"a link at a free name", false,
         [&] { return ::symlink(victim.c_str(), name.c_str()) == 0; }},
        {"a file at a free name", false, [&] { return testing::PlantFile(name, precious); }},
        {"a file in place of the file answered Yes", true,
         [&] {
             const std::string swap = dir_ / "swap";
             return testing::PlantFile(swap, precious) && ::rename(swap.c_str(), name.c_str()) == 0;
         }},
    };
    for (const Plant& plant : plants) {
        testing::WriteBytes(victim, precious);
        ASSERT_EQ(::chmod(victim.c_str(), 0644), 0);
        std::deque<Answer> answers;
        if (plant.outputExists) {
            testing::WriteBytes(name, {'o', 'l', 'd'});
            answers.push_back(Answer::Yes);
        }
        {
            testing::NeighbourAfterProbe neighbour(dir_.path(), "slow.enc_.xxx", plant.plant);
            EXPECT_EQ(Run(input, answers), CommandOutcome::Failed) << plant.what;
            ASSERT_TRUE(neighbour.Finish()) << "the neighbour came too late: " << plant.what;
        }
        ASSERT_FALSE(feedback_.shown.empty());
        EXPECT_EQ(feedback_.shown.back().text, kWriteFailed) << plant.what;
        EXPECT_EQ(testing::ReadBytes(victim), precious) << plant.what;
        struct stat info {};
        ASSERT_EQ(::stat(victim.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0644u) << plant.what;
        if (!std::filesystem::is_symlink(name)) {
            EXPECT_EQ(testing::ReadBytes(name), precious) << plant.what;
        }
        EXPECT_EQ(testing::FolderEntries(dir_.path()), (Names{"slow", "slow.enc", "victim"}))
            << plant.what;
        std::filesystem::remove(name);
    }
}

TEST_F(EncryptCommand, AnOutputThatLeadsToTheInputIsRefusedAndTheInputKept) {
    AddRecipient("alice.pem");
    const Bytes content = testing::RandomBytes(3000);
    const std::string input = MakeInput(content);
    // A hard link is the input under another name: asked about, then refused at the write.
    std::filesystem::create_hard_link(input, input + ".enc");
    EXPECT_EQ(Run(input, {Answer::Yes}), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].text, kWriteFailed);
    EXPECT_EQ(testing::ReadBytes(input), content);

    // A symbolic link to the input is the input too: the write's failure, before any encryption.
    std::filesystem::remove(input + ".enc");
    std::filesystem::create_symlink(input, input + ".enc");
    EXPECT_EQ(Run(input, {Answer::Yes}), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].text, kWriteFailed);
    EXPECT_EQ(busy_.starts, 0);
    EXPECT_EQ(testing::ReadBytes(input), content);
}

TEST_F(EncryptCommand, ADanglingLinkAsTheOutputIsRefusedBeforeAnyEncryption) {
    AddRecipient("alice.pem");
    legacy_ = true;  // Triple DES: encrypting 90 MB would take seconds
    const std::string input = dir_ / "large";
    testing::WriteBytes(input, {});
    ASSERT_EQ(::truncate(input.c_str(), 90 << 20), 0);
    std::filesystem::create_symlink(dir_ / "planted", input + ".enc");

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(input), CommandOutcome::Failed);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ExpectOnly(Kind::Warning, kNotWritable);
    EXPECT_EQ(busy_.starts, 0) << "no encryption started";
    // Encrypting the 90 MiB would take seconds; a busy machine still refuses well within one.
    EXPECT_LT(elapsed, std::chrono::seconds(1));
    EXPECT_TRUE(std::filesystem::is_symlink(input + ".enc"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "planted"));
}

#if !defined(__SANITIZE_ADDRESS__)
TEST_F(EncryptCommand, ALargeFileIsEncryptedInLittleMemory) {
    AddRecipient("alice.pem");
    const std::string input = dir_ / "large";
    testing::WriteBytes(input, {});
    ASSERT_EQ(::truncate(input.c_str(), 90 << 20), 0);
    std::ifstream status("/proc/self/status");
    ASSERT_TRUE(status);
    unsigned long long virtualKiB = 0;
    for (std::string line; std::getline(status, line);) {
        std::sscanf(line.c_str(), "VmSize: %llu kB", &virtualKiB);
    }
    ASSERT_GT(virtualKiB, 0u);
    {
        // Address space for what the process has and some pieces, not for the whole message.
        testing::ScopedLimit memory(RLIMIT_AS,
                                    static_cast<rlim_t>(virtualKiB * 1024 + (40u << 20)));
        EXPECT_EQ(Run(input), CommandOutcome::Succeeded);
    }
    ExpectOnly(Kind::Information,
               "File encrypted successfully.\nEncrypted data written to \"" + input + ".enc\"");
}
#endif

}  // namespace
}  // namespace mirebolt::protection
