#include "cms/cipher_in_place.h"

#include <secerr.h>

#include "nss/error_text.h"

namespace mirebolt::platform {

Status CipherInPlace(PK11Context* context, std::span<std::uint8_t> blocks) {
    int produced = 0;
    if (PK11_CipherOp(context, blocks.data(), &produced, static_cast<int>(blocks.size()),
                      blocks.data(), static_cast<int>(blocks.size())) != SECSuccess) {
        return NssFailure();
    }
    if (static_cast<std::size_t>(produced) != blocks.size()) {
        return NssFailure(SEC_ERROR_LIBRARY_FAILURE);
    }
    return {};
}

}  // namespace mirebolt::platform
