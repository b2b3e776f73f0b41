#pragma once

#include <cstdint>
#include <span>

#include "platform/byte_source.h"
#include "platform/key_access.h"
#include "platform/personal_store.h"
#include "platform/result.h"

namespace mirebolt::platform {

// The most content the message can give: the length of its encrypted content, found from the
// message's structure alone. Fails, as opening would, for anything that is not one whole
// enveloped-data message: other content types, damaged or truncated messages, bytes after it.
Result<std::uint64_t> OpenedSizeBound(ByteSource& message);

// Decrypts the message with a private key of the personal store, asking `prompt` (which may be
// null: then no key that needs a password is used) for a password or PIN, and gives the
// content's length. Content counts only when the whole message decoded without error; on
// failure `out` is wiped. A wrong password is SEC_ERROR_BAD_PASSWORD and a cancelled prompt
// SEC_ERROR_USER_CANCELLED, told apart from SEC_ERROR_NOT_A_RECIPIENT.
Result<std::uint64_t> OpenEnvelope(ByteSource& message, const PersonalStore& store,
                                   KeyAccessPrompt* prompt, std::span<std::uint8_t> out);

}  // namespace mirebolt::platform
