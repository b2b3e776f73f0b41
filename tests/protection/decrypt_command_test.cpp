#include "protection/decrypt_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>
#include <tuple>

#include "base/unique_fd.h"
#include "protection/size_limits.h"
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
using Kind = testing::Shown::Kind;
using Names = std::set<std::string>;

const char kWriteFailed[] =
    "Failed to write decrypted data to disk. Please ensure that the location of selected file "
    "is writable";
const char kProbeFailed[] =
    "Failed to write data to disk. Please ensure that the location of selected file is writable";
const char kNotARecipient[] =
    "Failed to decrypt the selected file\n\nError 0xFFFFE02D: Cannot decrypt: you are not a "
    "recipient, or matching certificate and private key not found. The message is for: Bob "
    "Baker.";

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

class DecryptCommand : public ::testing::Test {
  protected:
    // A message for the given recipient, written to `name` in the test's folder.
    std::string Sealed(const std::string& name, const char* recipientFile = "alice.pem") {
        platform::Certificate recipient = testing::FixtureCertificate(recipientFile);
        auto message = testing::Seal(platform::ContentAlgorithm::Aes256Cbc, {&recipient}, content_);
        EXPECT_TRUE(message);
        testing::WriteBytes(dir_ / name, *message);
        return dir_ / name;
    }

    CommandOutcome Run(const std::string& path, std::deque<Answer> answers = {},
                       std::deque<std::optional<std::string>> saveAnswers = {},
                       std::optional<std::string> outputName = std::nullopt) {
        feedback_ = testing::RecordingFeedback(&busy_, std::move(answers));
        feedback_.atQuestion = atQuestion_;
        save_ = testing::ScriptedSaveQuestion(std::move(saveAnswers));
        DecryptRequest request{path, store_, std::move(outputName)};
        const CommandOutcome outcome =
            Decrypt(request, DecryptPorts{feedback_, busy_, save_, keyPrompt_});
        EXPECT_FALSE(busy_.busy) << "the wait cursor must be put back";
        EXPECT_EQ(busy_.starts, busy_.ends);
        return outcome;
    }

    void ExpectOnly(Kind kind, const std::string& text) {
        testing::ExpectOnlyMessage(feedback_, kind, text);
    }

    std::size_t EntriesInFolder() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(dir_.path()), {}));
    }

    testing::TempDir dir_;
    testing::StoreFolder alices_{"store-alice"};
    std::string store_ = alices_.directory();
    Bytes content_ = testing::RandomBytes(20'000);
    testing::FakeBusy busy_;
    testing::RecordingFeedback feedback_;
    testing::ScriptedSaveQuestion save_;
    platform::KeyAccessPrompt* keyPrompt_ = nullptr;
    std::function<void()> atQuestion_;
};

