#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/byte_stream.h"

namespace mirebolt::protection {

// Armours a DER or BER message as PEM on its way to another sink: a "-----BEGIN CMS-----" line
// (or another label's), base64 in lines of 64 characters, and the END line, which Finish writes.
class PemSink : public platform::ByteSink {
  public:
    explicit PemSink(platform::ByteSink& inner, std::string label = "CMS")
        : inner_(inner), label_(std::move(label)) {}
    Status Write(std::span<const std::uint8_t> bytes) override;
    // Encodes what is left and ends the block.
    Status Finish();

  private:
    Status Emit(std::string& text);

    platform::ByteSink& inner_;
    std::string label_;
    bool begun_ = false;
    std::array<std::uint8_t, 3> pending_{};
    std::size_t pendingCount_ = 0;
    std::size_t lineLength_ = 0;
};

}  // namespace mirebolt::protection
