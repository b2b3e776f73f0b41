#pragma once

#include <cstdint>
#include <span>

#include "platform/byte_source.h"
#include "platform/byte_stream.h"
#include "platform/key_access.h"
#include "platform/personal_store.h"
#include "platform/result.h"

namespace mirebolt::platform {

// The most content the message can give: the length of its encrypted content, found from the
// message's structure alone. Fails, as opening would, for anything that is not one whole
// enveloped-data or authenticated-enveloped-data message: other content types, damaged or
// truncated messages, bytes after it, a message without encrypted content. A failure of the
// source keeps its own origin; every other failure of these three arises from the message.
Result<std::uint64_t> OpenedSizeBound(ByteSource& message);

// Decrypts the message with a private key of the personal store, asking `prompt` (which may be
// null: then no key that needs a password is used) for a password or PIN, and gives the
// content's length. Content counts only when the whole message was read and checked; on
// failure `out` is wiped. A wrong password is SEC_ERROR_BAD_PASSWORD and a cancelled prompt
// SEC_ERROR_USER_CANCELLED, told apart from SEC_ERROR_NOT_A_RECIPIENT.
Result<std::uint64_t> OpenEnvelope(ByteSource& message, const PersonalStore& store,
                                   KeyAccessPrompt* prompt, std::span<std::uint8_t> out);

// The same for a message read strictly front to back (a pipe, standard input) in constant
// memory: content goes to `content` piece by piece as it is decrypted, and counts only when
// this succeeds, after the whole message was read, its padding or tag checked and nothing found
// after it. On failure the caller discards what `content` got.
Result<std::uint64_t> OpenEnvelopeStream(ByteStream& message, const PersonalStore& store,
                                         KeyAccessPrompt* prompt, ByteSink& content);

}  // namespace mirebolt::platform
