#pragma once

namespace mirebolt::protection {

// The cipher that protects a message's content, chosen by the legacy-cipher check box.
enum class ContentCipher {
    Aes256Cbc,     // the default
    TripleDesCbc,  // DES-EDE3 in CBC mode, for readers that know nothing newer
};

// The cipher's object identifier in dotted form, as the message names it.
constexpr const char* ObjectIdentifier(ContentCipher cipher) {
    return cipher == ContentCipher::TripleDesCbc ? "1.2.840.113549.3.7" : "2.16.840.1.101.3.4.1.42";
}

constexpr ContentCipher CipherForLegacyChoice(bool legacyTicked) {
    return legacyTicked ? ContentCipher::TripleDesCbc : ContentCipher::Aes256Cbc;
}

}  // namespace mirebolt::protection
