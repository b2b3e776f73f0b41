#include "base/secret.h"

#include <string.h>
#include <sys/mman.h>

#include <new>
#include <utility>

namespace mirebolt::platform {

Secret::Secret(std::string_view text) {
    Reserve(text.size() + 1);
    memcpy(data_, text.data(), text.size());
    size_ = text.size();
    data_[size_] = '\0';
}

Secret::Secret(Secret&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

Secret& Secret::operator=(Secret&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

Secret::~Secret() {
    Release();
}

void Secret::push_back(char c) {
    if (size_ + 2 > capacity_) {
        Reserve(capacity_ < 32 ? 32 : 2 * capacity_);
    }
    data_[size_++] = c;
    data_[size_] = '\0';
}

void Secret::Clear() {
    if (data_ != nullptr) {
        explicit_bzero(data_, capacity_);
    }
    size_ = 0;
}

// Moves the text into a new buffer, wiping the old one before it is given back. The buffers
// are pages of their own, kept out of core dumps like every buffer that holds plaintext.
void Secret::Reserve(std::size_t capacity) {
    void* memory =
        ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        throw std::bad_alloc();  // as the allocator would: the program cannot go on without it
    }
    ::madvise(memory, capacity, MADV_DONTDUMP);
    char* grown = static_cast<char*>(memory);
    if (data_ != nullptr) {
        memcpy(grown, data_, size_);
    }
    const std::size_t size = size_;
    Release();
    data_ = grown;
    size_ = size;
    capacity_ = capacity;
}

void Secret::Release() {
    if (data_ != nullptr) {
        explicit_bzero(data_, capacity_);
        ::munmap(data_, capacity_);
    }
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

}  // namespace mirebolt::platform
