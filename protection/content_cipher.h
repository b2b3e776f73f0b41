#pragma once

#include "nss/cms_algorithms.h"

namespace mirebolt::protection {

// The cipher that protects a message's content, chosen by the legacy-cipher check box.
enum class ContentCipher {
    Aes256Cbc,     // the default
    TripleDesCbc,  // DES-EDE3 in CBC mode, for readers that know nothing newer
};

// The platform's algorithm for the person's choice.
constexpr platform::ContentAlgorithm AlgorithmFor(ContentCipher cipher) {
    return cipher == ContentCipher::TripleDesCbc ? platform::ContentAlgorithm::DesEde3Cbc
                                                 : platform::ContentAlgorithm::Aes256Cbc;
}

constexpr ContentCipher CipherForLegacyChoice(bool legacyTicked) {
    return legacyTicked ? ContentCipher::TripleDesCbc : ContentCipher::Aes256Cbc;
}

}  // namespace mirebolt::protection
