#include "cms/recipient_entries.h"

#include "asn1/asn1_tags.h"
#include "asn1/ber_reader.h"
#include "asn1/der_writer.h"
#include "asn1/malformed.h"
#include "base/byte_source.h"
#include "cms/oaep_parameters.h"

namespace mirebolt::platform {

namespace {

// Peers wrap Triple DES content keys so; NSS has no mechanism for it.
constexpr std::string_view kTripleDesWrap = "1.2.840.113549.1.9.16.3.6";

// An encrypted key is as long as the recipient's RSA modulus: this takes keys up to 65536 bits,
// and the whole entry is held in memory and bounded anyway.
constexpr std::size_t kLargestEncryptedKey = 8 * 1024;

// Parses the pieces of one RecipientInfo held in memory.
class EntryParser {
  public:
    explicit EntryParser(std::span<const std::uint8_t> ber)
        : ber_(ber), source_(ber), reader_(source_) {}

    BerReader& reader() { return reader_; }
    std::uint64_t size() const { return ber_.size(); }

    Result<std::vector<std::uint8_t>> Content(const BerElement& element) {
        return reader_.SmallContent(element);
    }

    // The element's whole encoding.
    Result<std::vector<std::uint8_t>> Whole(const BerElement& element) {
        Result<std::uint64_t> end = reader_.EndOf(element, ber_.size());
        if (!end) {
            return end.failure();
        }
        const auto start = static_cast<std::size_t>(element.offset);
        return std::vector<std::uint8_t>(ber_.begin() + static_cast<std::ptrdiff_t>(start),
                                         ber_.begin() + static_cast<std::ptrdiff_t>(*end));
    }

    struct Algorithm {
        std::vector<std::uint8_t> oid;
        std::optional<BerElement> parameters;
    };

    Result<Algorithm> AlgorithmIn(const BerElement& sequence) {
        if (sequence.tag != tag::kSequence) {
            return Malformed();
        }
        BerChildren children = reader_.ChildrenOf(sequence, ber_.size());
        Result<std::vector<std::uint8_t>> content =
            reader_.ExpectSmallChild(children, tag::kObjectIdentifier);
        if (!content) {
            return content.failure();
        }
        Algorithm algorithm;
        algorithm.oid = std::move(*content);
        Result<std::optional<BerElement>> parameters = reader_.NextChild(children);
        if (!parameters) {
            return parameters.failure();
        }
        algorithm.parameters = *parameters;
        return algorithm;
    }

    // IssuerAndSerialNumber ::= SEQUENCE { issuer Name, serialNumber INTEGER }
    Result<RecipientIdentifier> IssuerAndSerial(const BerElement& sequence) {
        BerChildren children = reader_.ChildrenOf(sequence, ber_.size());
        Result<BerElement> issuer = reader_.ExpectChild(children, tag::kSequence);
        if (!issuer) {
            return issuer.failure();
        }
        Result<BerElement> serial = reader_.ExpectChild(children, tag::kInteger);
        if (!serial) {
            return serial.failure();
        }
        RecipientIdentifier id;
        Result<std::vector<std::uint8_t>> issuerBytes = Whole(*issuer);
        bool indefinite = false;
        if (Result<std::vector<std::uint8_t>> definite = Definite(*issuer, 0, indefinite);
            definite && indefinite) {
            issuerBytes = std::move(definite);
        }
        Result<std::vector<std::uint8_t>> serialBytes = Content(*serial);
        if (!issuerBytes || !serialBytes) {
            return Malformed();
        }
        id.issuer = std::move(*issuerBytes);
        id.serial = std::move(*serialBytes);
        return id;
    }

    Result<RecipientIdentifier> KeyIdentifier(const BerElement& octets) {
        Result<std::vector<std::uint8_t>> bytes = Content(octets);
        if (!bytes) {
            return bytes.failure();
        }
        RecipientIdentifier id;
        id.byKeyIdentifier = true;
        id.keyIdentifier = std::move(*bytes);
        return id;
    }

  private:
    static constexpr int kMaxNameDepth = 32;

    // The element with its lengths definite and in their shortest form, as DER gives them: names
    // are matched as the certificate's DER, and a streaming writer may give one indefinite
    // lengths. Sets `indefinite` when there were any.
    Result<std::vector<std::uint8_t>> Definite(const BerElement& element, int depth,
                                               bool& indefinite) {
        if (!element.constructed()) {
            std::vector<std::uint8_t> bytes = der::Header(element.tag, element.contentLength);
            const auto content = ber_.subspan(static_cast<std::size_t>(element.contentOffset()),
                                              static_cast<std::size_t>(element.contentLength));
            bytes.insert(bytes.end(), content.begin(), content.end());
            return bytes;
        }
        if (depth == kMaxNameDepth) {
            return Malformed();
        }
        indefinite = indefinite || element.indefinite;
        std::vector<std::uint8_t> content;
        BerChildren children = reader_.ChildrenOf(element, ber_.size());
        for (;;) {
            Result<std::optional<BerElement>> child = reader_.NextChild(children);
            if (!child) {
                return child.failure();
            }
            if (!child->has_value()) {
                return der::Element(element.tag, content);
            }
            Result<std::vector<std::uint8_t>> inner = Definite(**child, depth + 1, indefinite);
            if (!inner) {
                return inner.failure();
            }
            der::Append(content, *inner);
        }
    }

