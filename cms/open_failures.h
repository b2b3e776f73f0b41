#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace mirebolt::platform {

// The failures of opening a message, each with its error code and a text that says what
// happened. No text ever holds any of the content.
Failure NoEncryptedContent();
Failure BadPadding();
Failure TamperedMessage();
Failure BytesAfterMessage();
Failure NotEncryptedMessage(std::string_view typeName);
Failure NotAMessage();
Failure NotPlainData(std::string_view typeName);
Failure UnsupportedContentCipher(std::string_view cipherName);
Failure UnsupportedMessageFeature(std::string_view what);
Failure KeyNotUnwrapped();
Failure ContentTooLarge();

}  // namespace mirebolt::platform
