#pragma once

#include <cstdint>
#include <span>

#include "base/result.h"

namespace mirebolt::platform {

// Page-granular memory for plaintext on its way through the program: kept out of core dumps and
// overwritten with zeros over its whole allocation before it is given back.
class PrivateBuffer {
  public:
    static Result<PrivateBuffer> Allocate(std::uint64_t size);
    PrivateBuffer() = default;  // holds nothing

    PrivateBuffer(PrivateBuffer&& other) noexcept;
    PrivateBuffer& operator=(PrivateBuffer&& other) noexcept;
    PrivateBuffer(const PrivateBuffer&) = delete;
    PrivateBuffer& operator=(const PrivateBuffer&) = delete;
    ~PrivateBuffer();

    std::span<std::uint8_t> bytes() const { return {data_, size_}; }
    void Release();

  private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;
};

}  // namespace mirebolt::platform