TEST_F(DecryptCommand, WritesThePathWithoutEncAndSaysWhere) {
    const std::string message = Sealed("report.pdf.enc");
    EXPECT_EQ(Run(message), CommandOutcome::Succeeded);
    ExpectOnly(Kind::Information, "File decrypted successfully.\nDecrypted data written to \"" +
                                      dir_ / "report.pdf" + "\"");
    EXPECT_TRUE(feedback_.shown[0].whileBusy);
    EXPECT_EQ(testing::ReadBytes(dir_ / "report.pdf"), content_);
    struct stat info {};
    ASSERT_EQ(::stat((dir_ / "report.pdf").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "plaintext is for its owner only";
    EXPECT_EQ(EntriesInFolder(), 2u) << "no probe file is left";
}

TEST_F(DecryptCommand, TheSuffixIsFoundInAnyLetterCase) {
    Sealed("REPORT.PDF.ENC");
    EXPECT_EQ(Run(dir_ / "REPORT.PDF.ENC"), CommandOutcome::Succeeded);
    EXPECT_EQ(testing::ReadBytes(dir_ / "REPORT.PDF"), content_);
    Sealed("a.enc.Enc");
    EXPECT_EQ(Run(dir_ / "a.enc.Enc"), CommandOutcome::Succeeded);
    EXPECT_EQ(testing::ReadBytes(dir_ / "a.enc"), content_);

    // The name mail gives an S/MIME attachment, an openssl message, goes the same way.
    const std::string peer = MIREBOLT_PEER_MESSAGES;
    std::filesystem::copy_file(peer + "/mixed.der", dir_ / "Minutes.P7M");
    EXPECT_EQ(Run(dir_ / "Minutes.P7M"), CommandOutcome::Succeeded);
    EXPECT_EQ(testing::ReadBytes(dir_ / "Minutes"), testing::ReadBytes(peer + "/plain"));

    // Only the last suffix goes, exactly four characters, whatever the case and the rest.
    EXPECT_EQ(NameWithoutMessageSuffix("/tmp/a.enc"), "/tmp/a");
    EXPECT_EQ(NameWithoutMessageSuffix("a.ENC"), "a");
    EXPECT_EQ(NameWithoutMessageSuffix("a.enc.enc"), "a.enc");
    EXPECT_EQ(NameWithoutMessageSuffix("dir.enc/x.eNc"), "dir.enc/x");
    EXPECT_EQ(NameWithoutMessageSuffix("a .enc"), "a ");
    EXPECT_EQ(NameWithoutMessageSuffix(".enc"), std::string());
    EXPECT_EQ(NameWithoutMessageSuffix("enc"), std::nullopt);
    EXPECT_EQ(NameWithoutMessageSuffix("x.enx"), std::nullopt);
    EXPECT_EQ(NameWithoutMessageSuffix("a.enc.p7m"), "a.enc");
    EXPECT_EQ(NameWithoutMessageSuffix("p7m"), std::nullopt);
}

TEST_F(DecryptCommand, OtherNamesAskWhereToSave) {
    const std::string message = Sealed("letter.p7");
    EXPECT_EQ(Run(message, {}, {std::nullopt}), CommandOutcome::Declined);
    EXPECT_TRUE(feedback_.shown.empty());
    EXPECT_EQ(save_.asked, 1);
    EXPECT_EQ(save_.askedBesides, message) << "the dialog opens beside the message";
    EXPECT_EQ(EntriesInFolder(), 1u);

    EXPECT_EQ(Run(message, {}, {dir_ / "chosen.txt"}), CommandOutcome::Succeeded);
    EXPECT_EQ(testing::ReadBytes(dir_ / "chosen.txt"), content_);
}

TEST_F(DecryptCommand, ThePathDotEncAloneEndsWithoutAWord) {
    Sealed(".enc");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    const CommandOutcome outcome = Run(".enc");
    std::filesystem::current_path(previous);
    EXPECT_EQ(outcome, CommandOutcome::Declined);
    EXPECT_TRUE(feedback_.shown.empty());
    EXPECT_EQ(busy_.starts, 1) << "the input was opened before the name was settled";
}

TEST_F(DecryptCommand, AnExistingOutputAndNoTouchesNothing) {
    const std::string message = Sealed("x.enc");
    const Bytes existing{'o', 'l', 'd'};
    testing::WriteBytes(dir_ / "x", existing);
    EXPECT_EQ(Run(message, {Answer::No}), CommandOutcome::Declined);
    ASSERT_EQ(feedback_.shown.size(), 1u);
    EXPECT_EQ(feedback_.shown[0].title, "Overwrite?");
    EXPECT_EQ(feedback_.shown[0].text,
              "The decrypted file already exists.\nDo you want to overwrite it?");
    EXPECT_EQ(feedback_.shown[0].icon, feedback::QuestionIcon::Question);
    EXPECT_EQ(testing::ReadBytes(dir_ / "x"), existing);
}

TEST_F(DecryptCommand, TheQuestionIsAskedForASavedNameToo) {
    const std::string message = Sealed("letter.p7");
    testing::WriteBytes(dir_ / "chosen", {1});
    EXPECT_EQ(Run(message, {Answer::No}, {dir_ / "chosen"}), CommandOutcome::Declined);
    EXPECT_EQ(feedback_.shown.size(), 1u);
}

TEST_F(DecryptCommand, YesThenNoKeyLeavesTheExistingOutputAlone) {
    const std::string message = Sealed("x.enc", "bob.pem");
    const Bytes existing{'o', 'l', 'd'};
    testing::WriteBytes(dir_ / "x", existing);
    EXPECT_EQ(Run(message, {Answer::Yes}), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].kind, Kind::Error);
    EXPECT_EQ(feedback_.shown[1].text, kNotARecipient);
    EXPECT_EQ(testing::ReadBytes(dir_ / "x"), existing);
}

TEST_F(DecryptCommand, NotARecipientIsReportedWithThePlatformsText) {
    const std::string message = Sealed("y.enc", "bob.pem");
    EXPECT_EQ(Run(message), CommandOutcome::Failed);
    ExpectOnly(Kind::Error, kNotARecipient);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "y"));
}

