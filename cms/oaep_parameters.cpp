#include "cms/oaep_parameters.h"

#include <secerr.h>

#include <string>

#include "asn1/asn1_tags.h"
#include "asn1/ber_reader.h"
#include "base/byte_source.h"
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
const HashFacts* MgfHash(BerReader& reader, BerChildren& parts, std::uint64_t limit) {
    Result<BerElement> algorithm = reader.ExpectChild(parts, tag::kSequence);
    if (!algorithm) {
        return nullptr;
    }
    BerChildren inner = reader.ChildrenOf(*algorithm, limit);
    Result<std::vector<std::uint8_t>> oid = reader.ExpectSmallChild(inner, tag::kObjectIdentifier);
    return oid ? FindHash(*oid) : nullptr;
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
    MemorySource source(parameters);
    BerReader reader(source);
    const std::uint64_t limit = parameters.size();
    Result<BerElement> sequence = reader.ElementAt(0, limit);
    if (!sequence || sequence->tag != tag::kSequence) {
        return Unreadable();
    }
    Result<std::uint64_t> end = reader.EndOf(*sequence, limit);
    if (!end || *end != limit) {
        return Unreadable();
    }
    BerChildren fields = reader.ChildrenOf(*sequence, limit);
    for (;;) {
        Result<std::optional<BerElement>> field = reader.NextChild(fields);
        if (!field) {
            return Unreadable();
        }
        if (!field->has_value()) {
            return choice;
        }
        BerChildren tagged = reader.ChildrenOf(**field, limit);
        Result<BerElement> algorithm = reader.ExpectChild(tagged, tag::kSequence);
        if (!algorithm) {
            return Unreadable();
        }
        BerChildren parts = reader.ChildrenOf(*algorithm, limit);
        Result<std::vector<std::uint8_t>> oid =
            reader.ExpectSmallChild(parts, tag::kObjectIdentifier);
        if (!oid) {
            return Unreadable();
        }
        switch ((*field)->tag) {
            case tag::kContextConstructed0:
                choice.hash = FindHash(*oid);
                if (choice.hash == nullptr) {
                    return Unusable("the hash " + DottedOid(*oid));
                }
                break;
            case tag::kContextConstructed1:
                choice.mgfHash =
                    OidMatches(*oid, oid::kMgf1) ? MgfHash(reader, parts, limit) : nullptr;
                if (choice.mgfHash == nullptr) {
                    return Unusable("a mask generation other than MGF1 with a known hash");
                }
                break;
            case tag::kContextConstructed2: {
                if (!OidMatches(*oid, oid::kPSpecified)) {
                    return Unusable("a label");
                }
                Result<std::optional<BerElement>> label = reader.NextChild(parts);
                if (!label) {
                    return Unreadable();
                }
                if (label->has_value()) {
                    if ((*label)->tag != tag::kOctetString) {
                        return Unreadable();
                    }
                    Result<std::vector<std::uint8_t>> bytes = reader.SmallContent(**label);
                    if (!bytes) {
                        return Unreadable();
                    }
                    choice.label = std::move(*bytes);
                }
                break;
            }
            default:
                return Unreadable();
        }
    }
}

}  // namespace mirebolt::platform
