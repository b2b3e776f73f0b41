// AES-GCM content decrypted as counter mode with a tag of our own GHASH, against vectors made
// by another implementation: every nonce length peers use, tags cut to every length a message
// may carry, counters that wrap, content in pieces of any size.
#include "cms/content_decryptor.h"

#include <gtest/gtest.h>
#include <pk11pub.h>
#include <secerr.h>

#include <algorithm>
#include <string>

#include "nss/nss_runtime.h"
#include "nss/nss_types.h"
#include "support/test_files.h"

namespace mirebolt::platform {
namespace {

using testing::Bytes;

using testing::FromHex;

struct GcmVector {
    const char* name;
    const char* key;
    const char* nonce;
    const char* plain;
    const char* cipher;
    const char* tag;  // whole; shorter tags are its first bytes
};

void PrintTo(const GcmVector& vector, std::ostream* out) {
    *out << vector.name;
}

// NIST's test cases 3 and 15 (no additional data), then vectors computed with OpenSSL's AES-GCM.
// The last two nonces are chosen so that the first counter block derived from them ends in
// fffffffe and ffffffff: the 32-bit counter wraps after the first block, or at once.
const GcmVector kVectors[] = {
    {"Nist3", "feffe9928665731c6d6a8f9467308308", "cafebabefacedbaddecaf888",
     "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a"
     "6b525b16aedf5aa0de657ba637b391aafd255",
     "42831ec2217774244b7221b784d0d49ce3aa212f2c02a4e035c17e2329aca12e21d514b25466931c7d8f6a5aac8"
     "4aa051ba30b396a0aac973d58e091473f5985",
     "4d5c2af327cd64a62cf35abd2ba6fab4"},
    {"Nist15", "feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308",
     "cafebabefacedbaddecaf888",
     "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a"
     "6b525b16aedf5aa0de657ba637b391aafd255",
     "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e48590dbb3da7b08b10568"
     "28838c5f61e6393ba7a0abcc9f662898015ad",
     "b094dac5d93471bdec1a502270e3cc6c"},
    {"Nonce8NoContent", "1e746b79c84295ebda3c6c5133f46f88", "60da135bf96ae44a", "", "",
     "8dde97b1f1bc9bdfb8807ecec4decb9e"},
    {"Nonce8Aes192", "d3da9182560c20a5e1b4964020e6f283e64f96b08d13e0e0", "a7a65e420b69ff94",
     "90dc35760c95d479434e3416442339a3d9", "b7dcaa830c554fab08625f4d9734d647be",
     "8b37c3553fc787bf91e577177d4ea119"},
    {"Nonce60Aes256", "985767f10d6aa3f84a25a2481b40506ec50410353a609b6a78af8932ef5117dc",
     "6dedcf3a89ab3fc946a8c1c89e62d76b7dd2c8d5622d261054b3fdef8cd6616940f4bb57c2362f6385402ead3a"
     "62978c24d59ecb769f527d165c678e",
     "cce3ef320eda654556714d77a21cf2d003bd08477d220b171581fa74d08ea7f914",
     "311ac7507ee6c7e62828058a99ba88ff68a843f24ec5d5538f2912481776932231",
     "2cec481d0144822e85eb49feddb45f46"},
    {"Nonce60CounterWrapsAfterFirstBlock", "35a1ac765dfe87a7585d8822e624a363",
     "bc89e5f51f59e0a98822d8db6cb199f9f404937e1d8c78345a8bbea4035051e388d3bd853178e3dd151e3ab226"
     "65aafdd6b24b8a549919938a5fbaf6",
     "cf500ef8d025712c5bccf61909b38f381829dead1d2f638f4995f6a187e64ce2385ef1752952e607fafbc42a3f"
     "909eca",
     "36997597c89fdcedf288224ae69ec697d6a9033ffe8d6d75c79cc059a2153435246fbd9646a4e1f6d17ce3a9a4"
     "0d020d",
     "7a617647f3be15da091d0c53641b9c7f"},
    {"Nonce60FirstCounterWraps", "8f6c2deae46436439caaed4f649eae138f48c75cc7715bfb816ae74e97ac9237",
     "98da3ed2169f18bf219d77ab0247decf7f72a447d775a4c5519751ecc79d12274ea23129b6e4a996398ae61555"
     "a832b1dd6f3bba04d970b9a8f099e3",
     "c37985b42d6205be0dbe7842f14eafda4e30ea9b", "ffb3ba54b7f55e0e25206ec4415100a6663e5037",
     "25400b985d2e37cba052a00ffbdfbdca"},
};

// Collects what the decryptor gives out.
class CollectingTarget final : public PlainTextTarget {
  public:
    Result<std::span<std::uint8_t>> Room(std::size_t count) override {
        room_.resize(count);
        return std::span<std::uint8_t>(room_);
    }
    Status Commit(std::size_t count) override {
        got.insert(got.end(), room_.begin(), room_.begin() + static_cast<std::ptrdiff_t>(count));
        return {};
    }
    Bytes got;

