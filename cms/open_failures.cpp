#include "cms/open_failures.h"

#include <secerr.h>

#include "nss/error_text.h"

namespace mirebolt::platform {

Failure NoEncryptedContent() {
    return NssFailure(SEC_ERROR_BAD_DATA,
                      "The message holds no encrypted content, so there is nothing to decrypt.");
}

Failure BadPadding() {
    return NssFailure(SEC_ERROR_BAD_DATA,
                      "The decrypted content does not end as it must (bad padding): the message is "
                      "damaged, or its key is not the one it was made with.");
}

Failure TamperedMessage() {
    return NssFailure(SEC_ERROR_BAD_SIGNATURE,
                      "The message was changed after it was encrypted: its authentication tag does "
                      "not match.");
}

Failure BytesAfterMessage() {
    return NssFailure(SEC_ERROR_EXTRA_INPUT,
                      "The file goes on after the end of the encrypted message: it is damaged, or "
                      "something was added to it.");
}

Failure NotEncryptedMessage(std::string_view typeName) {
    return NssFailure(
        SEC_ERROR_UNSUPPORTED_MESSAGE_TYPE,
        "The file is a message of type " + std::string(typeName) + ", not an encrypted one.");
}

// Bytes that are no message at all: the code of malformed bytes, which a damaged message has too.
Failure NotAMessage() {
    return NssFailure(SEC_ERROR_BAD_DER, "The file is not an encrypted message.");
}

Failure NotPlainData(std::string_view typeName) {
    return NssFailure(SEC_ERROR_UNSUPPORTED_MESSAGE_TYPE,
                      "The encrypted content is of type " + std::string(typeName) +
                          ", not plain data, which this program cannot use.");
}

Failure UnsupportedContentCipher(std::string_view cipherName) {
    return NssFailure(SEC_ERROR_INVALID_ALGORITHM, "The content was encrypted with " +
                                                       std::string(cipherName) +
                                                       ", which this program cannot decrypt.");
}

Failure UnsupportedMessageFeature(std::string_view what) {
    return NssFailure(SEC_ERROR_INVALID_ALGORITHM,
                      "The message " + std::string(what) + ", which this program cannot use.");
}

Failure KeyNotUnwrapped() {
    return NssFailure(SEC_ERROR_BAD_DATA,
                      "The content key meant for you could not be recovered from the message: it "
                      "is damaged, or was made for another key.");
}

Failure ContentTooLarge() {
    return NssFailure(SEC_ERROR_OUTPUT_LEN);
}

}  // namespace mirebolt::platform
