#include "cms/recipient_entries.h"

#include "asn1/asn1_tags.h"
#include "asn1/ber_cursor.h"
#include "asn1/der_writer.h"
#include "asn1/malformed.h"
#include "cms/oaep_parameters.h"

namespace mirebolt::platform {

namespace {

// Peers wrap Triple DES content keys so; NSS has no mechanism for it.
constexpr std::string_view kTripleDesWrap = "1.2.840.113549.1.9.16.3.6";

// An encrypted key is as long as the recipient's RSA modulus: this takes keys up to 65536 bits,
// and the whole entry is held in memory and bounded anyway.
constexpr std::size_t kLargestEncryptedKey = 8 * 1024;

// Names are matched as the certificate's DER, and a streaming writer may give one indefinite
// lengths; names nest four levels, so this is far above any real one.
constexpr int kMaxNameDepth = 32;

// The element with its lengths definite and in their shortest form, as DER gives them. Sets
// `indefinite` when there were any.
Result<std::vector<std::uint8_t>> Definite(const BerElement& element, int depth, bool& indefinite) {
    if (!element.header.constructed()) {
        return der::Element(element.tag(), element.content);
    }
    if (depth == kMaxNameDepth) {
        return Malformed();
    }
    indefinite = indefinite || element.header.indefinite;
    std::vector<std::uint8_t> content;
    for (BerCursor children = BerCursor::Children(element); !children.empty();) {
        ASSIGN_OR_RETURN(const BerElement child, children.Next());
        ASSIGN_OR_RETURN(const std::vector<std::uint8_t> inner,
                         Definite(child, depth + 1, indefinite));
        der::Append(content, inner);
    }
    return der::Element(element.tag(), content);
}

std::vector<std::uint8_t> Copy(std::span<const std::uint8_t> bytes) {
    return {bytes.begin(), bytes.end()};
}

// IssuerAndSerialNumber ::= SEQUENCE { issuer Name, serialNumber INTEGER }
Result<RecipientIdentifier> IssuerAndSerial(const BerElement& sequence) {
    BerCursor fields = BerCursor::Children(sequence);
    ASSIGN_OR_RETURN(const BerElement issuer, fields.Next(tag::kSequence));
    ASSIGN_OR_RETURN(const std::span<const std::uint8_t> serial, fields.Primitive(tag::kInteger));
    RecipientIdentifier id;
    bool indefinite = false;
    Result<std::vector<std::uint8_t>> definite = Definite(issuer, 0, indefinite);
    id.issuer = definite && indefinite ? std::move(*definite) : Copy(issuer.whole);
    id.serial = Copy(serial);
    return id;
}

Result<RecipientIdentifier> KeyIdentifier(const BerElement& octets) {
    ASSIGN_OR_RETURN(const std::span<const std::uint8_t> bytes, PrimitiveContent(octets));
    RecipientIdentifier id;
    id.byKeyIdentifier = true;
    id.keyIdentifier = Copy(bytes);
    return id;
}

// AlgorithmIdentifier ::= SEQUENCE { algorithm OBJECT IDENTIFIER, parameters ANY OPTIONAL }
struct Algorithm {
    std::span<const std::uint8_t> oid;
    std::optional<BerElement> parameters;
};

Result<Algorithm> AlgorithmIn(const BerElement& sequence) {
    if (sequence.tag() != tag::kSequence) {
        return Malformed();
    }
    BerCursor fields = BerCursor::Children(sequence);
    Algorithm algorithm;
    ASSIGN_OR_RETURN(algorithm.oid, fields.Primitive(tag::kObjectIdentifier));
    if (!fields.empty()) {
        ASSIGN_OR_RETURN(algorithm.parameters, fields.Next());
    }
    return algorithm;
}

// The entry's RSAES-OAEP parameters, or why they cannot be used: this program gives no label.
void ReadOaepChoice(const std::optional<BerElement>& parameters, RecipientEntry& entry) {
    entry.oaepHash = &Sha1Facts();
    entry.mgfHash = &Sha1Facts();
    Result<OaepChoice> choice =
        ReadOaepParameters(parameters ? parameters->whole : std::span<const std::uint8_t>());
    if (!choice) {
        entry.unusable = choice.failure().text;
    } else if (!choice->label.empty()) {
        entry.unusable = "RSAES-OAEP with a label";
    } else {
        entry.oaepHash = choice->hash;
        entry.mgfHash = choice->mgfHash;
    }
}

// KeyTransRecipientInfo ::= SEQUENCE { version, rid, keyEncryptionAlgorithm, encryptedKey }
Result<RecipientEntry> KeyTransport(BerCursor fields) {
    RecipientEntry entry;
    entry.kind = RecipientKind::KeyTransport;
    RETURN_IF_FAILED(fields.Next(tag::kInteger));
    ASSIGN_OR_RETURN(const BerElement rid, fields.Next());
    if (rid.tag() == tag::kSequence) {
        ASSIGN_OR_RETURN(entry.id, IssuerAndSerial(rid));
    } else if (rid.tag() == tag::kContextPrimitive0) {
        ASSIGN_OR_RETURN(entry.id, KeyIdentifier(rid));
    } else {
        return Malformed();
    }
    ASSIGN_OR_RETURN(const BerElement algorithmElement, fields.Next(tag::kSequence));
    ASSIGN_OR_RETURN(const Algorithm algorithm, AlgorithmIn(algorithmElement));
    ASSIGN_OR_RETURN(const std::span<const std::uint8_t> key,
                     fields.Primitive(tag::kOctetString, kLargestEncryptedKey));
    entry.encryptedKey = Copy(key);

    if (OidMatches(algorithm.oid, oid::kRsaEncryption)) {
        entry.algorithm = "RSA (PKCS #1 v1.5)";
    } else if (OidMatches(algorithm.oid, oid::kRsaesOaep)) {
        entry.oaep = true;
        ReadOaepChoice(algorithm.parameters, entry);
        if (entry.unusable.empty()) {
            entry.algorithm = "RSAES-OAEP with " + std::string(entry.oaepHash->name) +
                              " and MGF1 with " + std::string(entry.mgfHash->name);
        } else {
            entry.algorithm = entry.unusable;
        }
    } else {
        entry.algorithm = "the key transport algorithm " + DottedOid(algorithm.oid);
        entry.unusable = entry.algorithm;
    }
    return entry;
}

// OriginatorIdentifierOrKey ::= CHOICE { issuerAndSerialNumber, [0] subjectKeyIdentifier,
// [1] originatorKey OriginatorPublicKey }: only a fresh key is ephemeral-static ECDH.
Status ReadOriginator(BerCursor choice, RecipientEntry& common) {
    ASSIGN_OR_RETURN(const BerElement originator, choice.Next());
    if (originator.tag() != tag::kContextConstructed1) {
        common.unusable = "key agreement with a static key of the sender's certificate";
        return {};
    }
    // OriginatorPublicKey ::= SEQUENCE { algorithm AlgorithmIdentifier, publicKey BIT STRING }
    BerCursor key = BerCursor::Children(originator);
    RETURN_IF_FAILED(key.Next(tag::kSequence));
    ASSIGN_OR_RETURN(const std::span<const std::uint8_t> bits, key.Primitive(tag::kBitString));
    if (bits.empty() || bits[0] != 0) {
        return Malformed();
    }
    common.originatorKey = Copy(bits.subspan(1));
    return {};
}

// The key derivation and the key wrap, and the texts that name them.
Status ReadAgreementScheme(const BerElement& element, RecipientEntry& common) {
    ASSIGN_OR_RETURN(const Algorithm scheme, AlgorithmIn(element));
    common.kdf = FindKdfScheme(scheme.oid);
    std::string wrapName = "an unknown key wrap";
    if (scheme.parameters && scheme.parameters->tag() == tag::kSequence) {
        ASSIGN_OR_RETURN(const Algorithm wrap, AlgorithmIn(*scheme.parameters));
        common.wrap = FindKeyWrap(wrap.oid);
        if (common.wrap != nullptr) {
            wrapName = std::string(common.wrap->name);
        } else if (OidMatches(wrap.oid, kTripleDesWrap)) {
            wrapName = "the Triple DES key wrap (id-alg-CMS3DESwrap)";
        } else {
            wrapName = "the key wrap " + DottedOid(wrap.oid);
        }
    }
    const std::string schemeName = common.kdf != nullptr ? std::string(common.kdf->name)
                                                         : "the scheme " + DottedOid(scheme.oid);
    common.algorithm = "ECDH (" + schemeName + ", " + wrapName + ")";
    if (common.unusable.empty() && common.kdf == nullptr) {
        common.unusable = "key agreement with " + schemeName;
    } else if (common.unusable.empty() && common.wrap == nullptr) {
        common.unusable = "key agreement with " + wrapName;
    }
    return {};
}

// KeyAgreeRecipientIdentifier ::= CHOICE { issuerAndSerialNumber,
// [0] RecipientKeyIdentifier SEQUENCE { subjectKeyIdentifier, date OPTIONAL, other OPTIONAL } }
Result<RecipientIdentifier> AgreementRecipient(const BerElement& rid) {
    if (rid.tag() == tag::kSequence) {
        return IssuerAndSerial(rid);
    }
    if (rid.tag() != tag::kContextConstructed0) {
        return Malformed();
    }
    BerCursor fields = BerCursor::Children(rid);
    ASSIGN_OR_RETURN(const BerElement identifier, fields.Next(tag::kOctetString));
    return KeyIdentifier(identifier);
}

// KeyAgreeRecipientInfo ::= SEQUENCE { version, originator [0], ukm [1] OPTIONAL,
// keyEncryptionAlgorithm, recipientEncryptedKeys SEQUENCE OF { rid, encryptedKey } }
Result<std::vector<RecipientEntry>> KeyAgreement(BerCursor fields) {
    RecipientEntry common;
    common.kind = RecipientKind::KeyAgreement;
    RETURN_IF_FAILED(fields.Next(tag::kInteger));
    ASSIGN_OR_RETURN(const BerCursor originator, fields.Enter(tag::kContextConstructed0));
    RETURN_IF_FAILED(ReadOriginator(originator, common));
    ASSIGN_OR_RETURN(const std::optional<BerElement> ukm, fields.NextIf(tag::kContextConstructed1));
    if (ukm) {
        ASSIGN_OR_RETURN(const std::span<const std::uint8_t> material,
                         BerCursor::Children(*ukm).Primitive(tag::kOctetString));
        common.userKeyingMaterial = Copy(material);
    }
    ASSIGN_OR_RETURN(const BerElement scheme, fields.Next());
    RETURN_IF_FAILED(ReadAgreementScheme(scheme, common));

    std::vector<RecipientEntry> entries;
    ASSIGN_OR_RETURN(BerCursor keys, fields.Enter(tag::kSequence));
    while (!keys.empty()) {
        ASSIGN_OR_RETURN(BerCursor key, keys.Enter(tag::kSequence));
        ASSIGN_OR_RETURN(const BerElement rid, key.Next());
        RecipientEntry entry = common;
        ASSIGN_OR_RETURN(entry.id, AgreementRecipient(rid));
        ASSIGN_OR_RETURN(const std::span<const std::uint8_t> encrypted,
                         key.Primitive(tag::kOctetString, kLargestEncryptedKey));
        entry.encryptedKey = Copy(encrypted);
        entries.push_back(std::move(entry));
    }
    return entries;
}

RecipientEntry OtherKind(RecipientKind kind, std::string algorithm) {
    RecipientEntry entry;
    entry.kind = kind;
    entry.algorithm = std::move(algorithm);
    entry.unusable = entry.algorithm;
    return entry;
}

}  // namespace

Result<std::vector<RecipientEntry>> ParseRecipientInfo(std::uint8_t identifier, BerCursor fields) {
    std::vector<RecipientEntry> entries;
    switch (identifier) {
        case tag::kSequence: {
            ASSIGN_OR_RETURN(RecipientEntry entry, KeyTransport(fields));
            entries.push_back(std::move(entry));
            return entries;
        }
        case tag::kContextConstructed1:
            return KeyAgreement(fields);
        case tag::kContextConstructed2:
            entries.push_back(OtherKind(RecipientKind::KeyEncryptionKey,
                                        "a key-encryption key agreed in advance"));
            return entries;
        case tag::kContextConstructed3:
            entries.push_back(OtherKind(RecipientKind::Password, "a key derived from a password"));
            return entries;
        default:
            entries.push_back(
                OtherKind(RecipientKind::Other, "a kind of entry this program does not know"));
            return entries;
    }
}

std::string UnusableKindText(const RecipientEntry& entry) {
    switch (entry.kind) {
        case RecipientKind::Password:
            return "The message was encrypted with a password, which this program cannot use.";
        case RecipientKind::KeyEncryptionKey:
            return "The message was encrypted with a shared secret key, which this program "
                   "cannot use.";
        case RecipientKind::Other:
            return "The message holds a kind of recipient entry that this program cannot use.";
        default:
            return "The message was encrypted for a recipient with " + entry.unusable +
                   ", which this program cannot use.";
    }
}
}  // namespace mirebolt::platform
