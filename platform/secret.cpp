#include "platform/secret.h"

#include <string.h>

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

// Moves the text into a new buffer, wiping the old one before it is given back.
void Secret::Reserve(std::size_t capacity) {
    char* grown = static_cast<char*>(::operator new(capacity));
    memset(grown, 0, capacity);
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
        ::operator delete(data_);
    }
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
}

}  // namespace mirebolt::platform
