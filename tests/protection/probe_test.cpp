#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "protection/file_operations.h"
#include "support/test_files.h"

namespace mirebolt::protection {
namespace {

std::set<std::string> Entries(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(ProbeWritable, LeavesTheFolderAsItWas) {
    testing::TempDir dir;
    testing::WriteBytes(dir / "report.pdf", {1, 2, 3});
    const auto before = Entries(dir.path());
    EXPECT_TRUE(ProbeWritable(dir / "report.pdf.enc"));
    EXPECT_EQ(Entries(dir.path()), before);
}

TEST(ProbeWritable, NeverHarmsAFileThatHasTheProbesName) {
    testing::TempDir dir;
    const testing::Bytes precious{'k', 'e', 'e', 'p'};
    testing::WriteBytes(dir / "report.pdf.enc_.xxx", precious);
    testing::WriteBytes(dir / "report.pdf.enc_1.xxx", precious);
    std::filesystem::create_directory(dir / "report.pdf.enc_2.xxx");
    const auto before = Entries(dir.path());

    EXPECT_TRUE(ProbeWritable(dir / "report.pdf.enc"));
    EXPECT_EQ(Entries(dir.path()), before);
    EXPECT_EQ(testing::ReadBytes(dir / "report.pdf.enc_.xxx"), precious);
    EXPECT_EQ(testing::ReadBytes(dir / "report.pdf.enc_1.xxx"), precious);
}

TEST(ProbeWritable, FailsWhereNothingCanBeCreated) {
    testing::TempDir dir;
    // A missing folder, and a file system that refuses new files even to root.
    EXPECT_FALSE(ProbeWritable(dir / "missing/report.enc"));
    EXPECT_TRUE(Entries(dir.path()).empty());
    EXPECT_FALSE(ProbeWritable("/proc/mirebolt-report.enc"));
    EXPECT_FALSE(std::filesystem::exists("/proc/mirebolt-report.enc_.xxx"));
}

TEST(ProbeWritable, RefusesANameThatHoldsNoRegularFileAndLeavesItAlone) {
    testing::TempDir dir;
    testing::WriteBytes(dir / "victim", {'v'});
    std::filesystem::create_symlink(dir / "victim", dir / "link.enc");
    std::filesystem::create_symlink(dir / "nowhere", dir / "dangling.enc");
    std::filesystem::create_directory(dir / "folder.enc");
    ASSERT_EQ(::mkfifo((dir / "pipe.enc").c_str(), 0600), 0);
    const auto before = Entries(dir.path());
    for (const char* name : {"link.enc", "dangling.enc", "folder.enc", "pipe.enc"}) {
        EXPECT_FALSE(ProbeWritable(dir / name)) << name;
    }
    EXPECT_EQ(Entries(dir.path()), before);
    EXPECT_EQ(testing::ReadBytes(dir / "victim"), testing::Bytes{'v'});
    EXPECT_TRUE(ProbeWritable(dir / "victim")) << "a regular file is replaced, once asked about";
}

TEST(FileExists, CountsOnlyFilesThatOpenForReading) {
    testing::TempDir dir;
    testing::WriteBytes(dir / "present", {1});
    EXPECT_TRUE(FileExists(dir / "present"));
    EXPECT_TRUE(FileExists(dir / "../" + dir.path().filename().string() + "/present"));
    EXPECT_FALSE(FileExists(dir / "absent"));
    EXPECT_FALSE(FileExists(dir.path().string()));
}

TEST(DeleteFile, RemovesOnlyWhatItIsGiven) {
    testing::TempDir dir;
    testing::WriteBytes(dir / "a", {1});
    testing::WriteBytes(dir / "b", {2});
    EXPECT_TRUE(DeleteFile(dir / "a"));
    EXPECT_FALSE(DeleteFile(dir / "a"));
    EXPECT_EQ(Entries(dir.path()), std::set<std::string>{"b"});
}

}  // namespace
}  // namespace mirebolt::protection
