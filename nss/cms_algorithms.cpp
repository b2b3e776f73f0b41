#include "nss/cms_algorithms.h"

#include <pkcs11t.h>
// After pkcs11t.h, whose types it uses.
#include <pkcs11n.h>

#include <array>
#include <type_traits>

namespace mirebolt::platform {

static_assert(std::is_same_v<CK_ULONG, unsigned long>);

namespace {

// AES has 16-byte blocks in every key size; CBC takes a whole block as its IV, GCM a 12-byte
// nonce.
constexpr ContentAlgorithmFacts Aes(ContentAlgorithm algorithm, std::string_view name,
                                    std::string_view oid, ContentMode mode, std::size_t keyBytes) {
    const bool cbc = mode == ContentMode::Cbc;
    return ContentAlgorithmFacts{
        algorithm,       name,     oid, mode,           cbc ? CKM_AES_CBC : CKM_AES_GCM,
        CKM_AES_KEY_GEN, keyBytes, 16,  cbc ? 16u : 12u};
}

constexpr std::array kContentAlgorithms{
    Aes(ContentAlgorithm::Aes128Cbc, "AES-128-CBC", "2.16.840.1.101.3.4.1.2", ContentMode::Cbc, 16),
    Aes(ContentAlgorithm::Aes192Cbc, "AES-192-CBC", "2.16.840.1.101.3.4.1.22", ContentMode::Cbc,
        24),
    Aes(ContentAlgorithm::Aes256Cbc, "AES-256-CBC", "2.16.840.1.101.3.4.1.42", ContentMode::Cbc,
        32),
    ContentAlgorithmFacts{ContentAlgorithm::DesEde3Cbc, "Triple DES (DES-EDE3-CBC)",
                          "1.2.840.113549.3.7", ContentMode::Cbc, CKM_DES3_CBC, CKM_DES3_KEY_GEN,
                          24, 8, 8},
    Aes(ContentAlgorithm::Aes128Gcm, "AES-128-GCM", "2.16.840.1.101.3.4.1.6", ContentMode::Gcm, 16),
    Aes(ContentAlgorithm::Aes192Gcm, "AES-192-GCM", "2.16.840.1.101.3.4.1.26", ContentMode::Gcm,
        24),
    Aes(ContentAlgorithm::Aes256Gcm, "AES-256-GCM", "2.16.840.1.101.3.4.1.46", ContentMode::Gcm,
        32),
};

constexpr std::array kHashes{
    HashFacts{"SHA-1", "1.3.14.3.2.26", CKM_SHA_1, CKG_MGF1_SHA1},
    HashFacts{"SHA-224", "2.16.840.1.101.3.4.2.4", CKM_SHA224, CKG_MGF1_SHA224},
    HashFacts{"SHA-256", "2.16.840.1.101.3.4.2.1", CKM_SHA256, CKG_MGF1_SHA256},
    HashFacts{"SHA-384", "2.16.840.1.101.3.4.2.2", CKM_SHA384, CKG_MGF1_SHA384},
    HashFacts{"SHA-512", "2.16.840.1.101.3.4.2.3", CKM_SHA512, CKG_MGF1_SHA512},
};

constexpr std::array kKeyWraps{
    KeyWrapFacts{"id-aes128-wrap", "2.16.840.1.101.3.4.1.5", 16, CKM_NSS_AES_KEY_WRAP},
    KeyWrapFacts{"id-aes192-wrap", "2.16.840.1.101.3.4.1.25", 24, CKM_NSS_AES_KEY_WRAP},
    KeyWrapFacts{"id-aes256-wrap", "2.16.840.1.101.3.4.1.45", 32, CKM_NSS_AES_KEY_WRAP},
    KeyWrapFacts{"id-alg-CMS3DESwrap", "1.2.840.113549.1.9.16.3.6", 24, CKM_DES3_CBC},
};

constexpr std::array kKdfSchemes{
    KdfSchemeFacts{"dhSinglePass-stdDH-sha1kdf-scheme", "1.3.133.16.840.63.0.2", CKD_SHA1_KDF,
                   CKM_SHA_1, false},
    KdfSchemeFacts{"dhSinglePass-stdDH-sha224kdf-scheme", "1.3.132.1.11.0", CKD_SHA224_KDF,
                   CKM_SHA224, false},
    KdfSchemeFacts{"dhSinglePass-stdDH-sha256kdf-scheme", "1.3.132.1.11.1", CKD_SHA256_KDF,
                   CKM_SHA256, false},
    KdfSchemeFacts{"dhSinglePass-stdDH-sha384kdf-scheme", "1.3.132.1.11.2", CKD_SHA384_KDF,
                   CKM_SHA384, false},
    KdfSchemeFacts{"dhSinglePass-stdDH-sha512kdf-scheme", "1.3.132.1.11.3", CKD_SHA512_KDF,
                   CKM_SHA512, false},
    KdfSchemeFacts{"dhSinglePass-cofactorDH-sha1kdf-scheme", "1.3.133.16.840.63.0.3", CKD_SHA1_KDF,
                   CKM_SHA_1, true},
    KdfSchemeFacts{"dhSinglePass-cofactorDH-sha224kdf-scheme", "1.3.132.1.14.0", CKD_SHA224_KDF,
                   CKM_SHA224, true},
    KdfSchemeFacts{"dhSinglePass-cofactorDH-sha256kdf-scheme", "1.3.132.1.14.1", CKD_SHA256_KDF,
                   CKM_SHA256, true},
    KdfSchemeFacts{"dhSinglePass-cofactorDH-sha384kdf-scheme", "1.3.132.1.14.2", CKD_SHA384_KDF,
                   CKM_SHA384, true},
    KdfSchemeFacts{"dhSinglePass-cofactorDH-sha512kdf-scheme", "1.3.132.1.14.3", CKD_SHA512_KDF,
                   CKM_SHA512, true},
};

// As RFC 5753 pairs them: SHA-256 for P-256, SHA-384 for P-384, SHA-512 for P-521.
constexpr std::array kCurves{
    CurveFacts{"P-256", "1.2.840.10045.3.1.7", 32, &kKdfSchemes[2]},
    CurveFacts{"P-384", "1.3.132.0.34", 48, &kKdfSchemes[3]},
    CurveFacts{"P-521", "1.3.132.0.35", 66, &kKdfSchemes[4]},
};

// The rows the writer takes by position, checked where they stand.
static_assert(kHashes[2].name == "SHA-256" && kKeyWraps[2].name == "id-aes256-wrap");
static_assert(kCurves[0].writtenScheme->name == "dhSinglePass-stdDH-sha256kdf-scheme" &&
              kCurves[1].writtenScheme->name == "dhSinglePass-stdDH-sha384kdf-scheme" &&
              kCurves[2].writtenScheme->name == "dhSinglePass-stdDH-sha512kdf-scheme");

struct MessageType {
    std::string_view name;
    std::string_view oid;
};

constexpr std::array kMessageTypes{
    MessageType{"data", oid::kData},
    MessageType{"signed data", oid::kSignedData},
    MessageType{"enveloped data", oid::kEnvelopedData},
    MessageType{"digested data", oid::kDigestedData},
    MessageType{"encrypted data", oid::kEncryptedData},
    MessageType{"authenticated data", oid::kAuthenticatedData},
    MessageType{"compressed data", oid::kCompressedData},
    MessageType{"authenticated enveloped data", oid::kAuthEnvelopedData},
};

template <class Table>
auto FindByOid(const Table& table, std::span<const std::uint8_t> oidContent)
    -> decltype(&table[0]) {
    for (const auto& entry : table) {
        if (OidMatches(oidContent, entry.oid)) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

const ContentAlgorithmFacts& FactsOf(ContentAlgorithm algorithm) {
    for (const ContentAlgorithmFacts& facts : kContentAlgorithms) {
        if (facts.algorithm == algorithm) {
            return facts;
        }
    }
    return kContentAlgorithms[2];  // unreachable: every enumerator has a row
}

unsigned long PaddedMechanism(const ContentAlgorithmFacts& facts) {
    return facts.mechanism == CKM_DES3_CBC ? CKM_DES3_CBC_PAD : CKM_AES_CBC_PAD;
}

const ContentAlgorithmFacts* FindContentAlgorithm(std::span<const std::uint8_t> oidContent) {
    return FindByOid(kContentAlgorithms, oidContent);
}

const HashFacts* FindHash(std::span<const std::uint8_t> oidContent) {
    return FindByOid(kHashes, oidContent);
}

const HashFacts& Sha1Facts() {
    return kHashes[0];
}

const HashFacts& Sha256Facts() {
    return kHashes[2];
}

const KeyWrapFacts& Aes256WrapFacts() {
    return kKeyWraps[2];
}

const KeyWrapFacts* FindKeyWrap(std::span<const std::uint8_t> oidContent) {
    return FindByOid(kKeyWraps, oidContent);
}

const KdfSchemeFacts* FindKdfScheme(std::span<const std::uint8_t> oidContent) {
    return FindByOid(kKdfSchemes, oidContent);
}

const CurveFacts* FindCurve(std::span<const std::uint8_t> oidContent) {
    return FindByOid(kCurves, oidContent);
}

std::string_view MessageTypeName(std::span<const std::uint8_t> oidContent) {
    const MessageType* type = FindByOid(kMessageTypes, oidContent);
    return type != nullptr ? type->name : std::string_view();
}

}  // namespace mirebolt::platform
