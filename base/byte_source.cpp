#include "base/byte_source.h"

#include <cerrno>

#include "base/system_error.h"

namespace mirebolt::platform {

Status MemorySource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (offset > bytes_.size() || out.size() > bytes_.size() - offset) {
        return SystemFailure(EIO);
    }
    if (!out.empty()) {
        std::memcpy(out.data(), bytes_.data() + offset, out.size());
    }
    return {};
}

}  // namespace mirebolt::platform
