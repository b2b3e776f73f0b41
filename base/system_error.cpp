#include "base/system_error.h"

#include <cstring>

namespace mirebolt::platform {

std::string SystemErrorText(std::uint32_t code) {
    const auto signedCode = static_cast<std::int32_t>(code);
    if (signedCode <= 0) {
        return {};
    }
    char buffer[256];
    // The GNU strerror_r returns a pointer to the text, which may or may not be the buffer.
    const char* text = strerror_r(signedCode, buffer, sizeof buffer);
    if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0) {
        return {};
    }
    return text;
}

Failure SystemFailure(int error) {
    const auto code = static_cast<std::uint32_t>(error);
    return Failure{code, SystemErrorText(code)};
}

}  // namespace mirebolt::platform
