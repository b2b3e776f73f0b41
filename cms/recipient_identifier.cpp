#include "cms/recipient_identifier.h"

#include <cert.h>

#include <array>

#include "asn1/asn1_tags.h"
#include "asn1/malformed.h"

namespace mirebolt::platform {

namespace {

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

}  // namespace

Result<RecipientIdentifier> ReadIssuerAndSerial(const BerElement& sequence) {
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

der::Bytes IssuerAndSerialNumber(const Certificate& certificate) {
    const CERTCertificate* cert = certificate.get();
    der::Bytes issuer(cert->derIssuer.data, cert->derIssuer.data + cert->derIssuer.len);
    return der::Sequence({issuer, der::Element(tag::kInteger, std::span(cert->serialNumber.data,
                                                                        cert->serialNumber.len))});
}

Result<RecipientIdentifier> ReadKeyIdentifier(const BerElement& octets) {
    ASSIGN_OR_RETURN(const std::span<const std::uint8_t> bytes, PrimitiveContent(octets));
    RecipientIdentifier id;
    id.byKeyIdentifier = true;
    id.keyIdentifier = Copy(bytes);
    return id;
}

Result<Algorithm> ReadAlgorithm(const BerElement& sequence) {
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

der::Bytes Version(std::uint8_t value) {
    return der::Element(tag::kInteger, std::array<std::uint8_t, 1>{value});
}

}  // namespace mirebolt::platform
