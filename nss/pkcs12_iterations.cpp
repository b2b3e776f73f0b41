#include "nss/pkcs12_iterations.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "asn1/asn1_tags.h"
#include "asn1/ber_cursor.h"

namespace mirebolt::platform {

namespace {

// The file is hostile until its MAC was checked: the walk goes only as deep as the bags inside
// the authenticated safe inside the PFX need, which bounds what a crafted file can make it do.
constexpr int kMaxDepth = 40;

// The value of the next element, a non-negative INTEGER, saturated at the largest value there
// is; nothing when the next element is no INTEGER.
std::optional<std::uint64_t> NextInteger(BerCursor& fields) {
    Result<BerElement> integer = fields.Next(tag::kInteger);
    if (!integer || integer->header.constructed()) {
        return std::nullopt;
    }
    const std::span<const std::uint8_t> contents = integer->content;
    if (contents.empty() || (contents[0] & 0x80) != 0) {
        return 0;
    }
    std::uint64_t value = 0;
    for (std::uint8_t byte : contents) {
        if (value > (UINT64_MAX >> 8)) {
            return UINT64_MAX;
        }
        value = (value << 8) | byte;
    }
    return value;
}

// 1.2.840.113549.1.5 (PKCS #5: PBES1, PBKDF2, PBES2) and 1.2.840.113549.1.12.1 (PKCS #12's
// PBE schemes). Their parameters all start with the salt and then the iteration count; PBES2's
// hold a PBKDF2 algorithm, which the walk meets in turn.
bool IsPasswordBasedScheme(std::span<const std::uint8_t> oid) {
    constexpr std::uint8_t kPkcs5[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x05};
    constexpr std::uint8_t kPkcs12Pbe[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x0C, 0x01};
    auto startsWith = [oid](std::span<const std::uint8_t> prefix) {
        return oid.size() == prefix.size() + 1 &&
               std::equal(prefix.begin(), prefix.end(), oid.begin());
    };
    return startsWith(kPkcs5) || startsWith(kPkcs12Pbe);
}

class IterationSearch {
  public:
    std::uint64_t largest = 0;

    void Note(std::optional<std::uint64_t> count) {
        largest = std::max(largest, count.value_or(0));
    }

    // The elements of `bytes`, looked into when they read as elements from end to end.
    void VisitAll(std::span<const std::uint8_t> bytes, int depth) {
        std::vector<BerElement> elements;
        for (BerCursor cursor(bytes); !cursor.empty();) {
            Result<BerElement> element = cursor.Next();
            if (!element) {
                return;
            }
            elements.push_back(*element);
        }
        for (const BerElement& element : elements) {
            Visit(element, depth);
        }
    }

    void Visit(const BerElement& element, int depth) {
        if (depth > kMaxDepth) {
            return;
        }
        if (element.tag() == tag::kConstructedOctetString) {
            VisitChunks(element, depth);
        } else if (element.header.constructed()) {
            if (element.tag() == tag::kSequence) {
                NoteAlgorithm(element);
            }
            VisitAll(element.content, depth + 1);
        } else if (element.tag() == tag::kOctetString) {
            // Content wrapped in an OCTET STRING: the safe contents, the authenticated safe.
            VisitAll(element.content, depth + 1);
        }
    }

  private:
    // An AlgorithmIdentifier of a password-based scheme: note its iteration count.
    void NoteAlgorithm(const BerElement& sequence) {
        BerCursor fields = BerCursor::Children(sequence);
        Result<std::span<const std::uint8_t>> oid = fields.Primitive(tag::kObjectIdentifier);
        if (!oid || !IsPasswordBasedScheme(*oid)) {
            return;
        }
        Result<BerCursor> parameters = fields.Enter(tag::kSequence);
        if (parameters && fields.empty() && parameters->Next()) {
            Note(NextInteger(*parameters));
        }
    }

    // A BER OCTET STRING in pieces: the pieces joined are the content.
    void VisitChunks(const BerElement& element, int depth) {
        std::vector<std::uint8_t> joined;
        for (BerCursor chunks = BerCursor::Children(element); !chunks.empty();) {
            Result<BerElement> chunk = chunks.Next(tag::kOctetString);
            if (!chunk) {
                return;
            }
            joined.insert(joined.end(), chunk->content.begin(), chunk->content.end());
        }
        VisitAll(joined, depth + 1);
    }
};

}  // namespace

std::uint64_t LargestPkcs12IterationCount(std::span<const std::uint8_t> pkcs12) {
    BerCursor whole(pkcs12);
    Result<BerElement> pfx = whole.Next(tag::kSequence);
    if (!pfx) {
        return 0;
    }
    IterationSearch search;
    search.Visit(*pfx, 0);
    // PFX ::= SEQUENCE { version, authSafe, macData MacData OPTIONAL }, and
    // MacData ::= SEQUENCE { mac DigestInfo, macSalt OCTET STRING, iterations INTEGER DEFAULT 1 }.
    BerCursor parts = BerCursor::Children(*pfx);
    if (parts.Next() && parts.Next()) {
        Result<BerCursor> mac = parts.Enter(tag::kSequence);
        if (mac && mac->Next() && mac->Next()) {
            search.Note(NextInteger(*mac));
        }
    }
    return search.largest;
}

}  // namespace mirebolt::platform
