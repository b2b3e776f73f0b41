#include "cms/oaep_parameters.h"

#include <secerr.h>

#include <string>

#include "asn1/asn1_tags.h"
#include "asn1/ber_cursor.h"
#include "nss/error_text.h"

namespace mirebolt::platform {

namespace {

Failure Unusable(const std::string& what) {
    return NssFailure(SEC_ERROR_INVALID_ALGORITHM, "RSAES-OAEP with " + what);
}

Failure Unreadable() {
    return Unusable("parameters that cannot be read");
}

// MGF1's hash: the AlgorithmIdentifier that follows MGF1's identifier.
const HashFacts* MgfHash(BerCursor& parts) {
    Result<BerCursor> algorithm = parts.Enter(tag::kSequence);
    if (!algorithm) {
        return nullptr;
    }
    Result<std::span<const std::uint8_t>> oid = algorithm->Primitive(tag::kObjectIdentifier);
    return oid ? FindHash(*oid) : nullptr;
}

// One of the parameters, given by its tag and the AlgorithmIdentifier's fields after the
// identifier.
Status ReadField(std::uint8_t field, std::span<const std::uint8_t> oid, BerCursor& parts,
                 OaepChoice& choice) {
    switch (field) {
        case tag::kContextConstructed0:
            choice.hash = FindHash(oid);
            if (choice.hash == nullptr) {
                return Unusable("the hash " + DottedOid(oid));
            }
            return {};
        case tag::kContextConstructed1:
            choice.mgfHash = OidMatches(oid, oid::kMgf1) ? MgfHash(parts) : nullptr;
            if (choice.mgfHash == nullptr) {
                return Unusable("a mask generation other than MGF1 with a known hash");
            }
            return {};
        case tag::kContextConstructed2: {
            if (!OidMatches(oid, oid::kPSpecified)) {
                return Unusable("a label");
            }
            if (parts.empty()) {
                return {};
            }
            Result<Octets> label = parts.OctetString();
            if (!label) {
                return Unreadable();
            }
            choice.label = label->Copy();
            return {};
        }
        default:
            return Unreadable();
    }
}

}  // namespace

bool IsAbsentOrNull(std::span<const std::uint8_t> parameters) {
    return parameters.empty() ||
           (parameters.size() == 2 && parameters[0] == tag::kNull && parameters[1] == 0x00);
}

// RSAES-OAEP-params ::= SEQUENCE { hashAlgorithm [0], maskGenAlgorithm [1],
// pSourceAlgorithm [2] }, each an AlgorithmIdentifier in an explicit tag, each with a default.
Result<OaepChoice> ReadOaepParameters(std::span<const std::uint8_t> parameters) {
    OaepChoice choice{&Sha1Facts(), &Sha1Facts(), {}};
    if (IsAbsentOrNull(parameters)) {
        return choice;
    }
    BerCursor whole(parameters);
    Result<BerCursor> fields = whole.Enter(tag::kSequence);
    if (!fields || !whole.empty()) {
        return Unreadable();
    }
    while (!fields->empty()) {
        Result<BerElement> field = fields->Next();
        if (!field) {
            return Unreadable();
        }
        BerCursor tagged = BerCursor::Children(*field);
        Result<BerCursor> parts = tagged.Enter(tag::kSequence);
        if (!parts) {
            return Unreadable();
        }
        Result<std::span<const std::uint8_t>> oid = parts->Primitive(tag::kObjectIdentifier);
        if (!oid) {
            return Unreadable();
        }
        RETURN_IF_FAILED(ReadField(field->tag(), *oid, *parts, choice));
    }
    return choice;
}

}  // namespace mirebolt::platform
