#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "protection/input_file.h"
#include "protection/output_buffer.h"
#include "protection/output_file.h"
#include "support/test_files.h"

namespace mirebolt::protection {
namespace {

using testing::Bytes;

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

class OutputFileTest : public ::testing::Test {
  protected:
    void SetUp() override { previousMask_ = ::umask(022); }
    void TearDown() override { ::umask(previousMask_); }

    testing::TempDir dir_;
    mode_t previousMask_ = 0;
};

TEST_F(OutputFileTest, ANewFileTakesTheModeForItsContent) {
    const Bytes bytes = testing::RandomBytes(70'000);
    for (auto [access, mode] : {std::pair{OutputFile::Access::Shared, mode_t{0644}},
                                std::pair{OutputFile::Access::OwnerOnly, mode_t{0600}}}) {
        const std::string path = dir_ / ("out" + std::to_string(mode));
        auto output = OutputFile::Open(path, access, std::nullopt);
        ASSERT_TRUE(output);
        EXPECT_TRUE(output->created());
        ASSERT_TRUE(output->Write(bytes));
        output->Close();
        EXPECT_EQ(testing::ReadBytes(path), bytes);
        EXPECT_EQ(ModeOf(path), mode);
    }
}

TEST_F(OutputFileTest, AnExistingFileIsEmptiedAndKeepsItsMode) {
    const std::string path = dir_ / "existing";
    testing::WriteBytes(path, testing::RandomBytes(5000));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    auto output = OutputFile::Open(path, OutputFile::Access::OwnerOnly, std::nullopt);
    ASSERT_TRUE(output);
    EXPECT_FALSE(output->created());
    ASSERT_TRUE(output->Write(Bytes{1, 2, 3}));
    output->Close();
    EXPECT_EQ(testing::ReadBytes(path), (Bytes{1, 2, 3}));
    EXPECT_EQ(ModeOf(path), mode_t{0640});
}

TEST_F(OutputFileTest, AnOutputNameThatLeadsToTheInputIsRefused) {
    const std::string inputPath = dir_ / "report";
    const Bytes content = testing::RandomBytes(1000);
    testing::WriteBytes(inputPath, content);
    auto input = InputFile::Open(inputPath);
    ASSERT_TRUE(input);

    std::filesystem::create_symlink(inputPath, dir_ / "report.enc");
    std::filesystem::create_hard_link(inputPath, dir_ / "hard");
    for (const std::string& name : {dir_ / "report.enc", dir_ / "hard", inputPath}) {
        auto output = OutputFile::Open(name, OutputFile::Access::Shared, input->identity());
        EXPECT_FALSE(output) << name;
        EXPECT_EQ(testing::ReadBytes(inputPath), content) << name;
    }
    auto elsewhere =
        OutputFile::Open(dir_ / "other", OutputFile::Access::Shared, input->identity());
    EXPECT_TRUE(elsewhere);
}

TEST_F(OutputFileTest, AFolderThatIsNotThereFailsAndCreatesNothing) {
    EXPECT_FALSE(OutputFile::Open(dir_ / "missing/out", OutputFile::Access::Shared, std::nullopt));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
}

TEST_F(OutputFileTest, AWriteThatCannotCompleteIsAFailure) {
    // A file size limit stops the write part of the way, even for root.
    auto output = OutputFile::Open(dir_ / "limited", OutputFile::Access::Shared, std::nullopt);
    ASSERT_TRUE(output);
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    rlimit limited = previous;
    limited.rlim_cur = 64 * 1024;
    auto* previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    Status written = output->Write(testing::RandomBytes(256 * 1024));
    ::setrlimit(RLIMIT_FSIZE, &previous);
    ::signal(SIGXFSZ, previousHandler);

    ASSERT_FALSE(written);
    EXPECT_EQ(written.failure().code, static_cast<std::uint32_t>(EFBIG));
}

TEST(OutputBuffer, HasExactlyTheSizeAskedFor) {
    for (std::uint64_t size : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{4097}}) {
        auto buffer = OutputBuffer::Allocate(size, OutputBuffer::Holds::PlainText);
        ASSERT_TRUE(buffer);
        EXPECT_EQ(buffer->bytes().size(), size);
        for (std::uint8_t& byte : buffer->bytes()) {
            byte = 0xAB;
        }
        buffer->Release();
        EXPECT_TRUE(buffer->bytes().empty());
    }
}

// The buffer gives its pages back with munmap. This program's munmap looks at the watched
// pages before they go: how many of their bytes are still not zero.
namespace {
std::atomic<void*> watchedPages{nullptr};
std::atomic<long> bytesLeftAtUnmap{-1};
}  // namespace

}  // namespace
}  // namespace mirebolt::protection

extern "C" int munmap(void* address, size_t length) noexcept {
    using namespace mirebolt::protection;
    if (address != nullptr && address == watchedPages.load()) {
        const auto* bytes = static_cast<const unsigned char*>(address);
        bytesLeftAtUnmap =
            std::count_if(bytes, bytes + length, [](unsigned char b) { return b != 0; });
    }
    return static_cast<int>(::syscall(SYS_munmap, address, length));
}

namespace mirebolt::protection {
namespace {

long BytesLeftWhenReleased(OutputBuffer::Holds holds) {
    auto buffer = OutputBuffer::Allocate(10'000, holds);
    EXPECT_TRUE(buffer);
    if (!buffer) {
        return -1;
    }
    std::fill(buffer->bytes().begin(), buffer->bytes().end(), 0xAB);
    bytesLeftAtUnmap = -1;
    watchedPages = buffer->bytes().data();
    buffer->Release();
    watchedPages = nullptr;
    return bytesLeftAtUnmap;
}

TEST(OutputBuffer, PlaintextIsZeroWhenItsPagesGoBack) {
    EXPECT_EQ(BytesLeftWhenReleased(OutputBuffer::Holds::PlainText), 0);
    // Ciphertext needs no wiping: its pages still hold it, which shows the check looks.
    EXPECT_EQ(BytesLeftWhenReleased(OutputBuffer::Holds::CipherText), 10'000);
}

TEST(OutputBuffer, AnImpossibleSizeFailsCleanly) {
    auto buffer = OutputBuffer::Allocate(std::uint64_t{1} << 62, OutputBuffer::Holds::CipherText);
    ASSERT_FALSE(buffer);
    EXPECT_EQ(buffer.failure().code, static_cast<std::uint32_t>(ENOMEM));
}

}  // namespace
}  // namespace mirebolt::protection
