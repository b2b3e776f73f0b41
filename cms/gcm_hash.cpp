#include "cms/gcm_hash.h"

#include <string.h>

#include <algorithm>

namespace mirebolt::platform {

namespace {

using gcm::FieldElement;

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

FieldElement LoadElement(const std::uint8_t* bytes) {
    return {LoadBigEndian(bytes), LoadBigEndian(bytes + 8)};
}

FieldElement Added(FieldElement a, FieldElement b) {
    return {a.high ^ b.high, a.low ^ b.low};
}

}  // namespace

GcmHash::GcmHash(const Block& hashKey, Multiplier multiplier)
    : carryLess_(multiplier == Multiplier::Fastest && CarryLessAvailable()) {
    powers_[0] = LoadElement(hashKey.data());
    for (int i = 1; i < 4; ++i) {
        powers_[i] = Multiply(powers_[i - 1], powers_[0]);
    }
}

GcmHash::~GcmHash() {
    explicit_bzero(powers_, sizeof powers_);
    explicit_bzero(&state_, sizeof state_);
    explicit_bzero(partial_.data(), partial_.size());
}

bool GcmHash::CarryLessAvailable() {
    return gcm::CarryLessAvailable();
}

FieldElement GcmHash::Multiply(FieldElement a, FieldElement b) const {
    return carryLess_ ? gcm::MultiplyCarryLess(a, b) : gcm::MultiplyPortable(a, b);
}

// H^exponent by squaring; the exponent is a count of blocks, not a secret.
FieldElement GcmHash::Power(std::uint64_t exponent) const {
    FieldElement result{std::uint64_t{1} << 63, 0};  // the field's one
    FieldElement square = powers_[0];
    for (; exponent != 0; exponent >>= 1) {
        if ((exponent & 1) != 0) {
            result = Multiply(result, square);
        }
        square = Multiply(square, square);
    }
    return result;
}

void GcmHash::Absorb(const std::uint8_t* blocks, std::size_t count) {
    if (carryLess_) {
        gcm::AbsorbCarryLess(state_, powers_, blocks, count);
        return;
    }
    for (; count > 0; --count, blocks += 16) {
        state_ = gcm::MultiplyPortable(Added(state_, LoadElement(blocks)), powers_[0]);
    }
}

void GcmHash::AbsorbPadded(std::span<const std::uint8_t> bytes) {
    const std::size_t whole = bytes.size() / 16;
    Absorb(bytes.data(), whole);
    const std::size_t rest = bytes.size() % 16;
    if (rest > 0) {
        Block last{};
        memcpy(last.data(), bytes.data() + whole * 16, rest);
        Absorb(last.data(), 1);
        explicit_bzero(last.data(), last.size());
    }
}

void GcmHash::Update(std::span<const std::uint8_t> bytes) {
    textBytes_ += bytes.size();
    std::size_t used = 0;
    if (partialLength_ > 0) {
        const std::size_t take = std::min(bytes.size(), partial_.size() - partialLength_);
        memcpy(partial_.data() + partialLength_, bytes.data(), take);
        partialLength_ += take;
        used = take;
        if (partialLength_ < partial_.size()) {
            return;
        }
        Absorb(partial_.data(), 1);
        partialLength_ = 0;
    }
    const std::size_t whole = (bytes.size() - used) / 16;
    Absorb(bytes.data() + used, whole);
    used += whole * 16;
    partialLength_ = bytes.size() - used;
    if (partialLength_ > 0) {
        memcpy(partial_.data(), bytes.data() + used, partialLength_);
    }
}

GcmHash::Block GcmHash::Finish(std::span<const std::uint8_t> additionalData) {
    AbsorbPadded(std::span<const std::uint8_t>(partial_.data(), partialLength_));
    partialLength_ = 0;
    if (!additionalData.empty()) {
        const FieldElement textShare = state_;
        state_ = {};
        AbsorbPadded(additionalData);
        state_ = Added(Multiply(state_, Power((textBytes_ + 15) / 16)), textShare);
    }
    Block lengths{};
    StoreBigEndian(static_cast<std::uint64_t>(additionalData.size()) * 8, lengths.data());
    StoreBigEndian(textBytes_ * 8, lengths.data() + 8);
    Absorb(lengths.data(), 1);
    Block result{};
    StoreBigEndian(state_.high, result.data());
    StoreBigEndian(state_.low, result.data() + 8);
    return result;
}

}  // namespace mirebolt::platform
