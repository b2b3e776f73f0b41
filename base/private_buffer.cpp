#include "base/private_buffer.h"

#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <utility>

#include "base/system_error.h"

namespace mirebolt::platform {

Result<PrivateBuffer> PrivateBuffer::Allocate(std::uint64_t size) {
    PrivateBuffer buffer;
    if (size == 0) {
        return buffer;
    }
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    if (size > std::numeric_limits<std::size_t>::max() / 2) {
        return ArisingFrom(FailureOrigin::Memory, SystemFailure(ENOMEM));
    }
    const auto mapped = static_cast<std::size_t>((size + page - 1) / page * page);
    void* memory =
        ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        return ArisingFrom(FailureOrigin::Memory, SystemFailure(errno));
    }
    ::madvise(memory, mapped, MADV_DONTDUMP);
    buffer.data_ = static_cast<std::uint8_t*>(memory);
    buffer.size_ = static_cast<std::size_t>(size);
    buffer.mapped_ = mapped;
    return buffer;
}

PrivateBuffer::PrivateBuffer(PrivateBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

PrivateBuffer& PrivateBuffer::operator=(PrivateBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

PrivateBuffer::~PrivateBuffer() {
    Release();
}

void PrivateBuffer::Release() {
    if (data_ == nullptr) {
        return;
    }
    explicit_bzero(data_, mapped_);
    ::munmap(std::exchange(data_, nullptr), std::exchange(mapped_, 0));
    size_ = 0;
}

}  // namespace mirebolt::platform
