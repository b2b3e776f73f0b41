#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "base/byte_stream.h"
#include "base/result.h"

namespace mirebolt::testing {

// A pipe's behaviour: every read gives fewer bytes than asked, in sizes that never line up
// with blocks or elements; `sizes` are taken in turn.
class TrickleStream final : public platform::ByteStream {
  public:
    static constexpr std::size_t kPipeSizes[] = {1, 7, 4093, 13, 65537, 3, 100003};

    explicit TrickleStream(std::span<const std::uint8_t> bytes,
                           std::span<const std::size_t> sizes = kPipeSizes)
        : bytes_(bytes), sizes_(sizes) {}

    Result<std::size_t> Read(std::span<std::uint8_t> out) override {
        const std::size_t wanted =
            std::min({out.size(), sizes_[turn_++ % sizes_.size()], bytes_.size() - at_});
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), wanted, out.begin());
        at_ += wanted;
        return wanted;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::span<const std::size_t> sizes_;
    std::size_t at_ = 0;
    std::size_t turn_ = 0;
};

}  // namespace mirebolt::testing
