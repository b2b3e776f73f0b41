// Structures made to exhaust a reader: deep nesting, lengths near the integer limits, sizes
// beyond the file, millions of empty pieces. Each is refused or opened, quickly, and without
// any size larger than the file being believed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "support/commands.h"
#include "support/der_tree.h"
#include "support/envelope_helpers.h"
#include "support/reader_helpers.h"

namespace mirebolt::platform {
namespace {

using testing::Bytes;
using testing::DerNode;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
// What "quickly" means: generous for a loaded machine, far below what a walk that is
// quadratic, or that reads a declared size instead of the file, would take.
constexpr double kQuickSeconds = kSanitized ? 20.0 : 5.0;

const Bytes kEnvelopedDataOid{0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x03};

void Append(Bytes& out, const Bytes& part, std::size_t times = 1) {
    for (std::size_t i = 0; i < times; ++i) {
        out.insert(out.end(), part.begin(), part.end());
    }
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class ReaderHostile : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        alices_ = new testing::StoreCopy("store-alice");
        testing::TempDir dir;
        plain_ = new Bytes(testing::RandomBytes(1000));
        testing::WriteBytes(dir / "plain", *plain_);
        auto run = testing::RunCommand({"openssl", "cms", "-encrypt", "-binary", "-aes256",
                                        "-outform", "DER", "-in", dir / "plain", "-out",
                                        dir / "message", testing::FixturePath("alice.pem")});
        ASSERT_EQ(run.exitCode, 0) << run.output;
        message_ = new Bytes(testing::ReadBytes(dir / "message"));
    }
    static void TearDownTestSuite() {
        delete alices_;
        delete plain_;
        delete message_;
    }

    // A copy of alice's message whose encrypted content is replaced by `encoded`, as it is.
    static Bytes WithContent(const Bytes& encoded) {
        DerNode parsed = DerNode::Parse(*message_);
        DerNode& info = testing::EncryptedContentInfo(parsed);
        info.children.back() = DerNode::Raw(encoded);
        return parsed.Encode();
    }
    static const Bytes& Ciphertext() {
        static const Bytes ciphertext = [] {
            DerNode parsed = DerNode::Parse(*message_);
            return testing::EncryptedContentInfo(parsed).children.back().content;
        }();
        return ciphertext;
    }

    // Opens the message as Decrypt opens a file; the reader never believes more content than
    // the file could hold, and the whole attempt is quick.
    static Result<Bytes> OpenQuickly(const Bytes& message, const std::string& what) {
        const auto start = Clock::now();
        MemorySource source(message);
        Result<MessageOutline> outline = ReadOutline(source);
        if (outline) {
            EXPECT_LE(outline->encryptedBytes, message.size())
                << what << ": content larger than the file";
        }
        Result<Bytes> content = testing::Unseal(message, alices_->store());
        EXPECT_LT(SecondsSince(start), kQuickSeconds) << what;
        if (content) {
            EXPECT_LE(content->size(), message.size()) << what;
        }
        return content;
    }

