#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "base/byte_stream.h"

namespace mirebolt::platform {

// Gives `head` (from `skip` on) first, then the rest of `rest`: bytes read ahead to learn
// something about a stream, put back.
class ReplayStream final : public ByteStream {
  public:
    ReplayStream(std::vector<std::uint8_t> head, std::size_t skip, ByteStream& rest)
        : head_(std::move(head)), used_(skip), rest_(rest) {}
    Result<std::size_t> Read(std::span<std::uint8_t> out) override;

  private:
    std::vector<std::uint8_t> head_;
    std::size_t used_;
    ByteStream& rest_;
};

}  // namespace mirebolt::platform