// Each kind of damage fails with the platform's code for it, and leaves no output behind.
TEST_F(DecryptCommand, ADamagedMessageFailsWithTheCodeForItsDamage) {
    const char kMalformed[] = "Failed to decrypt the selected file\n\nError 0xFFFFE009: ";
    const char kBadData[] = "Failed to decrypt the selected file\n\nError 0xFFFFE002: ";
    const Bytes message = testing::ReadBytes(Sealed("whole.enc"));

    Bytes noMessage(1000, 0x5A);  // no DER element starts with this byte
    Bytes truncated(message.begin(), message.end() - 40);
    Bytes badPadding = message;
    // Through the block before it, the last block's final byte decrypts to a padding length
    // above 16, whatever the content: flipping the last block itself would leave valid padding
    // one time in 256.
    badPadding[badPadding.size() - 17] ^= 0x40;
    for (const auto& [name, bytes, expected] : {std::tuple{"nothing.enc", noMessage, kMalformed},
                                                std::tuple{"truncated.enc", truncated, kMalformed},
                                                std::tuple{"padding.enc", badPadding, kBadData}}) {
        testing::WriteBytes(dir_ / name, bytes);
        EXPECT_EQ(Run(dir_ / name), CommandOutcome::Failed) << name;
        ASSERT_EQ(feedback_.shown.size(), 1u) << name;
        EXPECT_EQ(feedback_.shown[0].kind, Kind::Error) << name;
        EXPECT_EQ(feedback_.shown[0].text.rfind(expected, 0), 0u)
            << name << ": " << feedback_.shown[0].text;
        const std::string output = std::string(name).substr(0, std::string(name).size() - 4);
        EXPECT_FALSE(std::filesystem::exists(dir_ / output)) << name;
    }
}

TEST_F(DecryptCommand, EmptyMissingAndTooBigInputs) {
    EXPECT_EQ(Run(""), CommandOutcome::Failed);
    ExpectOnly(Kind::Warning, "Please select a file to decrypt");

    EXPECT_EQ(Run(dir_ / "absent.enc"), CommandOutcome::Failed);
    ExpectOnly(Kind::Error, "Failed to open the select file for reading");

    testing::WriteBytes(dir_ / "empty.enc", {});
    EXPECT_EQ(Run(dir_ / "empty.enc"), CommandOutcome::Failed);
    ExpectOnly(Kind::Warning, "The selected file is empty");

    const std::string big = dir_ / "big.enc";
    testing::WriteBytes(big, {});
    ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(DecryptSizeLimit + 1)), 0);
    EXPECT_EQ(Run(big), CommandOutcome::Failed);
    ExpectOnly(Kind::Warning, "The file is too big for decryption by this program");
    EXPECT_EQ(busy_.starts, 0);

    // One byte less is taken, and fails only as a message.
    ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(DecryptSizeLimit)), 0);
    EXPECT_EQ(Run(big), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 1u);
    EXPECT_EQ(feedback_.shown[0].text.rfind("Failed to decrypt the selected file", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "big"));
}

TEST_F(DecryptCommand, AnUnwritableFolderIsReportedBeforeDecrypting) {
    const std::string message = Sealed("w.enc");
    {
        testing::ImmutableFolder locked(dir_.path().string());
        if (!locked.ok()) {
            GTEST_SKIP() << "this file system or user cannot make a folder immutable";
        }
        EXPECT_EQ(Run(message), CommandOutcome::Failed);
    }
    ExpectOnly(Kind::Error, kProbeFailed);
    EXPECT_EQ(EntriesInFolder(), 1u);
}

TEST_F(DecryptCommand, ADanglingLinkAsTheOutputIsRefusedBeforeDecrypting) {
    const std::string message = Sealed("d.enc");
    std::filesystem::create_symlink(dir_ / "planted", dir_ / "d");
    EXPECT_EQ(Run(message), CommandOutcome::Failed);
    ExpectOnly(Kind::Error, kProbeFailed);
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "d"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "planted"));
    EXPECT_EQ(EntriesInFolder(), 2u);
}

TEST_F(DecryptCommand, AStoreThatWillNotOpenIsReported) {
    testing::StoreFolder broken("store-broken");
    store_ = broken.directory();
    EXPECT_EQ(Run(Sealed("s.enc")), CommandOutcome::Failed);
    ExpectOnly(Kind::Error, "Failed to open the system certificate store");
}

TEST_F(DecryptCommand, AStoreFileThatIsAPipeIsReportedAtOnce) {
    const std::string message = Sealed("p.enc");
    std::filesystem::remove(store_ + "/cert9.db");
    ASSERT_EQ(::mkfifo((store_ + "/cert9.db").c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(message), CommandOutcome::Failed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ExpectOnly(Kind::Error, "Failed to open the system certificate store");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "p"));
}

