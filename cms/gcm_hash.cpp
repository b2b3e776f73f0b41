#include "cms/gcm_hash.h"

#include <string.h>

#include <algorithm>

namespace mirebolt::platform {

namespace {

// The reduction of the four bits shifted out, from Shoup's 4-bit table method.
constexpr std::array<std::uint64_t, 16> kLast4{0x0000, 0x1c20, 0x3840, 0x2460, 0x7080, 0x6ca0,
                                               0x48c0, 0x54e0, 0xe100, 0xfd20, 0xd940, 0xc560,
                                               0x9180, 0x8da0, 0xa9c0, 0xb5e0};

std::uint64_t LoadBigEndian(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

void StoreBigEndian(std::uint64_t value, std::uint8_t* bytes) {
    for (int i = 7; i >= 0; --i) {
        bytes[i] = static_cast<std::uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

}  // namespace

GcmHash::GcmHash(const Block& hashKey) {
    std::uint64_t vh = LoadBigEndian(hashKey.data());
    std::uint64_t vl = LoadBigEndian(hashKey.data() + 8);
    high_[8] = vh;
    low_[8] = vl;
    for (int i = 4; i > 0; i >>= 1) {
        const std::uint64_t carry = (vl & 1) * 0xe1000000u;
        vl = (vh << 63) | (vl >> 1);
        vh = (vh >> 1) ^ (carry << 32);
        high_[i] = vh;
        low_[i] = vl;
    }
    for (int i = 2; i <= 8; i *= 2) {
        for (int j = 1; j < i; ++j) {
            high_[i + j] = high_[i] ^ high_[j];
            low_[i + j] = low_[i] ^ low_[j];
        }
    }
}

GcmHash::~GcmHash() {
    explicit_bzero(high_.data(), sizeof high_);
    explicit_bzero(low_.data(), sizeof low_);
    explicit_bzero(partial_.data(), partial_.size());
}

void GcmHash::MultiplyInto(const std::uint8_t* block) {
    std::uint8_t x[16];
    StoreBigEndian(stateHigh_ ^ LoadBigEndian(block), x);
    StoreBigEndian(stateLow_ ^ LoadBigEndian(block + 8), x + 8);
    std::uint8_t lo = x[15] & 0x0F;
    std::uint64_t zh = high_[lo];
    std::uint64_t zl = low_[lo];
    for (int i = 15; i >= 0; --i) {
        lo = x[i] & 0x0F;
        const std::uint8_t hi = (x[i] >> 4) & 0x0F;
        if (i != 15) {
            const auto rem = static_cast<std::uint8_t>(zl & 0x0F);
            zl = (zh << 60) | (zl >> 4);
            zh = (zh >> 4) ^ (kLast4[rem] << 48);
            zh ^= high_[lo];
            zl ^= low_[lo];
        }
        const auto rem = static_cast<std::uint8_t>(zl & 0x0F);
        zl = (zh << 60) | (zl >> 4);
        zh = (zh >> 4) ^ (kLast4[rem] << 48);
        zh ^= high_[hi];
        zl ^= low_[hi];
    }
    stateHigh_ = zh;
    stateLow_ = zl;
}

void GcmHash::Update(std::span<const std::uint8_t> bytes) {
    std::size_t used = 0;
    if (partialLength_ > 0) {
        const std::size_t take = std::min(bytes.size(), partial_.size() - partialLength_);
        memcpy(partial_.data() + partialLength_, bytes.data(), take);
        partialLength_ += take;
        used = take;
        if (partialLength_ < partial_.size()) {
            return;
        }
        MultiplyInto(partial_.data());
        partialLength_ = 0;
    }
    for (; bytes.size() - used >= 16; used += 16) {
        MultiplyInto(bytes.data() + used);
    }
    partialLength_ = bytes.size() - used;
    if (partialLength_ > 0) {
        memcpy(partial_.data(), bytes.data() + used, partialLength_);
    }
}

GcmHash::Block GcmHash::Finish(std::uint64_t aadBytes, std::uint64_t textBytes) {
    if (partialLength_ > 0) {
        std::fill(partial_.begin() + static_cast<std::ptrdiff_t>(partialLength_), partial_.end(),
                  0);
        MultiplyInto(partial_.data());
        partialLength_ = 0;
    }
    Block lengths{};
    StoreBigEndian(aadBytes * 8, lengths.data());
    StoreBigEndian(textBytes * 8, lengths.data() + 8);
    MultiplyInto(lengths.data());
    Block result{};
    StoreBigEndian(stateHigh_, result.data());
    StoreBigEndian(stateLow_, result.data() + 8);
    return result;
}

}  // namespace mirebolt::platform
