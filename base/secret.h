#pragma once

#include <cstddef>
#include <string_view>

namespace mirebolt::platform {

// A password or PIN. It cannot be copied, a move leaves the source empty, and every buffer it
// ever held is wiped before it goes back to the allocator, growing included: no copy of the
// secret outlives the object that carries it.
class Secret {
  public:
    Secret() = default;
    explicit Secret(std::string_view text);
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret();

    // Adds one character, as a prompt reads them.
    void push_back(char c);
    // Wipes the text; the secret is empty afterwards.
    void Clear();

    // Always terminated by a NUL, for the C interfaces that take the secret.
    const char* c_str() const { return data_ != nullptr ? data_ : ""; }
    std::string_view view() const { return {c_str(), size_}; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

  private:
    void Reserve(std::size_t capacity);
    void Release();

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;  // bytes allocated, the terminating NUL included
};

}  // namespace mirebolt::platform
