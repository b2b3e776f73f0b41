#include "nss/error_text.h"

#include <prerror.h>
#include <secerr.h>
#include <secport.h>

#include <cstring>

#include "asn1/malformed.h"
#include "base/system_error.h"
#include "nss/nss_runtime.h"

namespace mirebolt::platform {

// The parsers below NSS's room give malformed bytes NSS's code as a plain number.
static_assert(kMalformedCode == static_cast<std::uint32_t>(SEC_ERROR_BAD_DER));

bool NoPasswordGiven(const Failure& failure) {
    return failure.code == static_cast<std::uint32_t>(SEC_ERROR_USER_CANCELLED);
}

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
    return SystemErrorText(code);
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

}  // namespace mirebolt::platform
