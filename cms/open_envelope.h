#pragma once

#include <cstdint>

#include "base/byte_source.h"
#include "base/byte_stream.h"
#include "base/result.h"
#include "nss/key_access.h"
#include "nss/personal_store.h"

namespace mirebolt::platform {

// Decrypts one enveloped-data or authenticated-enveloped-data message, read front to back from
// `message` in one pass and in constant memory, with a private key of the personal store, asking
// `prompt` (which may be null: then no key that needs a password is used) for a password or PIN.
// `randomAccess` is the same bytes where they can be read at any offset (a file), so that what
// is not needed is skipped and lengths beyond the end fail at once; null for a pipe. Content goes
// to `content` piece by piece as it is decrypted, through a private buffer, and counts only when
// this succeeds: the whole message read, its padding or tag checked and nothing found after it.
// On failure the caller discards what `content` got. A wrong password is SEC_ERROR_BAD_PASSWORD
// and a cancelled prompt SEC_ERROR_USER_CANCELLED, told apart from SEC_ERROR_NOT_A_RECIPIENT. A
// failure of the source keeps its own origin; every other failure arises from the message.
Result<std::uint64_t> OpenEnvelope(ByteStream& message, ByteSource* randomAccess,
                                   const PersonalStore& store, KeyAccessPrompt* prompt,
                                   ByteSink& content);

}  // namespace mirebolt::platform
