#include "base/replay_stream.h"

#include <algorithm>
#include <cstring>

namespace mirebolt::platform {

Result<std::size_t> ReplayStream::Read(std::span<std::uint8_t> out) {
    std::size_t done = 0;
    if (used_ < head_.size()) {
        done = std::min(out.size(), head_.size() - used_);
        std::memcpy(out.data(), head_.data() + used_, done);
        used_ += done;
    }
    if (done == out.size()) {
        return done;
    }
    ASSIGN_OR_RETURN(std::size_t more, rest_.Read(out.subspan(done)));
    return done + more;
}

}  // namespace mirebolt::platform