TEST_F(DecryptCommand, AFailedWriteRemovesOnlyTheFileItCreated) {
    content_ = testing::RandomBytes(300'000);
    const std::string message = Sealed("big.enc");
    {
        testing::ScopedLimit fileSize(RLIMIT_FSIZE, 100'000);
        EXPECT_EQ(Run(message), CommandOutcome::Failed);
    }
    ExpectOnly(Kind::Error, kWriteFailed);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "big")) << "the partial output is removed";

    const Bytes old = testing::RandomBytes(150'000);
    testing::WriteBytes(dir_ / "big", old);
    {
        testing::ScopedLimit fileSize(RLIMIT_FSIZE, 100'000);
        EXPECT_EQ(Run(message, {Answer::Yes}), CommandOutcome::Failed);
    }
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].text, kWriteFailed);
    EXPECT_EQ(testing::ReadBytes(dir_ / "big"), old) << "a file that was there stays whole";
    EXPECT_EQ(testing::FolderEntries(dir_.path()), (Names{"big", "big.enc"}))
        << "and nothing else is left";
}

TEST_F(DecryptCommand, AFullDiskLeavesTheOldOutputWhole) {
    testing::SmallFileSystem disk(256 << 10);
    if (!disk.ok()) {
        GTEST_SKIP() << "no right to mount a file system here";
    }
    // The message and the old output leave too little room for the plaintext.
    content_ = testing::RandomBytes(160'000);
    platform::Certificate alice = testing::FixtureCertificate("alice.pem");
    auto message = testing::Seal(platform::ContentAlgorithm::Aes256Cbc, {&alice}, content_);
    ASSERT_TRUE(message);
    testing::WriteBytes(disk / "x.enc", *message);
    const Bytes old = testing::RandomBytes(40'000);
    testing::WriteBytes(disk / "x", old);

    EXPECT_EQ(Run(disk / "x.enc", {Answer::Yes}), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].text, kWriteFailed);
    EXPECT_EQ(testing::ReadBytes(disk / "x"), old);
    EXPECT_EQ(testing::FolderEntries(disk.path()), (Names{"x", "x.enc"}));
}

TEST_F(DecryptCommand, ANewFileIsForItsOwnerOnlyAndAnOverwrittenOneKeepsItsMode) {
    const std::string message = Sealed("m.enc");
    const std::string output = dir_ / "m";
    for (mode_t mask : {mode_t{022}, mode_t{0}}) {
        std::filesystem::remove(output);
        const mode_t previous = ::umask(mask);
        EXPECT_EQ(Run(message), CommandOutcome::Succeeded);
        ::umask(previous);
        EXPECT_EQ(ModeOf(output), mode_t{0600}) << "umask " << mask;
    }
    ASSERT_EQ(::chmod(output.c_str(), 0640), 0);
    EXPECT_EQ(Run(message, {Answer::Yes}), CommandOutcome::Succeeded);
    EXPECT_EQ(ModeOf(output), mode_t{0640});
    EXPECT_EQ(testing::ReadBytes(output), content_);
}

TEST_F(DecryptCommand, AnInputEditedWithItsTimePutBackIsAReadFailure) {
    const std::string message = Sealed("e.enc");
    const Bytes old{'o', 'l', 'd'};
    testing::WriteBytes(dir_ / "e", old);
    atQuestion_ = [&] {
        // Four bytes inside the encrypted content change; the times are put back.
        struct stat before {};
        ASSERT_EQ(::stat(message.c_str(), &before), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a later clock tick
        platform::UniqueFd writer(::open(message.c_str(), O_WRONLY | O_CLOEXEC));
        ASSERT_EQ(::pwrite(writer.get(), "edit", 4, before.st_size / 2), 4);
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::futimens(writer.get(), times), 0);
    };
    EXPECT_EQ(Run(message, {Answer::Yes}), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].text, "Failed to open the select file for reading");
    EXPECT_EQ(testing::ReadBytes(dir_ / "e"), old);
}

// A neighbour plants a link or a file at the output's name while a message that takes a while
// is decrypted.
class DecryptWithANeighbour : public DecryptCommand {
  protected:
    static void SetUpTestSuite() {
        // Triple DES runs at some 35 MB/s: 24 MiB keep the command at work for most of a second.
        slowContent_ = std::make_unique<Bytes>(testing::RandomBytes(24 << 20));
        platform::Certificate alice = testing::FixtureCertificate("alice.pem");
        auto message =
            testing::Seal(platform::ContentAlgorithm::DesEde3Cbc, {&alice}, *slowContent_);
        ASSERT_TRUE(message);
        slowMessage_ = std::make_unique<Bytes>(std::move(*message));
    }
    static void TearDownTestSuite() {
        slowContent_.reset();
        slowMessage_.reset();
    }

