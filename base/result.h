#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace mirebolt {

// The step a failure arose in, so that a command can tell the person what went wrong without
// asking its parts afterwards.
enum class FailureOrigin : std::uint8_t {
    Work,         // the operation itself: a cipher, a key, the platform
    Input,        // reading the file or stream the command was given
    Store,        // opening the certificate and key store
    Message,      // the message read: damaged, of another kind, not for any key held
    Output,       // writing the output
    Memory,       // the memory the work goes through could not be had
    Interrupted,  // a signal stopped the command, which then ends the program: nothing to say
};

// Why an operation failed: the platform's error code (an NSS error number as a 32-bit
// unsigned value, or an errno value), a text for the person who has to read it, and where it
// arose.
struct Failure {
    std::uint32_t code = 0;
    std::string text;
    FailureOrigin origin = FailureOrigin::Work;
};

// `failure` as arising from `origin`, unless an earlier step already said where it arose: a
// failed read keeps being the input's while the message reader passes it on.
inline Failure ArisingFrom(FailureOrigin origin, Failure failure) {
    if (failure.origin == FailureOrigin::Work) {
        failure.origin = origin;
    }
    return failure;
}

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

// Early returns of a failure in one line each. `RETURN_IF_FAILED(step)` ends the calling
// function with the failure of a Status or Result; `ASSIGN_OR_RETURN(auto name, step)` gives
// the value of a Result to `name`, or ends the function with its failure.
#define RETURN_IF_FAILED(step)                             \
    do {                                                   \
        if (auto&& mireboltStep = (step); !mireboltStep) { \
            return mireboltStep.failure();                 \
        }                                                  \
    } while (false)

#define MIREBOLT_JOIN_NAMES(a, b) a##b
#define MIREBOLT_RESULT_NAME(line) MIREBOLT_JOIN_NAMES(mireboltResult, line)
#define ASSIGN_OR_RETURN(declaration, step) \
    ASSIGN_OR_RETURN_WITH(MIREBOLT_RESULT_NAME(__LINE__), declaration, step)
#define ASSIGN_OR_RETURN_WITH(result, declaration, step) \
    auto result = (step);                                \
    if (!result) {                                       \
        return result.failure();                         \
    }                                                    \
    declaration = std::move(*result)
