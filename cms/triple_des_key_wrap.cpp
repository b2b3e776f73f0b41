#include "cms/triple_des_key_wrap.h"

#include <secerr.h>

#include <algorithm>
#include <array>
#include <bit>

#include "base/private_buffer.h"
#include "cms/open_failures.h"
#include "cms/recipient_kind.h"

namespace mirebolt::platform {

namespace {

constexpr std::size_t kKeyBytes = 24;
constexpr std::size_t kBlockBytes = 8;
constexpr std::size_t kChecksumBytes = 8;
constexpr std::size_t kWrappedBytes = kBlockBytes + kKeyBytes + kChecksumBytes;  // IV, CEK, ICV
constexpr std::size_t kSha1Bytes = 20;

// The IV of the outer pass, fixed by the wrap.
constexpr std::array<std::uint8_t, kBlockBytes> kOuterIv{0x4a, 0xdd, 0xa2, 0x2c,
                                                         0x79, 0xe8, 0x21, 0x05};

// DES-EDE3-CBC without padding, `in` into `out` of the same length.
bool DecryptCbc(PK11SymKey* key, std::span<const std::uint8_t> iv, std::span<const std::uint8_t> in,
                std::span<std::uint8_t> out) {
    SECItem ivItem{siBuffer, const_cast<unsigned char*>(iv.data()),
                   static_cast<unsigned>(iv.size())};
    unsigned length = 0;
    return PK11_Decrypt(key, CKM_DES3_CBC, &ivItem, out.data(), &length,
                        static_cast<unsigned>(out.size()), in.data(),
                        static_cast<unsigned>(in.size())) == SECSuccess &&
           length == in.size();
}

// Every byte of a DES key has odd parity, as the wrap's sender must set it.
bool OddParity(std::span<const std::uint8_t> key) {
    return std::all_of(key.begin(), key.end(),
                       [](std::uint8_t byte) { return std::popcount(byte) % 2 == 1; });
}

}  // namespace

Result<UniqueSymKey> UnwrapTripleDesKey(PK11SymKey* keyEncryptionKey,
                                        std::span<const std::uint8_t> wrapped,
                                        const ContentAlgorithmFacts& cipher) {
    if (wrapped.size() != kWrappedBytes || cipher.algorithm != ContentAlgorithm::DesEde3Cbc) {
        return KeyNotUnwrapped();
    }
    ASSIGN_OR_RETURN(PrivateBuffer memory, PrivateBuffer::Allocate(2 * kWrappedBytes + kSha1Bytes));
    const std::span<std::uint8_t> outer = memory.bytes().first(kWrappedBytes);
    const std::span<std::uint8_t> inner = memory.bytes().subspan(kWrappedBytes, kWrappedBytes);
    const std::span<std::uint8_t> digest = memory.bytes().subspan(2 * kWrappedBytes, kSha1Bytes);

    // The outer pass, then the reversal: the first block is the inner pass's IV.
    if (!DecryptCbc(keyEncryptionKey, kOuterIv, wrapped, outer)) {
        return KeyNotUnwrapped();
    }
    std::reverse(outer.begin(), outer.end());
    const std::span<const std::uint8_t> innerIv = outer.first(kBlockBytes);
    const std::span<std::uint8_t> keyAndChecksum = inner.first(kKeyBytes + kChecksumBytes);
    if (!DecryptCbc(keyEncryptionKey, innerIv, outer.subspan(kBlockBytes), keyAndChecksum)) {
        return KeyNotUnwrapped();
    }
    const std::span<std::uint8_t> key = keyAndChecksum.first(kKeyBytes);
    const std::span<const std::uint8_t> checksum = keyAndChecksum.subspan(kKeyBytes);

    // The checksum is the first 8 bytes of the key's SHA-1: a wrong key-encryption key or a
    // damaged entry fails here rather than as the content's bad padding.
    if (PK11_HashBuf(SEC_OID_SHA1, digest.data(), key.data(), static_cast<PRInt32>(key.size())) !=
            SECSuccess ||
        NSS_SecureMemcmp(digest.data(), checksum.data(), kChecksumBytes) != 0 || !OddParity(key)) {
        return KeyNotUnwrapped();
    }
    UniqueSlot slot(PK11_GetInternalSlot());
    if (!slot) {
        return KeyNotUnwrapped();
    }
    SECItem keyItem{siBuffer, key.data(), static_cast<unsigned>(key.size())};
    return CheckedContentKey(PK11_ImportSymKey(slot.get(), PaddedMechanism(cipher),
                                               PK11_OriginUnwrap, CKA_DECRYPT, &keyItem, nullptr),
                             cipher);
}

}  // namespace mirebolt::platform
