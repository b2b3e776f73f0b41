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
#include <functional>
#include <set>

#include "base/private_buffer.h"
#include "protection/input_file.h"
#include "protection/output_file.h"
#include "support/resource_limits.h"
#include "support/test_files.h"

namespace mirebolt::protection {
namespace {

using testing::Bytes;

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// Every case runs with a file without a name and with the named one used where the file system
// has none.
class OutputFileTest : public ::testing::TestWithParam<OutputFile::Temporary> {
  protected:
    void SetUp() override { previousMask_ = ::umask(022); }
    void TearDown() override { ::umask(previousMask_); }

    // Starts an output for a name as it is now, as a command does at its question.
    Result<OutputFile> Start(const std::string& name,
                             OutputFile::Access access = OutputFile::Access::Shared,
                             std::optional<FileIdentity> mustNotBe = std::nullopt) {
        return OutputFile::Open(name, access, NameState::Of(name), mustNotBe, GetParam());
    }

    testing::TempDir dir_;
    mode_t previousMask_ = 0;
};

TEST_P(OutputFileTest, ANewFileTakesTheModeForItsContent) {
    const Bytes bytes = testing::RandomBytes(70'000);
    for (mode_t mask : {mode_t{022}, mode_t{0}}) {
        ::umask(mask);
        for (auto [access, mode] :
             {std::pair{OutputFile::Access::Shared, static_cast<mode_t>(0666 & ~mask)},
              std::pair{OutputFile::Access::OwnerOnly, mode_t{0600}}}) {
            const std::string path = dir_ / ("out" + std::to_string(mask) + std::to_string(mode));
            auto output = Start(path, access);
            ASSERT_TRUE(output);
            ASSERT_TRUE(output->Write(bytes));
            ASSERT_TRUE(output->Commit());
            EXPECT_EQ(testing::ReadBytes(path), bytes);
            EXPECT_EQ(ModeOf(path), mode) << "umask " << mask;
        }
    }
}

TEST_P(OutputFileTest, PiecesStayOutOfSightUntilCommittedAndVanishWithoutIt) {
    const std::string path = dir_ / "streamed";
    Bytes all;
    {
        auto output = Start(path, OutputFile::Access::OwnerOnly);
        ASSERT_TRUE(output);
        for (int piece = 0; piece < 5; ++piece) {
            const Bytes bytes = testing::RandomBytes(10'000 + piece);
            all.insert(all.end(), bytes.begin(), bytes.end());
            ASSERT_TRUE(output->Write(bytes));
        }
        EXPECT_FALSE(std::filesystem::exists(path));
        // Where the file system allows, no name at all: nothing to see, swap or leave behind.
        EXPECT_EQ(testing::FolderEntries(dir_.path()).size(),
                  GetParam() == OutputFile::Temporary::Unnamed ? 0u : 1u);
    }
    EXPECT_TRUE(testing::FolderEntries(dir_.path()).empty())
        << "an output never committed leaves nothing";

    auto output = Start(path, OutputFile::Access::OwnerOnly);
    ASSERT_TRUE(output);
    ASSERT_TRUE(output->Write(all));
    ASSERT_TRUE(output->Commit());
    EXPECT_FALSE(output->Commit()) << "only once";
    EXPECT_EQ(testing::ReadBytes(path), all);
    EXPECT_EQ(testing::FolderEntries(dir_.path()), std::set<std::string>{"streamed"});
}

TEST_P(OutputFileTest, AnExistingFileIsReplacedAndKeepsItsModeAndOwner) {
    const std::string path = dir_ / "existing";
    testing::WriteBytes(path, testing::RandomBytes(5000));
    ASSERT_EQ(::chmod(path.c_str(), 0604), 0);
    // Only a privileged process may give a file to someone else; the owner is kept where the
    // process may set it.
    const bool givenAway = ::chown(path.c_str(), 4321, 4322) == 0;
    auto output = Start(path, OutputFile::Access::OwnerOnly);
    ASSERT_TRUE(output);
    ASSERT_TRUE(output->Write(Bytes{1, 2, 3}));
    ASSERT_TRUE(output->Commit());
    EXPECT_EQ(testing::ReadBytes(path), (Bytes{1, 2, 3}));
    EXPECT_EQ(ModeOf(path), mode_t{0604});
    if (givenAway) {
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 4321u);
        EXPECT_EQ(info.st_gid, 4322u);
    }
}

TEST_P(OutputFileTest, AnOutputNameThatLeadsToTheInputIsRefused) {
    const std::string inputPath = dir_ / "report";
    const Bytes content = testing::RandomBytes(1000);
    testing::WriteBytes(inputPath, content);
    auto input = InputFile::Open(inputPath);
    ASSERT_TRUE(input);

    std::filesystem::create_symlink(inputPath, dir_ / "report.enc");
    std::filesystem::create_hard_link(inputPath, dir_ / "hard");
    for (const std::string& name : {dir_ / "report.enc", dir_ / "hard", inputPath}) {
        auto output = Start(name, OutputFile::Access::Shared, input->identity());
        EXPECT_FALSE(output) << name;
        EXPECT_EQ(testing::ReadBytes(inputPath), content) << name;
    }
    EXPECT_TRUE(Start(dir_ / "other", OutputFile::Access::Shared, input->identity()));
    EXPECT_EQ(testing::FolderEntries(dir_.path()),
              (std::set<std::string>{"hard", "report", "report.enc"}));
}

TEST_P(OutputFileTest, NeverWritesThroughOrOverALink) {
    const std::string victim = dir_ / "victim";
    const Bytes precious = testing::RandomBytes(100);
    testing::WriteBytes(victim, precious);
    std::filesystem::create_symlink(victim, dir_ / "link");
    std::filesystem::create_symlink(dir_ / "nowhere", dir_ / "dangling");
    for (const std::string& name : {dir_ / "link", dir_ / "dangling"}) {
        EXPECT_FALSE(Start(name)) << name;
    }
    EXPECT_EQ(testing::ReadBytes(victim), precious);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "nowhere"));
    EXPECT_EQ(testing::FolderEntries(dir_.path()),
              (std::set<std::string>{"dangling", "link", "victim"}));
}

TEST_P(OutputFileTest, ANameThatChangedBeforeTheCommitIsLeftAsItIs) {
    const std::string victim = dir_ / "victim";
    const Bytes precious = testing::RandomBytes(100);
    testing::WriteBytes(victim, precious);
    ASSERT_EQ(::chmod(victim.c_str(), 0644), 0);
    const std::string name = dir_ / "out";
    const std::string other = dir_ / "other";

    // A link or a file appears at a free name; a file the person was asked about is replaced.
    const std::vector<std::function<void()>> changes = {
        [&] { std::filesystem::create_symlink(victim, name); },
        [&] { testing::WriteBytes(name, precious); },
        [&] {
            testing::WriteBytes(other, precious);
            std::filesystem::rename(other, name);
        },
    };
    for (std::size_t change = 0; change < changes.size(); ++change) {
        if (change == 2) {
            testing::WriteBytes(name, {'o', 'l', 'd'});
        }
        auto output = Start(name);
        ASSERT_TRUE(output);
        ASSERT_TRUE(output->Write(testing::RandomBytes(5000)));
        changes[change]();
        EXPECT_FALSE(output->Commit()) << change;
        output = Result<OutputFile>(Failure{});  // gives the temporary file up
        EXPECT_EQ(testing::ReadBytes(victim), precious) << change;
        EXPECT_EQ(ModeOf(victim), mode_t{0644}) << change;
        EXPECT_EQ(testing::ReadBytes(name), precious) << change;
        EXPECT_EQ(testing::FolderEntries(dir_.path()), (std::set<std::string>{"out", "victim"}))
            << change;
        std::filesystem::remove(name);
    }
}

TEST_P(OutputFileTest, AFolderThatIsNotThereFailsAndCreatesNothing) {
    EXPECT_FALSE(Start(dir_ / "missing/out"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
}

TEST_P(OutputFileTest, AWriteThatCannotCompleteFailsAndLeavesTheOldFile) {
    // A file size limit stops the write part of the way, even for root.
    const std::string path = dir_ / "limited";
    const Bytes old = testing::RandomBytes(1000);
    testing::WriteBytes(path, old);
    auto output = Start(path);
    ASSERT_TRUE(output);
    Status written;
    {
        testing::ScopedLimit fileSize(RLIMIT_FSIZE, 64 * 1024);
        written = output->Write(testing::RandomBytes(256 * 1024));
    }
    ASSERT_FALSE(written);
    EXPECT_EQ(written.failure().code, static_cast<std::uint32_t>(EFBIG));
    EXPECT_FALSE(output->Commit()) << "a failed write is never made the output";
    output = Result<OutputFile>(Failure{});
    EXPECT_EQ(testing::ReadBytes(path), old);
    EXPECT_EQ(testing::FolderEntries(dir_.path()), std::set<std::string>{"limited"});
}

// Only a named temporary has a name to swap.
TEST(NamedTemporary, SwappedForAnotherFileIsNeverMadeTheOutput) {
    testing::TempDir dir;
    const auto Start = [](const std::string& name) {
        return OutputFile::Open(name, OutputFile::Access::Shared, NameState::Of(name), std::nullopt,
                                OutputFile::Temporary::Named);
    };
    const std::string name = dir / "out";
    const Bytes planted = testing::RandomBytes(300);
    for (bool replacing : {false, true}) {
        if (replacing) {
            testing::WriteBytes(name, {'o', 'l', 'd'});
        }
        auto output = Start(name);
        ASSERT_TRUE(output);
        ASSERT_TRUE(output->Write(testing::RandomBytes(5000)));
        std::set<std::string> entries = testing::FolderEntries(dir.path());
        entries.erase("out");
        ASSERT_EQ(entries.size(), 1u);
        const std::string temporary = dir / *entries.begin();
        // Someone who may write the folder moves our file aside and plants their own.
        std::filesystem::rename(temporary, dir / "moved");
        testing::WriteBytes(temporary, planted);
        EXPECT_FALSE(output->Commit()) << replacing;
        output = Result<OutputFile>(Failure{});
        EXPECT_EQ(testing::ReadBytes(temporary), planted) << "what is not ours is left alone";
        if (replacing) {
            EXPECT_EQ(testing::ReadBytes(name), (Bytes{'o', 'l', 'd'}));
        } else {
            EXPECT_FALSE(std::filesystem::exists(name));
        }
        std::filesystem::remove(temporary);
        std::filesystem::remove(dir / "moved");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Temporaries, OutputFileTest,
    ::testing::Values(OutputFile::Temporary::Unnamed, OutputFile::Temporary::Named),
    [](const auto& info) {
        return std::string(info.param == OutputFile::Temporary::Unnamed ? "Unnamed" : "Named");
    });

using platform::PrivateBuffer;

TEST(PrivateBuffer, HasExactlyTheSizeAskedFor) {
    for (std::uint64_t size : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{4097}}) {
        auto buffer = PrivateBuffer::Allocate(size);
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

long BytesLeftWhenReleased(std::span<std::uint8_t> bytes, const std::function<void()>& release) {
    std::fill(bytes.begin(), bytes.end(), 0xAB);
    bytesLeftAtUnmap = -1;
    watchedPages = bytes.data();
    release();
    watchedPages = nullptr;
    return bytesLeftAtUnmap;
}

TEST(PrivateBuffer, PlaintextIsZeroWhenItsPagesGoBack) {
    auto buffer = PrivateBuffer::Allocate(10'000);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(BytesLeftWhenReleased(buffer->bytes(), [&] { buffer->Release(); }), 0);
    // Pages given back unwiped still hold what was written, which shows the check looks.
    void* plain =
        ::mmap(nullptr, 10'000, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(plain, MAP_FAILED);
    EXPECT_EQ(BytesLeftWhenReleased({static_cast<std::uint8_t*>(plain), 10'000},
                                    [&] { ::munmap(plain, 10'000); }),
              10'000);
}

TEST(PrivateBuffer, AnImpossibleSizeFailsCleanly) {
    auto buffer = PrivateBuffer::Allocate(std::uint64_t{1} << 62);
    ASSERT_FALSE(buffer);
    EXPECT_EQ(buffer.failure().code, static_cast<std::uint32_t>(ENOMEM));
    EXPECT_EQ(buffer.failure().origin, FailureOrigin::Memory) << "told as memory, not the work";
}

}  // namespace
}  // namespace mirebolt::protection
