#pragma once

#include <cstdint>
#include <span>

#include "platform/result.h"

namespace mirebolt::protection {

// Page-granular memory that receives a command's result, allocated once at the size asked for.
// A buffer for plaintext is kept out of core dumps and overwritten with zeros over its whole
// allocation before it is given back.
class OutputBuffer {
  public:
    enum class Holds { CipherText, PlainText };

    static Result<OutputBuffer> Allocate(std::uint64_t size, Holds holds);

    OutputBuffer(OutputBuffer&& other) noexcept;
    OutputBuffer& operator=(OutputBuffer&& other) noexcept;
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;
    ~OutputBuffer();

    std::span<std::uint8_t> bytes() const { return {data_, size_}; }
    void Release();

  private:
    OutputBuffer() = default;

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t mapped_ = 0;
    Holds holds_ = Holds::CipherText;
};

}  // namespace mirebolt::protection
