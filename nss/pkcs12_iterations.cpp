#include "nss/pkcs12_iterations.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace mirebolt::platform {

namespace {

// A walk over DER or BER elements, just deep enough to find the iteration counts: the file is
// hostile until its MAC was checked, so every length is checked against what is there and the
// nesting is bounded.
constexpr int kMaxDepth = 40;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kObjectIdentifier = 0x06;
constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kConstructed = 0x20;

struct Element {
    std::uint8_t tag = 0;
    std::span<const std::uint8_t> contents;  // for an indefinite length, up to the end marker
    std::size_t size = 0;                    // header, contents and end marker
};

std::optional<Element> ReadElement(std::span<const std::uint8_t> bytes, int depth);

// The elements of `bytes` up to its end or, for indefinite contents, up to the end marker.
std::optional<std::vector<Element>> ReadElements(std::span<const std::uint8_t> bytes, int depth,
                                                 bool untilEndMarker, std::size_t* used) {
    std::vector<Element> elements;
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (untilEndMarker && bytes.size() - at >= 2 && bytes[at] == 0 && bytes[at + 1] == 0) {
            *used = at + 2;
            return elements;
        }
        std::optional<Element> element = ReadElement(bytes.subspan(at), depth);
        if (!element) {
            return std::nullopt;
        }
        at += element->size;
        elements.push_back(*element);
    }
    if (untilEndMarker) {
        return std::nullopt;
    }
    *used = at;
    return elements;
}

std::optional<Element> ReadElement(std::span<const std::uint8_t> bytes, int depth) {
    if (depth > kMaxDepth || bytes.size() < 2 || (bytes[0] & 0x1F) == 0x1F) {
        return std::nullopt;  // multi-byte tags appear nowhere in PKCS #12
    }
    Element element;
    element.tag = bytes[0];
    std::size_t header = 2;
    const std::uint8_t first = bytes[1];
    if (first == 0x80) {
        if ((element.tag & kConstructed) == 0) {
            return std::nullopt;
        }
        std::size_t used = 0;
        if (!ReadElements(bytes.subspan(header), depth + 1, true, &used)) {
            return std::nullopt;
        }
        element.contents = bytes.subspan(header, used - 2);
        element.size = header + used;
        return element;
    }
    std::uint64_t length = first;
    if ((first & 0x80) != 0) {
        const std::size_t count = first & 0x7F;
        if (count > 8 || bytes.size() < header + count) {
            return std::nullopt;
        }
        length = 0;
        for (std::size_t i = 0; i < count; ++i) {
            length = (length << 8) | bytes[header + i];
        }
        header += count;
    }
    if (length > bytes.size() - header) {
        return std::nullopt;
    }
    element.contents = bytes.subspan(header, static_cast<std::size_t>(length));
    element.size = header + static_cast<std::size_t>(length);
    return element;
}

std::optional<std::vector<Element>> Children(const Element& element, int depth) {
    std::size_t used = 0;
    return ReadElements(element.contents, depth + 1, false, &used);
}

// A non-negative INTEGER's value, saturated at the largest value there is.
std::uint64_t IntegerValue(const Element& integer) {
    if (integer.contents.empty() || (integer.contents[0] & 0x80) != 0) {
        return 0;
    }
    std::uint64_t value = 0;
    for (std::uint8_t byte : integer.contents) {
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

    void Visit(const Element& element, int depth) {
        if (depth > kMaxDepth) {
            return;
        }
        if ((element.tag & kConstructed) != 0) {
            std::optional<std::vector<Element>> children = Children(element, depth);
            if (!children) {
                return;
            }
            if (element.tag == (kOctetString | kConstructed)) {
                VisitChunks(*children, depth);
                return;
            }
            if (element.tag == kSequence) {
                NoteAlgorithm(*children, depth);
            }
            for (const Element& child : *children) {
                Visit(child, depth + 1);
            }
        } else if (element.tag == kOctetString) {
            VisitEncapsulated(element.contents, depth);
        }
    }

  private:
    // An AlgorithmIdentifier of a password-based scheme: note its iteration count.
    void NoteAlgorithm(const std::vector<Element>& children, int depth) {
        if (children.size() != 2 || children[0].tag != kObjectIdentifier ||
            !IsPasswordBasedScheme(children[0].contents) || children[1].tag != kSequence) {
            return;
        }
        std::optional<std::vector<Element>> parameters = Children(children[1], depth + 1);
        if (parameters && parameters->size() >= 2 && (*parameters)[1].tag == kInteger) {
            largest = std::max(largest, IntegerValue((*parameters)[1]));
        }
    }

    // Content wrapped in an OCTET STRING (the safe contents, the authenticated safe): looked
    // into when it reads as elements from end to end.
    void VisitEncapsulated(std::span<const std::uint8_t> bytes, int depth) {
        std::size_t used = 0;
        std::optional<std::vector<Element>> inner = ReadElements(bytes, depth + 1, false, &used);
        if (!inner) {
            return;
        }
        for (const Element& element : *inner) {
            Visit(element, depth + 1);
        }
    }

    // A BER OCTET STRING in pieces: the pieces joined are the content.
    void VisitChunks(const std::vector<Element>& chunks, int depth) {
        std::vector<std::uint8_t> joined;
        for (const Element& chunk : chunks) {
            if (chunk.tag != kOctetString) {
                return;
            }
            joined.insert(joined.end(), chunk.contents.begin(), chunk.contents.end());
        }
        VisitEncapsulated(joined, depth);
    }
};

}  // namespace

std::uint64_t LargestPkcs12IterationCount(std::span<const std::uint8_t> pkcs12) {
    std::optional<Element> pfx = ReadElement(pkcs12, 0);
    if (!pfx || pfx->tag != kSequence) {
        return 0;
    }
    IterationSearch search;
    search.Visit(*pfx, 0);
    // PFX ::= SEQUENCE { version, authSafe, macData MacData OPTIONAL }, and
    // MacData ::= SEQUENCE { mac DigestInfo, macSalt OCTET STRING, iterations INTEGER DEFAULT 1 }.
    std::optional<std::vector<Element>> parts = Children(*pfx, 0);
    if (parts && parts->size() >= 3 && (*parts)[2].tag == kSequence) {
        std::optional<std::vector<Element>> mac = Children((*parts)[2], 1);
        if (mac && mac->size() >= 3 && (*mac)[2].tag == kInteger) {
            search.largest = std::max(search.largest, IntegerValue((*mac)[2]));
        }
    }
    return search.largest;
}

}  // namespace mirebolt::platform