    static inline testing::StoreCopy* alices_ = nullptr;
    static inline Bytes* plain_ = nullptr;
    static inline Bytes* message_ = nullptr;
};

TEST_F(ReaderHostile, TheUndamagedMessageOpens) {
    auto opened = OpenQuickly(*message_, "undamaged");
    ASSERT_TRUE(opened) << testing::Describe(opened.failure());
    EXPECT_EQ(*opened, *plain_);
}

TEST_F(ReaderHostile, IndefiniteNestingAHundredThousandDeepIsRefused) {
    constexpr std::size_t kDepth = 100'000;
    // Sequences in sequences, as the whole file.
    Bytes bare;
    Append(bare, {0x30, 0x80}, kDepth);
    Append(bare, {0x00, 0x00}, kDepth);
    EXPECT_FALSE(OpenQuickly(bare, "bare nesting"));

    // In the recipients' set of an enveloped message.
    Bytes inRecipients{0x30, 0x80};
    Append(inRecipients, kEnvelopedDataOid);
    Append(inRecipients, {0xA0, 0x80, 0x30, 0x80, 0x02, 0x01, 0x00, 0x31, 0x80});
    Append(inRecipients, {0x30, 0x80}, kDepth);
    Append(inRecipients, {0x00, 0x00}, kDepth + 4);
    EXPECT_FALSE(OpenQuickly(inRecipients, "nesting among the recipients"));

    // Pieces in pieces of the encrypted content, around the real ciphertext.
    Bytes nestedContent{0xA0, 0x80};
    Append(nestedContent, {0x24, 0x80}, kDepth);
    Append(nestedContent, DerNode{0x04, Ciphertext(), {}}.Encode());
    Append(nestedContent, {0x00, 0x00}, kDepth + 1);
    auto opened = OpenQuickly(WithContent(nestedContent), "nesting in the content");
    if (opened) {
        EXPECT_EQ(*opened, *plain_);
    }
}

TEST_F(ReaderHostile, LengthsOfTwoToTheThirtySecondAndTheLargestAreRefused) {
    const Bytes twoTo32{0x85, 0x01, 0x00, 0x00, 0x00, 0x00};
    const Bytes largest{0x88, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (const Bytes& length : {twoTo32, largest}) {
        const std::string what = length.size() == 6 ? "2^32" : "2^64-1";
        // The whole message.
        Bytes outer{0x30};
        Append(outer, length);
        Append(outer, kEnvelopedDataOid);
        EXPECT_FALSE(OpenQuickly(outer, what + " as the message's length"));
        // The encrypted content, primitive and as a piece of a constructed one.
        Bytes primitive{0x80};
        Append(primitive, length);
        Append(primitive, Ciphertext());
        EXPECT_FALSE(OpenQuickly(WithContent(primitive), what + " as the content's length"));
        Bytes piece{0xA0, 0x80, 0x04};
        Append(piece, length);
        Append(piece, Ciphertext());
        Append(piece, {0x00, 0x00});
        EXPECT_FALSE(OpenQuickly(WithContent(piece), what + " as a piece's length"));
        // A recipient's encrypted key.
        DerNode parsed = DerNode::Parse(*message_);
        DerNode& recipient = parsed[1][0][1][0];
        Bytes key{0x04};
        Append(key, length);
        Append(key, recipient.children.back().content);
        recipient.children.back() = DerNode::Raw(key);
        EXPECT_FALSE(OpenQuickly(parsed.Encode(), what + " as the encrypted key's length"));
    }
}

TEST_F(ReaderHostile, SizesBeyondTheFileAreRefused) {
    Bytes truncated = *message_;
    truncated.pop_back();
    EXPECT_FALSE(OpenQuickly(truncated, "one byte short"));
    truncated.resize(message_->size() / 2);
    EXPECT_FALSE(OpenQuickly(truncated, "half"));

    Bytes longer = *message_;
    ASSERT_EQ(longer[1], 0x82) << "a message of a few kilobytes has a two-byte length";
    longer[3] += 1;
    EXPECT_FALSE(OpenQuickly(longer, "the message's length one more than the file"));

    Bytes content{0x80, 0x82};
    const std::size_t claimed = Ciphertext().size() + 16;
    Append(content, {static_cast<std::uint8_t>(claimed >> 8), static_cast<std::uint8_t>(claimed)});
    Append(content, Ciphertext());
    EXPECT_FALSE(OpenQuickly(WithContent(content), "content longer than what follows"));

    Bytes unterminated{0xA0, 0x80};
    Append(unterminated, DerNode{0x04, Ciphertext(), {}}.Encode());
    Bytes indefinite = WithContent(unterminated);
    EXPECT_FALSE(OpenQuickly(indefinite, "content without its end-of-contents"));
}

TEST_F(ReaderHostile, FiveMillionEmptyPiecesOpenNoSlowerThanOpenssl) {
    Bytes pieces{0xA0, 0x80};
    Append(pieces, {0x04, 0x00}, 5'000'000);
    Append(pieces, DerNode{0x04, Ciphertext(), {}}.Encode());
    Append(pieces, {0x00, 0x00});
    const Bytes message = WithContent(pieces);
    ASSERT_GT(message.size(), 10'000'000u);

    testing::TempDir dir;
    testing::WriteBytes(dir / "pieces.der", message);
    // Taken in turns and the best of three each, so that a moment of other work on the machine
    // does not land on one side only.
    double ours = 1e9;
    double theirs = 1e9;
    for (int run = 0; run < 3; ++run) {
        auto start = Clock::now();
        auto opened = OpenQuickly(message, "5 million empty pieces");
        ours = std::min(ours, SecondsSince(start));
        ASSERT_TRUE(opened) << testing::Describe(opened.failure());
        EXPECT_EQ(*opened, *plain_);

        start = Clock::now();
        auto decrypted = testing::RunCommand(
            {"openssl", "cms", "-decrypt", "-binary", "-inform", "DER", "-in", dir / "pieces.der",
             "-inkey", testing::FixturePath("alice.key"), "-out", dir / "opened"});
        theirs = std::min(theirs, SecondsSince(start));
        ASSERT_EQ(decrypted.exitCode, 0) << decrypted.output;
    }
    EXPECT_EQ(testing::ReadBytes(dir / "opened"), *plain_);
    const double ratio = ours / theirs;
    std::printf("5 million empty pieces: %.3f s here, %.3f s for openssl cms, ratio %.2f\n", ours,
                theirs, ratio);
    if (!kSanitized) {
        // Room for a busy machine; a walk that slows with every piece took four times as long.
        EXPECT_LE(ratio, 2.0) << "our reader took " << ours << " s, openssl " << theirs << " s";
    }
}

// Each entry that names one's own certificate costs a private-key operation, and anyone can add
// any number of them: with hundreds before the real one, as a file and as a pipe, a few are
// tried, quickly even for a 4096-bit RSA key, and from a file the rest are refused with a text
// that says so. (A pipe takes the first key that unwraps, and a random RSA entry may give one.)
TEST_F(ReaderHostile, HundredsOfEntriesForOnesOwnKeyAreRefusedAfterAFew) {
    constexpr std::size_t kCrafted = 300;
    constexpr double kBoundedSeconds = kSanitized ? 10.0 : 2.0;
    const struct {
        const char* recipient;  // its certificate
        const char* store;
    } cases[] = {{"jack.pem", "store-jack"}, {"erin.pem", "store-erin"}};
    for (const auto& each : cases) {
        // With GCM a key that is not the content's never decrypts it.
        DerNode parsed = DerNode::Parse(
            testing::OpensslMessage(*plain_, {"-aes-256-gcm", "-outform", "DER", each.recipient}));
        DerNode& info = parsed[1][0][1][0];
        // Copies of the entry (of each recipient of a key-agreement entry) with other keys of the
        // same size, before it.
        std::vector<DerNode>& entries =
            info.tag == 0x30 ? parsed[1][0][1].children : info.children.back().children;
        const DerNode real = entries.front();
        for (std::size_t i = 0; i < kCrafted; ++i) {
            DerNode crafted = real;
            Bytes& key = crafted.children.back().content;
            key = testing::RandomBytes(key.size());
            key[0] = 0;  // below any modulus
            entries.insert(entries.begin(), crafted);
        }
        const Bytes message = parsed.Encode();
        testing::StoreCopy store(each.store);
        for (const bool pipe : {false, true}) {
            const auto start = Clock::now();
            Result<Bytes> opened = pipe ? testing::UnsealStream(message, store.store())
                                        : testing::Unseal(message, store.store());
            EXPECT_LT(SecondsSince(start), kBoundedSeconds) << each.recipient;
            ASSERT_FALSE(opened) << each.recipient;
            if (!pipe) {
                EXPECT_NE(opened.failure().text.find("The message holds 301 entries for your "
                                                     "certificate"),
                          std::string::npos)
                    << opened.failure().text;
            }
        }
    }
}

}  // namespace
}  // namespace mirebolt::platform
