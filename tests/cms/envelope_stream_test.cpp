// The streaming writer: the same DER message as the buffer writer when the size is known, BER
// that peers open when it is not, and no message from a stream whose length was misdeclared.
#include <gtest/gtest.h>
#include <secerr.h>

#include <algorithm>
#include <map>

#include "support/commands.h"
#include "support/envelope_helpers.h"
#include "support/reader_helpers.h"

namespace mirebolt::platform {
namespace {
using testing::Bytes;
using testing::Describe;
using testing::FixtureCertificate;
using testing::FixturePath;

// Hands its bytes out in reads of at most `largestRead` bytes, as a pipe does.
class PipeStream final : public ByteStream {
  public:
    PipeStream(const Bytes& bytes, std::size_t largestRead)
        : bytes_(bytes), largestRead_(largestRead) {}

    Result<std::size_t> Read(std::span<std::uint8_t> out) override {
        const std::size_t count = std::min({out.size(), largestRead_, bytes_.size() - position_});
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, out.begin());
        position_ += count;
        return count;
    }

  private:
    const Bytes& bytes_;
    std::size_t largestRead_;
    std::size_t position_ = 0;
};

// The parser's facts but for the originator keys and keying material, fresh in every message.
std::map<std::string, std::string> Inspect(const Bytes& message) {
    std::map<std::string, std::string> facts = testing::InspectEnvelope(message);
    facts.erase("originator_keys");
    facts.erase("ukms");
    return facts;
}

class EnvelopeStream : public ::testing::Test {
  protected:
    Result<Bytes> Stream(ContentAlgorithm cipher, const Bytes& content,
                         std::optional<std::uint64_t> declared, std::size_t largestRead = 1 << 16) {
        PipeStream stream(content, largestRead);
        testing::CollectingSink sink;
        Result<std::uint64_t> written =
            platform::EnvelopeStream(cipher, recipients_, stream, declared, sink);
        if (!written) {
            return written.failure();
        }
        EXPECT_EQ(*written, sink.got.size()) << "the count must be what reached the sink";
        return sink.got;
    }

    Certificate alice_ = FixtureCertificate("alice.pem");
    Certificate erin_ = FixtureCertificate("erin.pem");
    std::vector<const Certificate*> recipients_{&alice_, &erin_};
};

TEST_F(EnvelopeStream, AKnownSizeGivesTheBufferWritersDerMessage) {
    // Around the piece size, where a last piece is full or empty.
    for (std::size_t size : {std::size_t{1}, std::size_t{(1 << 20) - 1}, std::size_t{1 << 20},
                             std::size_t{(2 << 20) + 17}}) {
        const Bytes content = testing::RandomBytes(size);
        auto streamed = Stream(ContentAlgorithm::Aes256Cbc, content, size, 1000);
        ASSERT_TRUE(streamed) << Describe(streamed.failure());
        auto buffered = testing::Seal(ContentAlgorithm::Aes256Cbc, recipients_, content);
        ASSERT_TRUE(buffered);
        EXPECT_EQ(streamed->size(), buffered->size()) << size;
        auto facts = Inspect(*streamed);
        EXPECT_EQ(facts, Inspect(*buffered)) << size;
        EXPECT_EQ(facts["der"], "yes") << size;
        EXPECT_EQ(facts["version"], "v2");
    }
}

TEST_F(EnvelopeStream, AnUnknownSizeGivesBerThatOpensslOpensWithEachKey) {
    testing::TempDir dir;
    // Not the order DER gives the entries, which BER keeps too.
    recipients_ = {&erin_, &alice_};
    for (ContentAlgorithm cipher :
         {ContentAlgorithm::Aes256Cbc, ContentAlgorithm::DesEde3Cbc, ContentAlgorithm::Aes256Gcm}) {
        for (std::size_t size : {std::size_t{0}, std::size_t{1 << 20}, std::size_t{2500001}}) {
            const Bytes content = testing::RandomBytes(size);
            auto message = Stream(cipher, content, std::nullopt);
            ASSERT_TRUE(message) << Describe(message.failure());
            ASSERT_EQ((*message)[1], 0x80) << "expected indefinite lengths";
            if (size == 0) {
                EXPECT_EQ(Inspect(*message)["recipient_order"], "der");
            }
            testing::WriteBytes(dir / "message.p7m", *message);
            for (const std::string name : {"alice", "erin"}) {
                auto run = testing::RunCommand(
                    {"openssl", "cms", "-decrypt", "-binary", "-inform", "DER", "-in",
                     dir / "message.p7m", "-recip", FixturePath(name + ".pem"), "-inkey",
                     FixturePath(name + ".key"), "-out", dir / "opened"});
                ASSERT_EQ(run.exitCode, 0) << name << " " << size << ": " << run.output;
                EXPECT_EQ(testing::ReadBytes(dir / "opened"), content) << name << " " << size;
            }
        }
    }
}

TEST_F(EnvelopeStream, AStreamShorterOrLongerThanDeclaredFails) {
    const Bytes content = testing::RandomBytes((1 << 20) + 5);
    for (std::uint64_t declared :
         {std::uint64_t{content.size() - 1}, std::uint64_t{content.size() + 1},
          std::uint64_t{1 << 20}, std::uint64_t{0}}) {
        auto message = Stream(ContentAlgorithm::Aes256Cbc, content, declared);
        ASSERT_FALSE(message) << declared;
        EXPECT_EQ(message.failure().code, static_cast<std::uint32_t>(SEC_ERROR_INPUT_LEN));
    }
}

TEST_F(EnvelopeStream, AnUnusableRecipientWritesNothing) {
    Certificate dora = FixtureCertificate("dora.pem");
    recipients_.push_back(&dora);
    const Bytes content(10, 0x41);
    PipeStream stream(content, 10);
    testing::CollectingSink sink;
    auto written = platform::EnvelopeStream(ContentAlgorithm::Aes256Cbc, recipients_, stream,
                                            std::nullopt, sink);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.failure().code, static_cast<std::uint32_t>(SEC_ERROR_UNSUPPORTED_KEYALG));
    EXPECT_TRUE(sink.got.empty());
}

}  // namespace
}  // namespace mirebolt::platform
