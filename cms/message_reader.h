#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "asn1/ber_stream.h"
#include "asn1/message_armour.h"
#include "base/byte_stream.h"
#include "base/result.h"
#include "cms/content_decryptor.h"
#include "cms/recipient_entries.h"
#include "nss/cms_algorithms.h"

namespace mirebolt::platform {

// What a message's structure says, gathered as it is read.
struct MessageOutline {
    MessageForm form = MessageForm::Binary;
    bool indefiniteLengths = false;  // BER rather than DER
    bool authenticated = false;      // authenticated enveloped data (GCM)
    const ContentAlgorithmFacts* cipher = nullptr;
    std::vector<std::uint8_t> cipherParameter;  // the IV or the nonce
    // The recipient entries, counted; those kept are the first ones, for `info`, as long as
    // they stay small, and none where an opener takes them.
    std::uint64_t recipientCount = 0;
    std::vector<RecipientEntry> recipients;
    std::uint64_t encryptedBytes = 0;
};

// Decides, once the recipient entries and the cipher are known, how the content is decrypted.
class ContentOpener {
  public:
    virtual ~ContentOpener() = default;
    // Each recipient entry in message order, as it is read: the reader keeps none of them, so
    // the opener keeps what it needs.
    virtual void Consider(RecipientEntry entry) = 0;
    virtual Result<std::unique_ptr<ContentDecryptor>> Begin(const MessageOutline& outline) = 0;
};

// Reads one enveloped-data or authenticated-enveloped-data message front to back in one pass:
// DER or BER, PEM or S/MIME armour, chunked content. With an opener the content is decrypted
// as it comes and the message counts only when all of it was read, checked (padding or tag)
// and nothing follows; without one the content is passed over and only the structure checked.
// `source` is the input again when it has random access: then what is not needed is skipped,
// not read, and lengths beyond its end fail at once.
Result<MessageOutline> ReadMessage(ByteStream& input, ByteSource* source, ContentOpener* opener);

// The structure of a whole message held in a source, read with NSS started and its content
// skipped: nothing is decrypted.
Result<MessageOutline> ReadOutline(ByteSource& message);

}  // namespace mirebolt::platform
