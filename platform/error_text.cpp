#include "platform/error_text.h"

#include <prerror.h>
#include <secerr.h>
#include <secport.h>

#include <cstring>

#include "platform/nss_runtime.h"

namespace mirebolt::platform {

std::string PlatformErrorText(std::uint32_t code) {
    const auto signedCode = static_cast<std::int32_t>(code);
    if (signedCode < 0) {
        // NSS registers its texts with NSPR when it starts.
        if (!NssRuntime::EnsureStarted()) {
            return {};
        }
        const char* text = PR_ErrorToString(signedCode, PR_LANGUAGE_I_DEFAULT);
        if (text == nullptr || std::strncmp(text, "Unknown code", 12) == 0) {
            return {};
        }
        return text;
    }
    if (signedCode == 0) {
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

Failure NssFailure() {
    return NssFailure(PORT_GetError());
}

Failure NssFailure(int nssError) {
    const auto code = static_cast<std::uint32_t>(nssError);
    return Failure{code, PlatformErrorText(code)};
}

Failure NssFailure(int nssError, std::string text) {
    return Failure{static_cast<std::uint32_t>(nssError), std::move(text)};
}

Failure Malformed() {
    return NssFailure(SEC_ERROR_BAD_DER);
}

Failure SystemFailure(int error) {
    const auto code = static_cast<std::uint32_t>(error);
    return Failure{code, PlatformErrorText(code)};
}

}  // namespace mirebolt::platform