    static inline std::unique_ptr<Bytes> slowContent_;
    static inline std::unique_ptr<Bytes> slowMessage_;
};

TEST_F(DecryptWithANeighbour, NothingPlantedAfterTheQuestionIsWrittenThroughOrReplaced) {
    const std::string message = dir_ / "slow.enc";
    testing::WriteBytes(message, *slowMessage_);
    const std::string name = dir_ / "slow";
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
        {"a link in place of the file answered Yes", true,
         [&] {
             const std::string swap = dir_ / "swap";
             return ::symlink(victim.c_str(), swap.c_str()) == 0 &&
                    ::rename(swap.c_str(), name.c_str()) == 0;
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
            testing::NeighbourAfterProbe neighbour(dir_.path(), "slow_.xxx", plant.plant);
            EXPECT_EQ(Run(message, answers), CommandOutcome::Failed) << plant.what;
            ASSERT_TRUE(neighbour.Finish()) << "the neighbour came too late: " << plant.what;
        }
        ASSERT_FALSE(feedback_.shown.empty());
        EXPECT_EQ(feedback_.shown.back().text, kWriteFailed) << plant.what;
        EXPECT_EQ(testing::ReadBytes(victim), precious) << plant.what;
        EXPECT_EQ(ModeOf(victim), mode_t{0644}) << plant.what;
        if (!std::filesystem::is_symlink(name)) {
            EXPECT_EQ(testing::ReadBytes(name), precious) << plant.what;
        }
        EXPECT_EQ(testing::FolderEntries(dir_.path()), (Names{"slow", "slow.enc", "victim"}))
            << plant.what;
        std::filesystem::remove(name);
    }
}

TEST_F(DecryptCommand, ChoosingTheInputAsOutputLeavesItUnchanged) {
    const std::string message = Sealed("letter.p7");
    const Bytes before = testing::ReadBytes(message);
    EXPECT_EQ(Run(message, {Answer::Yes}, {message}), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].text, kWriteFailed);
    EXPECT_EQ(testing::ReadBytes(message), before);

    // A link chosen as the output that leads to the message is the message too.
    std::filesystem::create_symlink(message, dir_ / "link");
    EXPECT_EQ(Run(message, {Answer::Yes}, {std::string(dir_ / "link")}), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 2u);
    EXPECT_EQ(feedback_.shown[1].text, kWriteFailed);
    EXPECT_EQ(testing::ReadBytes(message), before);
}

TEST_F(DecryptCommand, PasswordsAreAskedThroughThePrompt) {
    testing::StoreFolder carols("store-carol");
    store_ = carols.directory();
    const std::string message = Sealed("c.enc", "carol.pem");

    testing::ScriptedKeyPrompt cancelling({std::nullopt});
    keyPrompt_ = &cancelling;
    EXPECT_EQ(Run(message), CommandOutcome::Failed);
    ASSERT_EQ(feedback_.shown.size(), 1u);
    EXPECT_EQ(feedback_.shown[0].text.rfind(
                  "Failed to decrypt the selected file\n\nError 0xFFFFE057: ", 0),
              0u)
        << feedback_.shown[0].text;

    testing::ScriptedKeyPrompt answering({"carol-secret"});
    keyPrompt_ = &answering;
    EXPECT_EQ(Run(message), CommandOutcome::Succeeded);
    EXPECT_EQ(testing::ReadBytes(dir_ / "c"), content_);
}

TEST_F(DecryptCommand, EitherRecipientOpensWhatEncryptMadeForBoth) {
    platform::Certificate alice = testing::FixtureCertificate("alice.pem");
    platform::Certificate bob = testing::FixtureCertificate("bob.pem");
    auto message = testing::Seal(platform::ContentAlgorithm::DesEde3Cbc, {&alice, &bob}, content_);
    ASSERT_TRUE(message);
    testing::WriteBytes(dir_ / "both.enc", *message);
    testing::StoreFolder bobs("store-bob");
    for (const std::string& store : {alices_.directory(), bobs.directory()}) {
        store_ = store;
        std::filesystem::remove(dir_ / "both");
        EXPECT_EQ(Run(dir_ / "both.enc"), CommandOutcome::Succeeded);
        EXPECT_EQ(testing::ReadBytes(dir_ / "both"), content_);
    }
}

}  // namespace
}  // namespace mirebolt::protection
