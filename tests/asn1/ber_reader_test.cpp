#include "asn1/ber_reader.h"

#include <gtest/gtest.h>
#include <secerr.h>

#include "nss/error_text.h"
#include "support/test_files.h"

namespace mirebolt::platform {
namespace {

using testing::Bytes;

Result<std::uint64_t> EndOfFirst(const Bytes& bytes) {
    MemorySource source(bytes);
    BerReader reader(source);
    Result<BerElement> element = reader.ElementAt(0, bytes.size());
    if (!element) {
        return element.failure();
    }
    return reader.EndOf(*element, bytes.size());
}

TEST(BerReader, FindsTheEndOfDefiniteAndIndefiniteElements) {
    // SEQUENCE (indefinite) { OCTET STRING (constructed, indefinite) { "ab", "c" }, NULL }
    const Bytes streamed{0x30, 0x80, 0x24, 0x80, 0x04, 0x02, 'a',  'b',  0x04,
                         0x01, 'c',  0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0xFF};
    Result<std::uint64_t> end = EndOfFirst(streamed);
    ASSERT_TRUE(end);
    EXPECT_EQ(*end, streamed.size() - 1);

    const Bytes longForm{0x04, 0x82, 0x01, 0x00};
    Bytes withContent = longForm;
    withContent.resize(4 + 256, 0x11);
    ASSERT_TRUE(EndOfFirst(withContent));
    EXPECT_EQ(*EndOfFirst(withContent), 260u);
}

TEST(BerReader, RefusesMalformedInputWithoutReadingPastIt) {
    const Bytes cases[] = {
        {},                                       // nothing
        {0x30},                                   // no length
        {0x30, 0x05, 0x01},                       // content reaches past the end
        {0x04, 0x80, 0x00, 0x00},                 // indefinite length on a primitive
        {0x30, 0x89, 1, 2, 3, 4, 5, 6, 7, 8, 9},  // more length octets than a count can hold
        {0x30, 0x80, 0x05, 0x00},                 // indefinite without its end
        {0x1F, 0x81, 0x01, 0x00},                 // multi-octet tag numbers are not used here
    };
    for (const Bytes& bytes : cases) {
        Result<std::uint64_t> end = EndOfFirst(bytes);
        ASSERT_FALSE(end) << ::testing::PrintToString(bytes);
        EXPECT_EQ(end.failure().code, static_cast<std::uint32_t>(SEC_ERROR_BAD_DER));
        EXPECT_EQ(end.failure().text, PlatformErrorText(end.failure().code))
            << "malformed bytes read as NSS's own text for them";
    }
}

TEST(BerReader, SurvivesDeepNesting) {
    Bytes nested;
    for (int i = 0; i < 10000; ++i) {
        nested.push_back(0x30);
        nested.push_back(0x80);
    }
    EXPECT_FALSE(EndOfFirst(nested));
}

}  // namespace
}  // namespace mirebolt::platform
