#include "protection/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "base/unique_fd.h"
#include "support/envelope_helpers.h"

namespace mirebolt::protection {
namespace {

using testing::Bytes;

class InputFileTest : public ::testing::Test {
  protected:
    std::string Make(std::size_t size) {
        content_ = testing::RandomBytes(size);
        testing::WriteBytes(path_, content_);
        return path_;
    }

    // Encrypts the open input the way Encrypt does, the check for changes included.
    Status EnvelopeOf(InputFile& input) {
        testing::CollectingSink sink;
        Result<std::uint64_t> written = platform::EnvelopeStream(
            platform::ContentAlgorithm::Aes256Cbc, recipients_, input, input.knownSize(), sink);
        return written ? input.ConfirmUnchanged() : Status(written.failure());
    }

    testing::TempDir dir_;
    std::string path_ = dir_ / "input.bin";
    Bytes content_;
    platform::Certificate alice_ = testing::FixtureCertificate("alice.pem");
    std::vector<const platform::Certificate*> recipients_{&alice_};
};

TEST_F(InputFileTest, ReadsTheWholeFileAndKnowsItsSize) {
    auto input = InputFile::Open(Make(3 << 20));
    ASSERT_TRUE(input);
    EXPECT_EQ(input->knownSize(), content_.size());
    Bytes read(content_.size());
    ASSERT_TRUE(input->ReadAt(0, read));
    EXPECT_EQ(read, content_);
    EXPECT_TRUE(input->ConfirmUnchanged());
}

TEST_F(InputFileTest, AFileThatShrinksWhileReadIsAReadFailure) {
    auto input = InputFile::Open(Make(4 << 20));
    ASSERT_TRUE(input);
    ASSERT_EQ(::truncate(path_.c_str(), 1 << 20), 0);  // another program cuts it short

    Status message = EnvelopeOf(*input);
    ASSERT_FALSE(message);
    EXPECT_EQ(message.failure().origin, FailureOrigin::Input);
}

TEST_F(InputFileTest, AFileThatGrowsOrIsRewrittenWhileReadIsAReadFailure) {
    {
        auto input = InputFile::Open(Make(100'000));
        ASSERT_TRUE(input);
        platform::UniqueFd appender(::open(path_.c_str(), O_WRONLY | O_APPEND));
        ASSERT_EQ(::write(appender.get(), "more", 4), 4);
        Status message = EnvelopeOf(*input);
        ASSERT_FALSE(message);
        EXPECT_EQ(message.failure().origin, FailureOrigin::Input);
    }
    {
        auto input = InputFile::Open(Make(100'000));
        ASSERT_TRUE(input);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        platform::UniqueFd writer(::open(path_.c_str(), O_WRONLY));
        ASSERT_EQ(::pwrite(writer.get(), "same size", 9, 500), 9);
        Status message = EnvelopeOf(*input);
        ASSERT_FALSE(message);
        EXPECT_EQ(message.failure().origin, FailureOrigin::Input);
    }
}

TEST_F(InputFileTest, AFileLockedForWritingCannotBeOpened) {
    Make(10);
    platform::UniqueFd writer(::open(path_.c_str(), O_RDWR));
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(writer.get(), F_OFD_SETLK, &lock), 0);
    EXPECT_FALSE(InputFile::Open(path_));

    writer.Reset();  // the writer is done
    EXPECT_TRUE(InputFile::Open(path_));
}

TEST_F(InputFileTest, MissingFilesAndFoldersDoNotOpen) {
    auto missing = InputFile::Open(dir_ / "absent");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.failure().code, static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(missing.failure().origin, FailureOrigin::Input);
    EXPECT_FALSE(InputFile::Open(dir_.path().string()));
}

TEST_F(InputFileTest, StandardInputFromAFileStartsWhereItStandsAndIsCheckedForChanges) {
    Make(300'000);
    platform::UniqueFd file(::open(path_.c_str(), O_RDONLY));
    ASSERT_EQ(::lseek(file.get(), 1000, SEEK_SET), 1000);  // a shell script read a header first
    platform::UniqueFd savedInput(::dup(STDIN_FILENO));
    ASSERT_EQ(::dup2(file.get(), STDIN_FILENO), STDIN_FILENO);
    {
        auto input = InputFile::StandardInput();
        ASSERT_TRUE(input);
        EXPECT_EQ(input->knownSize(), content_.size() - 1000);
        struct stat info {};
        ASSERT_EQ(::stat(path_.c_str(), &info), 0);
        EXPECT_EQ(input->identity(), (FileIdentity{info.st_dev, info.st_ino}));
        Bytes read(content_.size());
        Result<std::size_t> got = input->Read(read);
        ASSERT_TRUE(got);
        read.resize(*got);
        EXPECT_EQ(read, Bytes(content_.begin() + 1000, content_.end()));
        EXPECT_TRUE(input->ConfirmUnchanged());
        platform::UniqueFd appender(::open(path_.c_str(), O_WRONLY | O_APPEND));
        ASSERT_EQ(::write(appender.get(), "more", 4), 4);
        EXPECT_FALSE(input->ConfirmUnchanged());
    }
    ASSERT_EQ(::dup2(savedInput.get(), STDIN_FILENO), STDIN_FILENO);
}

TEST_F(InputFileTest, APipeOpensWithoutWaitingAndHasNoSize) {
    ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
    auto input = InputFile::Open(dir_ / "pipe");
    ASSERT_TRUE(input);
    EXPECT_FALSE(input->knownSize().has_value());
}

}  // namespace
}  // namespace mirebolt::protection
