#pragma once

// The object identifiers and cipher facts of the messages we write and read, in one place. The
// header carries no NSS types: PKCS #11 numbers are plain unsigned longs here, checked against
// NSS's own names where the table is defined.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "asn1/object_identifier.h"

namespace mirebolt::platform {

namespace oid {
// Message types.
inline constexpr std::string_view kData = "1.2.840.113549.1.7.1";
inline constexpr std::string_view kSignedData = "1.2.840.113549.1.7.2";
inline constexpr std::string_view kEnvelopedData = "1.2.840.113549.1.7.3";
inline constexpr std::string_view kDigestedData = "1.2.840.113549.1.7.5";
inline constexpr std::string_view kEncryptedData = "1.2.840.113549.1.7.6";
inline constexpr std::string_view kAuthenticatedData = "1.2.840.113549.1.9.16.1.2";
inline constexpr std::string_view kCompressedData = "1.2.840.113549.1.9.16.1.9";
inline constexpr std::string_view kAuthEnvelopedData = "1.2.840.113549.1.9.16.1.23";
// Key transport.
inline constexpr std::string_view kRsaEncryption = "1.2.840.113549.1.1.1";
inline constexpr std::string_view kRsaesOaep = "1.2.840.113549.1.1.7";
inline constexpr std::string_view kMgf1 = "1.2.840.113549.1.1.8";
inline constexpr std::string_view kPSpecified = "1.2.840.113549.1.1.9";
// Key agreement.
inline constexpr std::string_view kEcPublicKey = "1.2.840.10045.2.1";
// Public keys that cannot receive a message, named in texts about them.
inline constexpr std::string_view kRsassaPss = "1.2.840.113549.1.1.10";
inline constexpr std::string_view kDsa = "1.2.840.10040.4.1";
inline constexpr std::string_view kX25519 = "1.3.101.110";
inline constexpr std::string_view kX448 = "1.3.101.111";
inline constexpr std::string_view kEd25519 = "1.3.101.112";
inline constexpr std::string_view kEd448 = "1.3.101.113";
}  // namespace oid

// Content-encryption algorithms.
enum class ContentAlgorithm {
    Aes128Cbc,
    Aes192Cbc,
    Aes256Cbc,
    DesEde3Cbc,
    Aes128Gcm,
    Aes192Gcm,
    Aes256Gcm,
};

enum class ContentMode { Cbc, Gcm };

struct ContentAlgorithmFacts {
    ContentAlgorithm algorithm;
    std::string_view name;  // as the person reads it: "AES-256-CBC"
    std::string_view oid;
    ContentMode mode;
    unsigned long mechanism;        // the plain cipher: CKM_AES_CBC, CKM_DES3_CBC, CKM_AES_GCM
    unsigned long keyGenMechanism;  // what makes a content key of this kind
    std::size_t keyBytes;
    std::size_t blockBytes;
    std::size_t ivBytes;  // for GCM: the usual nonce length, written by us and most peers
};

const ContentAlgorithmFacts& FactsOf(ContentAlgorithm algorithm);
// The CBC cipher of `facts` with NSS removing the padding: how a content key is unwrapped and
// how CBC content is decrypted.
unsigned long PaddedMechanism(const ContentAlgorithmFacts& facts);
// The algorithm named by an object identifier's content octets, or null.
const ContentAlgorithmFacts* FindContentAlgorithm(std::span<const std::uint8_t> oidContent);

// Hash functions, as OAEP and the key-derivation functions use them.
struct HashFacts {
    std::string_view name;  // "SHA-256"
    std::string_view oid;
    unsigned long mechanism;  // CKM_SHA256
    unsigned long mgf1;       // CKG_MGF1_SHA256
};
const HashFacts* FindHash(std::span<const std::uint8_t> oidContent);
const HashFacts& Sha1Facts();
const HashFacts& Sha256Facts();

// The key wraps of key agreement: AES's (RFC 3394), and the CMS Triple DES wrap (RFC 3217) for
// Triple DES content keys, which NSS has no mechanism for: its key-encryption key only decrypts,
// and the unwrap is the reader's own.
struct KeyWrapFacts {
    std::string_view name;  // "id-aes256-wrap"
    std::string_view oid;
    std::size_t kekBytes;
    unsigned long kekMechanism;  // CKM_NSS_AES_KEY_WRAP, or CKM_DES3_CBC for the Triple DES wrap
};
const KeyWrapFacts* FindKeyWrap(std::span<const std::uint8_t> oidContent);
// The wrap our key-agreement entries use.
const KeyWrapFacts& Aes256WrapFacts();

// ECDH key-agreement schemes with the X9.63 key-derivation function (RFC 5753).
struct KdfSchemeFacts {
    std::string_view name;  // "dhSinglePass-stdDH-sha256kdf-scheme"
    std::string_view oid;
    unsigned long kdf;   // CKD_SHA256_KDF
    unsigned long hash;  // CKM_SHA256: the KDF's hash, for a KDF run outside the token
    bool cofactor;
};
const KdfSchemeFacts* FindKdfScheme(std::span<const std::uint8_t> oidContent);

// Named elliptic curves.
struct CurveFacts {
    std::string_view name;  // "P-256"
    std::string_view oid;
    std::size_t fieldBytes;               // of a coordinate: 32 for P-256
    const KdfSchemeFacts* writtenScheme;  // what we write for it: the KDF's hash grows with it
};
const CurveFacts* FindCurve(std::span<const std::uint8_t> oidContent);

// The name of a message type, for the person: "signed data"; empty for one we do not know.
std::string_view MessageTypeName(std::span<const std::uint8_t> oidContent);

}  // namespace mirebolt::platform
