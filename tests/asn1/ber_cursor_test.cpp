#include "asn1/ber_cursor.h"

#include <gtest/gtest.h>
#include <secerr.h>

#include <algorithm>
#include <optional>

#include "asn1/ber_stream.h"
#include "asn1/name_as_der.h"
#include "nss/error_text.h"
#include "support/test_files.h"
#include "support/trickle_stream.h"

namespace mirebolt::platform {
namespace {

using testing::Bytes;

Result<std::uint64_t> EndOfFirst(const Bytes& bytes) {
    BerCursor cursor(bytes);
    ASSIGN_OR_RETURN(const BerElement element, cursor.Next());
    EXPECT_EQ(element.whole.size(), element.header.headerLength + element.content.size() +
                                        (element.header.indefinite ? 2 : 0));
    return element.whole.size();
}

// How the one-pass walker passes over an element: skipping it, or holding its content in memory
// to be read with a cursor.
enum class StreamedWay { Skip, Hold };

// The same through the one-pass walker: from a file it may skip in, or from a pipe that gives a
// few bytes at a time and whose size it does not know.
Result<std::uint64_t> StreamedEndOfFirst(const Bytes& bytes, bool pipe,
                                         StreamedWay way = StreamedWay::Skip) {
    MemorySource source(bytes);
    SourceStream file(source);
    // A pipe that gives a few bytes at a time.
    static constexpr std::size_t kFewBytes[] = {1, 7, 2, 13, 3};
    testing::TrickleStream trickle(bytes, kFewBytes);
    BerStream ber =
        pipe ? BerStream(trickle, nullptr, std::nullopt) : BerStream(file, &file, bytes.size());
    BerFrame top = ber.TopFrame();
    ASSIGN_OR_RETURN(const BerHeader first, ber.Next(top));
    if (way == StreamedWay::Hold) {
        ASSIGN_OR_RETURN(const std::span<const std::uint8_t> content,
                         ber.HoldContent(first, top, 1024));
        BerCursor whole(bytes);
        ASSIGN_OR_RETURN(const BerElement element, whole.Next());
        EXPECT_TRUE(std::ranges::equal(content, element.content));
    } else {
        RETURN_IF_FAILED(ber.Skip(first, top));
    }
    return ber.position();
}

Bytes WithContent(Bytes header, std::size_t count) {
    header.resize(header.size() + count, 0x11);
    return header;
}

// An OCTET STRING of one byte whose length takes the most octets BER allows.
Bytes LengthIn126Octets() {
    Bytes bytes{0x04, 0xFE};
    bytes.resize(2 + 125, 0);
    bytes.push_back(1);
    bytes.push_back(0xAA);
    return bytes;
}

struct BerCase {
    const char* what;
    Bytes bytes;
    std::optional<std::uint64_t> end;  // end-of-contents octets included; none: malformed
};

const BerCase kCases[] = {
    // SEQUENCE (indefinite) { OCTET STRING (constructed, indefinite) { "ab", "c" }, NULL }
    {"streamed",
     {0x30, 0x80, 0x24, 0x80, 0x04, 0x02, 'a', 'b', 0x04, 0x01, 'c', 0x00, 0x00, 0x05, 0x00, 0x00,
      0x00, 0xFF},
     17},
    {"long-form length", WithContent({0x04, 0x82, 0x01, 0x00}, 256), 260},
    {"length not in its shortest form", {0x04, 0x81, 0x01, 0xAA}, 4},
    {"zeros inside a definite child are no end", {0x30, 0x80, 0x30, 0x02, 0, 0, 0, 0}, 8},
    {"indefinite inside definite", {0x30, 0x04, 0x30, 0x80, 0x00, 0x00}, 6},
    {"nothing", {}, std::nullopt},
    {"no length", {0x30}, std::nullopt},
    {"content reaches past the end", {0x30, 0x05, 0x01}, std::nullopt},
    {"a child reaches past the end", {0x30, 0x80, 0x04, 0x05, 0x01, 0x00, 0x00}, std::nullopt},
    {"a length that wraps the offset",
     {0x04, 0x88, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
     std::nullopt},
    {"indefinite length on a primitive", {0x04, 0x80, 0x00, 0x00}, std::nullopt},
    {"a length in nine octets beyond 64 bits",
     {0x30, 0x89, 1, 2, 3, 4, 5, 6, 7, 8, 9},
     std::nullopt},
    {"a length in nine octets, leading zeros first",
     {0x04, 0x89, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0xAA},
     12},
    {"a length in 126 octets", LengthIn126Octets(), 129},
    {"the reserved length octet", {0x04, 0xFF, 0x00}, std::nullopt},
    {"indefinite without its end", {0x30, 0x80, 0x05, 0x00}, std::nullopt},
    {"half an end", {0x30, 0x80, 0x05, 0x00, 0x00}, std::nullopt},
    {"a multi-octet tag number", {0x1F, 0x81, 0x01, 0x00}, 4},
    // SEQUENCE (indefinite) { [UNIVERSAL 128] 'AA'H, [PRIVATE 300] (indefinite) { NULL } }
    {"high tag numbers inside an indefinite element",
     {0x30, 0x80, 0x1F, 0x81, 0x00, 0x01, 0xAA, 0xFF, 0x82, 0x2C, 0x80, 0x05, 0x00, 0x00, 0x00,
      0x00, 0x00},
     17},
    {"a tag number in more than four octets",
     {0x1F, 0x81, 0x81, 0x81, 0x81, 0x01, 0x00},
     std::nullopt},
};

TEST(BerCursor, FindsTheEndOfDefiniteAndIndefiniteElements) {
    for (const BerCase& c : kCases) {
        if (c.end) {
            Result<std::uint64_t> end = EndOfFirst(c.bytes);
            ASSERT_TRUE(end) << c.what;
            EXPECT_EQ(*end, *c.end) << c.what;
        }
    }
}

TEST(BerCursor, RefusesMalformedInputWithoutReadingPastIt) {
    for (const BerCase& c : kCases) {
        if (!c.end) {
            Result<std::uint64_t> end = EndOfFirst(c.bytes);
            ASSERT_FALSE(end) << c.what;
            EXPECT_EQ(end.failure().code, static_cast<std::uint32_t>(SEC_ERROR_BAD_DER)) << c.what;
            EXPECT_EQ(end.failure().text, PlatformErrorText(end.failure().code))
                << c.what << ": malformed bytes read as NSS's own text for them";
        }
    }
}

TEST(BerStream, AgreesWithTheCursorFromAFileAndFromAPipe) {
    for (const BerCase& c : kCases) {
        for (bool pipe : {false, true}) {
            for (StreamedWay way : {StreamedWay::Skip, StreamedWay::Hold}) {
                Result<std::uint64_t> end = StreamedEndOfFirst(c.bytes, pipe, way);
                const std::string from = std::string(pipe ? " from a pipe" : " from a file") +
                                         (way == StreamedWay::Hold ? ", held" : ", skipped");
                if (c.end) {
                    ASSERT_TRUE(end) << c.what << from << ": " << end.failure().text;
                    EXPECT_EQ(*end, *c.end) << c.what << from;
                } else {
                    ASSERT_FALSE(end) << c.what << from;
                    EXPECT_EQ(end.failure().code, static_cast<std::uint32_t>(SEC_ERROR_BAD_DER))
                        << c.what << from;
                }
            }
        }
    }
}

TEST(BerCursor, SurvivesDeepNesting) {
    Bytes nested;
    for (int i = 0; i < 10000; ++i) {
        nested.push_back(0x30);
        nested.push_back(0x80);
    }
    EXPECT_FALSE(EndOfFirst(nested));
    EXPECT_FALSE(StreamedEndOfFirst(nested, false));
    EXPECT_FALSE(StreamedEndOfFirst(nested, true));
}

struct OctetsCase {
    const char* what;
    Bytes bytes;
    std::optional<Bytes> octets;  // none: malformed
};

TEST(BerCursor, ReadsAnOctetStringWholeOrInChunksWithinItsBound) {
    const OctetsCase cases[] = {
        {"primitive", {0x04, 0x02, 'a', 'b'}, Bytes{'a', 'b'}},
        // { { "a", "" }, "bc" }, the outer one indefinite
        {"chunks nested and empty",
         {0x24, 0x80, 0x24, 0x05, 0x04, 0x01, 'a', 0x04, 0x00, 0x04, 0x02, 'b', 'c', 0x00, 0x00},
         Bytes{'a', 'b', 'c'}},
        {"implicitly tagged in chunks", {0xA0, 0x03, 0x04, 0x01, 'a'}, Bytes{'a'}},
        {"four bytes in chunks", {0x24, 0x08, 0x04, 0x02, 1, 2, 0x04, 0x02, 3, 4}, std::nullopt},
        {"a chunk of another type", {0x24, 0x03, 0x0C, 0x01, 'a'}, std::nullopt},
        {"another type", {0x0C, 0x01, 'a'}, std::nullopt},
        {"chunks nested too deep",
         {0x24, 0x80, 0x24, 0x80, 0x24, 0x80, 0x24, 0x80, 0x24, 0x80, 0x24, 0x80, 0x24, 0x80,
          0x24, 0x80, 0x24, 0x80, 0x24, 0x80, 0x04, 0x00, 0,    0,    0,    0,    0,    0,
          0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0},
         std::nullopt},
    };
    for (const OctetsCase& c : cases) {
        BerCursor cursor(c.bytes);
        const std::uint8_t tag = c.bytes[0] == 0xA0 ? tag::kContextPrimitive0 : tag::kOctetString;
        Result<Octets> octets = cursor.OctetString(3, tag);
        if (c.octets) {
            ASSERT_TRUE(octets) << c.what;
            EXPECT_TRUE(std::ranges::equal(octets->bytes(), *c.octets)) << c.what;
        } else {
            EXPECT_FALSE(octets) << c.what;
        }
    }
}

TEST(NameAsDer, WritesABerNameAsTheCertificateHasIt) {
    // CN=b+C=a in DER: the set's members in the order of their encodings.
    const Bytes der{0x30, 0x16, 0x31, 0x14, 0x30, 0x08, 0x06, 0x03, 0x55, 0x04, 0x03, 0x0C,
                    0x01, 'b',  0x30, 0x08, 0x06, 0x03, 0x55, 0x04, 0x06, 0x13, 0x01, 'a'};
    // The same with the set's members swapped, indefinite and long-form lengths, and the common
    // name a UTF8String in chunks.
    const Bytes ber{0x30, 0x80, 0x31, 0x81, 0x18, 0x30, 0x08, 0x06, 0x03, 0x55, 0x04,
                    0x06, 0x13, 0x01, 'a',  0x30, 0x0C, 0x06, 0x03, 0x55, 0x04, 0x03,
                    0x2C, 0x05, 0x04, 0x01, 'b',  0x04, 0x00, 0x00, 0x00};
    for (const Bytes* name : {&der, &ber}) {
        Result<std::vector<std::uint8_t>> written = NameAsDer(*name);
        ASSERT_TRUE(written) << written.failure().text;
        EXPECT_EQ(*written, der);
    }
}

}  // namespace
}  // namespace mirebolt::platform
