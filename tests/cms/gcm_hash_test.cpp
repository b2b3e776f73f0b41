// GHASH on each multiplication the processor may be given, against the hashes of the test
// vectors McGrew and Viega published with GCM, with the additional data given after the text as
// a reader of authenticated attributes gives it.
#include "cms/gcm_hash.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace mirebolt::platform {
namespace {

using testing::Bytes;
using testing::FromHex;
using Multiplier = GcmHash::Multiplier;

GcmHash::Block BlockFromHex(std::string_view hex) {
    const Bytes bytes = FromHex(hex);
    GcmHash::Block block{};
    std::copy(bytes.begin(), bytes.end(), block.begin());
    return block;
}

struct GhashVector {
    const char* name;
    const char* hashKey;
    const char* additional;
    const char* cipher;
    const char* hash;
};

// McGrew and Viega's GCM test cases 2 (one block, nothing more), 4 and 16 (additional data and
// text that end in partial blocks, AES-128 and AES-256).
const GhashVector kVectors[] = {
    {"Case2", "66e94bd4ef8a2c3b884cfa59ca342b2e", "", "0388dace60b6a392f328c2b971b2fe78",
     "f38cbb1ad69223dcc3457ae5b6b0f885"},
    {"Case4", "b83b533708bf535d0aa6e52980d53b78", "feedfacedeadbeeffeedfacedeadbeefabaddad2",
     "42831ec2217774244b7221b784d0d49ce3aa212f2c02a4e035c17e2329aca12e21d514b25466931c7d8f6a5aac8"
     "4aa051ba30b396a0aac973d58e091",
     "698e57f70e6ecc7fd9463b7260a9ae5f"},
    {"Case16", "acbef20579b4b8ebce889bac8732dad7", "feedfacedeadbeeffeedfacedeadbeefabaddad2",
     "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e48590dbb3da7b08b10568"
     "28838c5f61e6393ba7a0abcc9f662",
     "8bd0c4d8aacd391e67cca447e8c38f65"},
};

struct GhashCase {
    GhashVector vector;
    Multiplier multiplier;
};

class GhashVectors : public ::testing::TestWithParam<GhashCase> {
  protected:
    void SetUp() override {
        if (GetParam().multiplier == Multiplier::Fastest && !GcmHash::CarryLessAvailable()) {
            GTEST_SKIP() << "this processor has no carry-less multiplication";
        }
    }
};

TEST_P(GhashVectors, HashesTextInPiecesOfAnySizeWithTheAdditionalDataAfterIt) {
    const GhashVector& vector = GetParam().vector;
    const Bytes additional = FromHex(vector.additional);
    const Bytes cipher = FromHex(vector.cipher);
    for (std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{16}, cipher.size()}) {
        GcmHash hash(BlockFromHex(vector.hashKey), GetParam().multiplier);
        EXPECT_EQ(hash.carryLess(), GetParam().multiplier == Multiplier::Fastest);
        for (std::size_t at = 0; at < cipher.size(); at += piece) {
            hash.Update(std::span(cipher).subspan(at, std::min(piece, cipher.size() - at)));
        }
        EXPECT_EQ(hash.Finish(additional), BlockFromHex(vector.hash)) << "pieces of " << piece;
    }
}

std::vector<GhashCase> AllCases() {
    std::vector<GhashCase> cases;
    for (const GhashVector& vector : kVectors) {
        cases.push_back({vector, Multiplier::Fastest});
        cases.push_back({vector, Multiplier::Portable});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Gcm, GhashVectors, ::testing::ValuesIn(AllCases()), [](const auto& info) {
    return std::string(info.param.vector.name) +
           (info.param.multiplier == Multiplier::Portable ? "Portable" : "CarryLess");
});

// The carry-less code takes four blocks at a time and the portable one takes one: over long
// texts, every length modulo four blocks, and additional data of several blocks, both give the
// same hash as the other.
TEST(Ghash, CarryLessAndPortableAgreeOverLongTexts) {
    if (!GcmHash::CarryLessAvailable()) {
        GTEST_SKIP() << "this processor has no carry-less multiplication";
    }
    std::mt19937 random(20);
    auto randomBytes = [&random](std::size_t count) {
        Bytes bytes(count);
        for (std::uint8_t& byte : bytes) {
            byte = static_cast<std::uint8_t>(random());
        }
        return bytes;
    };
    for (std::size_t length : {std::size_t{0}, std::size_t{63}, std::size_t{64}, std::size_t{65},
                               std::size_t{100}, std::size_t{4099}, std::size_t{70001}}) {
        GcmHash::Block key{};
        const Bytes keyBytes = randomBytes(16);
        std::copy(keyBytes.begin(), keyBytes.end(), key.begin());
        const Bytes text = randomBytes(length);
        const Bytes additional = randomBytes(length % 300);
        GcmHash fast(key, Multiplier::Fastest);
        GcmHash portable(key, Multiplier::Portable);
        fast.Update(text);
        portable.Update(text);
        EXPECT_EQ(fast.Finish(additional), portable.Finish(additional)) << length << " bytes";
    }
}

}  // namespace
}  // namespace mirebolt::platform
