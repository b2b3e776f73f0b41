#include "protection/size_limits.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "protection/input_file.h"
#include "support/test_files.h"

namespace mirebolt::protection {
namespace {

TEST(SizeLimits, TheLimitItselfFitsAndOneByteMoreDoesNot) {
    EXPECT_EQ(EncryptSizeLimit, 0x061A7E04u);
    EXPECT_EQ(DecryptSizeLimit, 0x061A8000u);
    for (std::uint64_t limit : {EncryptSizeLimit, DecryptSizeLimit}) {
        EXPECT_TRUE(FitsLimit(1, limit));
        EXPECT_TRUE(FitsLimit(limit, limit));
        EXPECT_FALSE(FitsLimit(limit + 1, limit));
        EXPECT_FALSE(FitsLimit(std::nullopt, limit)) << "a size that can't be read is too big";
    }
}

TEST(SizeLimits, RealFilesAtTheBoundariesAndAbove4GiB) {
    testing::TempDir dir;
    struct Case {
        std::uint64_t size;
        bool fitsEncrypt;
        bool fitsDecrypt;
    };
    const Case cases[] = {
        {EncryptSizeLimit, true, true},
        {EncryptSizeLimit + 1, false, true},
        {DecryptSizeLimit, false, true},
        {DecryptSizeLimit + 1, false, false},
        {(std::uint64_t{5} << 30), false, false},
        {(std::uint64_t{4} << 30) + 100, false, false},  // would be 100 if cut to 32 bits
    };
    for (const Case& c : cases) {
        const std::string path = dir / "sparse";
        testing::WriteBytes(path, {});
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(c.size)), 0);
        auto input = InputFile::Open(path);
        ASSERT_TRUE(input);
        ASSERT_EQ(input->knownSize(), c.size);
        EXPECT_EQ(FitsLimit(input->knownSize(), EncryptSizeLimit), c.fitsEncrypt) << c.size;
        EXPECT_EQ(FitsLimit(input->knownSize(), DecryptSizeLimit), c.fitsDecrypt) << c.size;
    }
}

}  // namespace
}  // namespace mirebolt::protection
