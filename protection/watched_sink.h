#pragma once

#include <cstdint>
#include <span>

#include "platform/byte_stream.h"

namespace mirebolt::protection {

// Remembers whether the sink failed, so that a streamed command reports the failure as the
// writing's rather than the message's.
class WatchedSink : public platform::ByteSink {
  public:
    explicit WatchedSink(platform::ByteSink& inner) : inner_(inner) {}

    Status Write(std::span<const std::uint8_t> bytes) override {
        Status written = inner_.Write(bytes);
        failed_ = failed_ || !written;
        return written;
    }
    bool failed() const { return failed_; }

  private:
    platform::ByteSink& inner_;
    bool failed_ = false;
};

}  // namespace mirebolt::protection
