#include "cms/recipient_identifier.h"

#include <cert.h>

#include <array>

#include "asn1/asn1_tags.h"
#include "asn1/malformed.h"
#include "asn1/name_as_der.h"

namespace mirebolt::platform {

Result<RecipientIdentifier> ReadIssuerAndSerial(const BerElement& sequence) {
    BerCursor fields = BerCursor::Children(sequence);
    ASSIGN_OR_RETURN(const BerElement issuer, fields.Next(tag::kSequence));
    ASSIGN_OR_RETURN(const std::span<const std::uint8_t> serial, fields.Primitive(tag::kInteger));
    RecipientIdentifier id;
    // The certificate's issuer is DER; a name that cannot be written so is kept as it came.
    Result<std::vector<std::uint8_t>> asDer = NameAsDer(issuer.whole);
    id.issuer = asDer ? std::move(*asDer) : Copy(issuer.whole);
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
    ASSIGN_OR_RETURN(const Octets bytes, OctetStringContent(octets));
    RecipientIdentifier id;
    id.byKeyIdentifier = true;
    id.keyIdentifier = bytes.Copy();
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
