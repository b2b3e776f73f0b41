#include "cms/gcm_cipher.h"

#include <pk11pub.h>
#include <secerr.h>
#include <string.h>

#include <algorithm>

#include "cms/cipher_in_place.h"
#include "cms/open_failures.h"
#include "nss/error_text.h"

namespace mirebolt::platform {

namespace {

std::uint32_t LoadCount(const GcmCipher::Block& block) {
    return (std::uint32_t{block[12]} << 24) | (std::uint32_t{block[13]} << 16) |
           (std::uint32_t{block[14]} << 8) | std::uint32_t{block[15]};
}

void StoreCount(std::uint32_t count, std::uint8_t* block) {
    block[12] = static_cast<std::uint8_t>(count >> 24);
    block[13] = static_cast<std::uint8_t>(count >> 16);
    block[14] = static_cast<std::uint8_t>(count >> 8);
    block[15] = static_cast<std::uint8_t>(count);
}

void Xor(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t count) {
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t x;
        std::uint64_t y;
        memcpy(&x, a + i, 8);
        memcpy(&y, b + i, 8);
        x ^= y;
        memcpy(out + i, &x, 8);
    }
    for (; i < count; ++i) {
        out[i] = a[i] ^ b[i];
    }
}

}  // namespace

Result<std::unique_ptr<GcmCipher>> GcmCipher::Start(PK11SymKey* key,
                                                    std::span<const std::uint8_t> nonce) {
    if (nonce.empty()) {
        return UnsupportedMessageFeature("uses AES-GCM with an empty nonce");
    }
    SECItem noParameter{siBuffer, nullptr, 0};
    UniqueCipherContext blockCipher(
        PK11_CreateContextBySymKey(CKM_AES_ECB, CKA_ENCRYPT, key, &noParameter));
    if (!blockCipher) {
        return NssFailure();
    }
    Block hashKey{};
    RETURN_IF_FAILED(CipherInPlace(blockCipher.get(), hashKey));
    // The first counter block: the nonce and a count of 1 for the usual 12 bytes, otherwise
    // GHASH of the nonce.
    Block first{};
    if (nonce.size() == 12) {
        std::copy(nonce.begin(), nonce.end(), first.begin());
        first[15] = 1;
    } else {
        GcmHash nonceHash(hashKey);
        nonceHash.Update(nonce);
        first = nonceHash.Finish();
    }
    Block tagMask = first;
    RETURN_IF_FAILED(CipherInPlace(blockCipher.get(), tagMask));
    auto cipher =
        std::unique_ptr<GcmCipher>(new GcmCipher(std::move(blockCipher), hashKey, tagMask, first));
    explicit_bzero(hashKey.data(), hashKey.size());
    explicit_bzero(tagMask.data(), tagMask.size());
    return cipher;
}

GcmCipher::GcmCipher(UniqueCipherContext blockCipher, const Block& hashKey, const Block& tagMask,
                     const Block& firstCounter)
    : blockCipher_(std::move(blockCipher)),
      hash_(hashKey),
      tagMask_(tagMask),
      counter_(firstCounter),
      count_(LoadCount(firstCounter) + 1) {}

GcmCipher::~GcmCipher() {
    explicit_bzero(tagMask_.data(), tagMask_.size());
    explicit_bzero(keystream_.data(), keystream_.size());
}

Status GcmCipher::Encrypt(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    return Apply(in, out, false);
}

Status GcmCipher::Decrypt(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    return Apply(in, out, true);
}

Status GcmCipher::Apply(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        bool decrypting) {
    if (out.size() != in.size()) {
        return NssFailure(SEC_ERROR_OUTPUT_LEN);
    }
    // Past 2^32 - 2 blocks the count would come round and the keystream repeat.
    constexpr std::uint64_t kLargestText = ((std::uint64_t{1} << 32) - 2) * 16;
    textBytes_ += in.size();
    if (textBytes_ > kLargestText) {
        return NssFailure(SEC_ERROR_INPUT_LEN,
                          "AES-GCM takes at most 64 GiB of content in one message.");
    }
    for (std::size_t at = 0; at < in.size(); at += kKeystreamBytes) {
        const std::size_t count = std::min(kKeystreamBytes, in.size() - at);
        const std::size_t blocks = (count + 15) / 16;
        for (std::size_t i = 0; i < blocks; ++i) {
            std::uint8_t* block = keystream_.data() + i * 16;
            memcpy(block, counter_.data(), 12);
            // The count wraps within its 32 bits, as GCM's incrementing function does.
            StoreCount(count_++, block);
        }
        RETURN_IF_FAILED(
            CipherInPlace(blockCipher_.get(), std::span(keystream_).first(blocks * 16)));
        if (decrypting) {
            hash_.Update(in.subspan(at, count));
        }
        Xor(in.data() + at, keystream_.data(), out.data() + at, count);
        if (!decrypting) {
            hash_.Update(out.subspan(at, count));
        }
    }
    return {};
}

GcmCipher::Block GcmCipher::Tag(std::span<const std::uint8_t> additionalData) {
    Block tag = hash_.Finish(additionalData);
    for (std::size_t i = 0; i < tag.size(); ++i) {
        tag[i] ^= tagMask_[i];
    }
    return tag;
}

}  // namespace mirebolt::platform
