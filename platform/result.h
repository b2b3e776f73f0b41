#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace mirebolt {

// Why an operation failed: the platform's error code (an NSS error number as a 32-bit
// unsigned value, or an errno value) and a text for the person who has to read it.
struct Failure {
    std::uint32_t code = 0;
    std::string text;
};

// A value or the failure that prevented it. Failures travel as results, never as exceptions.
template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::move(value)) {}
    Result(Failure failure) : state_(std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const Failure& failure() const { return std::get<1>(state_); }

  private:
    std::variant<T, Failure> state_;
};

// Success or failure of an operation that gives nothing back.
class [[nodiscard]] Status {
  public:
    Status() = default;
    Status(Failure failure) : failed_(true), failure_(std::move(failure)) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const Failure& failure() const { return failure_; }

  private:
    bool failed_ = false;
    Failure failure_;
};

}  // namespace mirebolt