  private:
    Bytes room_;
};

class GcmVectors : public ::testing::TestWithParam<GcmVector> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(NssRuntime::EnsureStarted());
        Bytes keyBytes = FromHex(GetParam().key);
        SECItem item{siBuffer, keyBytes.data(), static_cast<unsigned>(keyBytes.size())};
        UniqueSlot slot(PK11_GetInternalSlot());
        // As a content key is unwrapped for the reader.
        key_.reset(PK11_ImportSymKey(slot.get(), CKM_AES_CBC_PAD, PK11_OriginUnwrap, CKA_DECRYPT,
                                     &item, nullptr));
        ASSERT_TRUE(key_);
        facts_ = &FactsOf(keyBytes.size() == 16   ? ContentAlgorithm::Aes128Gcm
                          : keyBytes.size() == 24 ? ContentAlgorithm::Aes192Gcm
                                                  : ContentAlgorithm::Aes256Gcm);
    }

    // The content, in pieces of `piece` bytes, then the tag: the plaintext given out, or the
    // failure of Start, Take or Finish.
    Result<Bytes> Decrypt(const Bytes& cipher, const Bytes& tag, std::size_t piece) {
        CollectingTarget target;
        const Bytes nonce = FromHex(GetParam().nonce);
        Result<std::unique_ptr<ContentDecryptor>> decryptor =
            ContentDecryptor::Start(*facts_, key_.get(), nonce, target);
        if (!decryptor) {
            return decryptor.failure();
        }
        for (std::size_t at = 0; at < cipher.size(); at += piece) {
            const std::size_t count = std::min(piece, cipher.size() - at);
            if (Status taken = (*decryptor)->Take(std::span(cipher).subspan(at, count)); !taken) {
                return taken.failure();
            }
        }
        if (Status finished = (*decryptor)->Finish(tag, {}); !finished) {
            return finished.failure();
        }
        return target.got;
    }

    UniqueSymKey key_;
    const ContentAlgorithmFacts* facts_ = nullptr;
};

TEST_P(GcmVectors, EveryTagLengthOpensInPiecesOfAnySize) {
    const Bytes plain = FromHex(GetParam().plain);
    const Bytes cipher = FromHex(GetParam().cipher);
    const Bytes tag = FromHex(GetParam().tag);
    for (std::size_t tagBytes = 12; tagBytes <= 16; ++tagBytes) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{16}, cipher.size()}) {
            Result<Bytes> opened = Decrypt(cipher, Bytes(tag.begin(), tag.begin() + tagBytes),
                                           std::max(piece, std::size_t{1}));
            ASSERT_TRUE(opened) << tagBytes << "-byte tag, pieces of " << piece << ": "
                                << opened.failure().text;
            EXPECT_EQ(*opened, plain) << tagBytes << "-byte tag, pieces of " << piece;
        }
    }
}

TEST_P(GcmVectors, AFlippedBitInAnyByteOfTheTagOrInTheContentIsRefused) {
    const Bytes cipher = FromHex(GetParam().cipher);
    const Bytes tag = FromHex(GetParam().tag);
    for (std::size_t tagBytes = 12; tagBytes <= 16; ++tagBytes) {
        const Bytes cut(tag.begin(), tag.begin() + tagBytes);
        for (std::size_t at = 0; at < tagBytes; ++at) {
            Bytes spoilt = cut;
            spoilt[at] ^= static_cast<std::uint8_t>(1 << (at % 8));
            Result<Bytes> opened = Decrypt(cipher, spoilt, 16);
            ASSERT_FALSE(opened) << tagBytes << "-byte tag, byte " << at << " spoilt";
            EXPECT_EQ(opened.failure().code, static_cast<std::uint32_t>(SEC_ERROR_BAD_SIGNATURE));
        }
        if (!cipher.empty()) {
            Bytes spoilt = cipher;
            spoilt.back() ^= 0x80;
            Result<Bytes> opened = Decrypt(spoilt, cut, 16);
            ASSERT_FALSE(opened) << tagBytes << "-byte tag, content spoilt";
            EXPECT_EQ(opened.failure().code, static_cast<std::uint32_t>(SEC_ERROR_BAD_SIGNATURE));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Aes, GcmVectors, ::testing::ValuesIn(kVectors),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mirebolt::platform
