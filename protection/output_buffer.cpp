#include "protection/output_buffer.h"

#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <utility>

#include "platform/error_text.h"

namespace mirebolt::protection {

Result<OutputBuffer> OutputBuffer::Allocate(std::uint64_t size, Holds holds) {
    OutputBuffer buffer;
    buffer.holds_ = holds;
    if (size == 0) {
        return buffer;
    }
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    if (size > std::numeric_limits<std::size_t>::max() - page) {
        return platform::SystemFailure(ENOMEM);
    }
    const auto mapped = static_cast<std::size_t>((size + page - 1) / page * page);
    void* memory = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        return platform::SystemFailure(errno);
    }
    // Both kinds hold plaintext at some time: encryption reads the content into the buffer and
    // encrypts it there.
    ::madvise(memory, mapped, MADV_DONTDUMP);
    buffer.data_ = static_cast<std::uint8_t*>(memory);
    buffer.size_ = static_cast<std::size_t>(size);
    buffer.mapped_ = mapped;
    return buffer;
}

OutputBuffer::OutputBuffer(OutputBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)),
      holds_(other.holds_) {}

OutputBuffer& OutputBuffer::operator=(OutputBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
        holds_ = other.holds_;
    }
    return *this;
}

OutputBuffer::~OutputBuffer() { Release(); }

void OutputBuffer::Release() {
    if (data_ == nullptr) {
        return;
    }
    if (holds_ == Holds::PlainText) {
        explicit_bzero(data_, mapped_);
    }
    ::munmap(std::exchange(data_, nullptr), std::exchange(mapped_, 0));
    size_ = 0;
}

}  // namespace mirebolt::protection