    std::span<const std::uint8_t> ber_;
    MemorySource source_;
    BerReader reader_;
};

// The entry's RSAES-OAEP parameters, or why they cannot be used: this program gives no label.
void ReadOaepChoice(EntryParser& parser, const std::optional<BerElement>& parameters,
                    RecipientEntry& entry) {
    entry.oaepHash = &Sha1Facts();
    entry.mgfHash = &Sha1Facts();
    Result<std::vector<std::uint8_t>> bytes =
        parameters ? parser.Whole(*parameters) : std::vector<std::uint8_t>();
    if (!bytes) {
        entry.unusable = "RSAES-OAEP with parameters that cannot be read";
        return;
    }
    Result<OaepChoice> choice = ReadOaepParameters(*bytes);
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
Result<RecipientEntry> KeyTransport(EntryParser& parser, const BerElement& outer) {
    BerReader& reader = parser.reader();
    RecipientEntry entry;
    entry.kind = RecipientKind::KeyTransport;
    BerChildren fields = reader.ChildrenOf(outer, parser.size());
    if (!reader.ExpectChild(fields, tag::kInteger)) {
        return Malformed();
    }
    Result<std::optional<BerElement>> rid = reader.NextChild(fields);
    if (!rid || !rid->has_value()) {
        return Malformed();
    }
    Result<RecipientIdentifier> id = (*rid)->tag == tag::kSequence ? parser.IssuerAndSerial(**rid)
                                     : (*rid)->tag == tag::kContextPrimitive0
                                         ? parser.KeyIdentifier(**rid)
                                         : Result<RecipientIdentifier>(Malformed());
    if (!id) {
        return id.failure();
    }
    entry.id = std::move(*id);
    Result<BerElement> algorithmElement = reader.ExpectChild(fields, tag::kSequence);
    if (!algorithmElement) {
        return algorithmElement.failure();
    }
    Result<EntryParser::Algorithm> algorithm = parser.AlgorithmIn(*algorithmElement);
    if (!algorithm) {
        return algorithm.failure();
    }
    Result<std::vector<std::uint8_t>> keyBytes =
        reader.ExpectSmallChild(fields, tag::kOctetString, kLargestEncryptedKey);
    if (!keyBytes) {
        return keyBytes.failure();
    }
    entry.encryptedKey = std::move(*keyBytes);

    if (OidMatches(algorithm->oid, oid::kRsaEncryption)) {
        entry.algorithm = "RSA (PKCS #1 v1.5)";
    } else if (OidMatches(algorithm->oid, oid::kRsaesOaep)) {
        entry.oaep = true;
        ReadOaepChoice(parser, algorithm->parameters, entry);
        if (entry.unusable.empty()) {
            entry.algorithm = "RSAES-OAEP with " + std::string(entry.oaepHash->name) +
                              " and MGF1 with " + std::string(entry.mgfHash->name);
        } else {
            entry.algorithm = entry.unusable;
        }
    } else {
        entry.algorithm = "the key transport algorithm " + DottedOid(algorithm->oid);
        entry.unusable = entry.algorithm;
    }
    return entry;
}

// KeyAgreeRecipientInfo ::= SEQUENCE { version, originator [0], ukm [1] OPTIONAL,
// keyEncryptionAlgorithm, recipientEncryptedKeys SEQUENCE OF { rid, encryptedKey } }
Result<std::vector<RecipientEntry>> KeyAgreement(EntryParser& parser, const BerElement& outer) {
    BerReader& reader = parser.reader();
    RecipientEntry common;
    common.kind = RecipientKind::KeyAgreement;
    BerChildren fields = reader.ChildrenOf(outer, parser.size());
    if (!reader.ExpectChild(fields, tag::kInteger)) {
        return Malformed();
    }
    Result<BerElement> originator = reader.ExpectChild(fields, tag::kContextConstructed0);
    if (!originator) {
        return originator.failure();
    }
    BerChildren inOriginator = reader.ChildrenOf(*originator, parser.size());
    Result<std::optional<BerElement>> choice = reader.NextChild(inOriginator);
    if (!choice || !choice->has_value()) {
        return Malformed();
    }
    if ((*choice)->tag == tag::kContextConstructed1) {
        BerChildren key = reader.ChildrenOf(**choice, parser.size());
        if (!reader.ExpectChild(key, tag::kSequence)) {
            return Malformed();
        }
        Result<BerElement> point = reader.ExpectChild(key, tag::kBitString);
        if (!point) {
            return point.failure();
        }
        Result<std::vector<std::uint8_t>> bits = parser.Content(*point);
        if (!bits || bits->empty() || (*bits)[0] != 0) {
            return Malformed();
        }
        common.originatorKey.assign(bits->begin() + 1, bits->end());
    } else {
        common.unusable = "key agreement with a static key of the sender's certificate";
    }
    Result<std::optional<BerElement>> next = reader.NextChild(fields);
    if (!next || !next->has_value()) {
        return Malformed();
    }
    if ((*next)->tag == tag::kContextConstructed1) {
        BerChildren inUkm = reader.ChildrenOf(**next, parser.size());
        Result<std::vector<std::uint8_t>> ukmBytes =
            reader.ExpectSmallChild(inUkm, tag::kOctetString);
        if (!ukmBytes) {
            return ukmBytes.failure();
        }
        common.userKeyingMaterial = std::move(*ukmBytes);
        next = reader.NextChild(fields);
        if (!next || !next->has_value()) {
            return Malformed();
        }
    }
    Result<EntryParser::Algorithm> scheme = parser.AlgorithmIn(**next);
    if (!scheme) {
        return scheme.failure();
    }
    common.kdf = FindKdfScheme(scheme->oid);
    std::string wrapName = "an unknown key wrap";
    if (scheme->parameters && scheme->parameters->tag == tag::kSequence) {
        Result<EntryParser::Algorithm> wrap = parser.AlgorithmIn(*scheme->parameters);
        if (!wrap) {
            return wrap.failure();
        }
        common.wrap = FindKeyWrap(wrap->oid);
        if (common.wrap != nullptr) {
            wrapName = std::string(common.wrap->name);
        } else if (OidMatches(wrap->oid, kTripleDesWrap)) {
            wrapName = "the Triple DES key wrap (id-alg-CMS3DESwrap)";
        } else {
            wrapName = "the key wrap " + DottedOid(wrap->oid);
        }
    }
    const std::string schemeName = common.kdf != nullptr ? std::string(common.kdf->name)
                                                         : "the scheme " + DottedOid(scheme->oid);
    common.algorithm = "ECDH (" + schemeName + ", " + wrapName + ")";
    if (common.unusable.empty() && common.kdf == nullptr) {
        common.unusable = "key agreement with " + schemeName;
    } else if (common.unusable.empty() && common.wrap == nullptr) {
        common.unusable = "key agreement with " + wrapName;
    }

    Result<BerElement> keys = reader.ExpectChild(fields, tag::kSequence);
    if (!keys) {
        return keys.failure();
    }
    std::vector<RecipientEntry> entries;
    BerChildren inKeys = reader.ChildrenOf(*keys, parser.size());
    for (;;) {
        Result<std::optional<BerElement>> key = reader.NextChild(inKeys);
        if (!key) {
            return key.failure();
        }
        if (!key->has_value()) {
            break;
        }
        if ((*key)->tag != tag::kSequence) {
            return Malformed();
        }
        BerChildren inKey = reader.ChildrenOf(**key, parser.size());
        Result<std::optional<BerElement>> rid = reader.NextChild(inKey);
        if (!rid || !rid->has_value()) {
            return Malformed();
        }
        Result<RecipientIdentifier> id = Malformed();
        if ((*rid)->tag == tag::kSequence) {
            id = parser.IssuerAndSerial(**rid);
        } else if ((*rid)->tag == tag::kContextConstructed0) {
            // RecipientKeyIdentifier ::= SEQUENCE { subjectKeyIdentifier, date, other }
            BerChildren inRid = reader.ChildrenOf(**rid, parser.size());
            Result<BerElement> identifier = reader.ExpectChild(inRid, tag::kOctetString);
            id = identifier ? parser.KeyIdentifier(*identifier)
                            : Result<RecipientIdentifier>(identifier.failure());
        }
        if (!id) {
            return id.failure();
        }
        Result<std::vector<std::uint8_t>> encryptedBytes =
            reader.ExpectSmallChild(inKey, tag::kOctetString, kLargestEncryptedKey);
        if (!encryptedBytes) {
            return encryptedBytes.failure();
        }
        RecipientEntry entry = common;
        entry.id = std::move(*id);
        entry.encryptedKey = std::move(*encryptedBytes);
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

Result<std::vector<RecipientEntry>> ParseRecipientInfo(std::span<const std::uint8_t> ber) {
    EntryParser parser(ber);
    Result<BerElement> outer = parser.reader().ElementAt(0, ber.size());
    if (!outer) {
        return outer.failure();
    }
    std::vector<RecipientEntry> entries;
    switch (outer->tag) {
        case tag::kSequence: {
            Result<RecipientEntry> entry = KeyTransport(parser, *outer);
            if (!entry) {
                return entry.failure();
            }
            entries.push_back(std::move(*entry));
            return entries;
        }
        case tag::kContextConstructed1:
            return KeyAgreement(parser, *outer);
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
