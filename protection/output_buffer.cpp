#include "protection/output_buffer.h"

#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <utility>

#include "platform/error_text.h"

namespace mirebolt::protection {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Maps `length` bytes starting on a huge-page boundary, so that the kernel can back the
// buffer with huge pages: faulting in a large buffer page by page costs more than encrypting it.
void* MapAligned(std::size_t length) {
    const std::size_t reserved = length + kHugePage;
    void* raw =
        ::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        return MAP_FAILED;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
    if (aligned > start) {
        ::munmap(raw, aligned - start);
    }
    const std::uintptr_t end = start + reserved;
    if (end > aligned + length) {
        ::munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
    }
    return reinterpret_cast<void*>(aligned);
}

}  // namespace

Result<OutputBuffer> OutputBuffer::Allocate(std::uint64_t size, Holds holds) {
    OutputBuffer buffer;
    buffer.holds_ = holds;
    if (size == 0) {
        return buffer;
    }
    const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    if (size > std::numeric_limits<std::size_t>::max() / 2) {
        return platform::SystemFailure(ENOMEM);
    }
    const auto mapped = static_cast<std::size_t>((size + page - 1) / page * page);
    void* memory = MapAligned(mapped);
    if (memory == MAP_FAILED) {
        return platform::SystemFailure(errno);
    }
    // Both kinds hold plaintext at some time: encryption reads the content into the buffer and
    // encrypts it there.
    ::madvise(memory, mapped, MADV_DONTDUMP);
    if (mapped >= kHugePage) {
        ::madvise(memory, mapped, MADV_HUGEPAGE);
        // Faults the whole buffer in at once; older kernels lack it and fault on first use.
        ::madvise(memory, mapped, MADV_POPULATE_WRITE);
    }
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

OutputBuffer::~OutputBuffer() {
    Release();
}

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
