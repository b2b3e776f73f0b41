// A failure says which step it arose in, so that a command can name the step: a failed read or
// write keeps being the input's or the output's however deep in the message it happened, and
// everything the message itself does wrong is the message's.
#include <gtest/gtest.h>

#include <cerrno>

#include "support/reader_helpers.h"

namespace mirebolt::platform {
namespace {

using testing::Bytes;

Failure InputGone() {
    return Failure{static_cast<std::uint32_t>(EIO), "the disk went away", FailureOrigin::Input};
}

Failure OutputFull() {
    return Failure{static_cast<std::uint32_t>(ENOSPC), "the disk is full", FailureOrigin::Output};
}

// Bytes in memory whose read number `failAt` fails as a disk would.
class FailingSource final : public ByteSource {
  public:
    FailingSource(const Bytes& bytes, int failAt) : inner_(bytes), failAt_(failAt) {}
    std::uint64_t Size() const override { return inner_.Size(); }
    Status ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        if (reads_++ == failAt_) {
            return InputGone();
        }
        return inner_.ReadAt(offset, out);
    }
    bool failed() const { return reads_ > failAt_; }

  private:
    MemorySource inner_;
    int failAt_;
    int reads_ = 0;
};

// A pipe whose read number `failAt` fails.
class FailingStream final : public ByteStream {
  public:
    FailingStream(const Bytes& bytes, int failAt) : inner_(bytes), failAt_(failAt) {}
    Result<std::size_t> Read(std::span<std::uint8_t> out) override {
        if (reads_++ == failAt_) {
            return InputGone();
        }
        return inner_.Read(out);
    }
    bool failed() const { return reads_ > failAt_; }

  private:
    testing::TrickleStream inner_;
    int failAt_;
    int reads_ = 0;
};

// A sink whose write number `failAt` fails.
class FailingSink final : public ByteSink {
  public:
    explicit FailingSink(int failAt) : failAt_(failAt) {}
    Status Write(std::span<const std::uint8_t> /*bytes*/) override {
        return writes_++ == failAt_ ? Status(OutputFull()) : Status();
    }
    bool failed() const { return writes_ > failAt_; }

  private:
    int failAt_;
    int writes_ = 0;
};

class FailureOrigins : public ::testing::Test {
  protected:
    // Messages to each key kind with each kind of content cipher, large enough to be read in
    // pieces.
    std::vector<Bytes> Messages(std::size_t size = 1'000'001) {
        content_ = testing::RandomBytes(size);
        std::vector<Bytes> messages;
        Result<Bytes> ours =
            testing::Seal(platform::ContentAlgorithm::Aes256Cbc, {&alice_, &erin_}, content_);
        EXPECT_TRUE(ours);
        messages.push_back(*ours);
        messages.push_back(testing::OpensslMessage(
            content_, {"-outform", "DER", "-stream", "-aes-256-gcm", "alice.pem"}));
        return messages;
    }

    Bytes content_ = testing::RandomBytes(1'000'001);
    Certificate alice_ = testing::FixtureCertificate("alice.pem");
    Certificate erin_ = testing::FixtureCertificate("erin.pem");
    testing::StoreCopy store_{"store-alice"};
};

TEST_F(FailureOrigins, AFailedReadIsTheInputsAtEveryPointOfAWholeFile) {
    for (const Bytes& message : Messages(4'500'001)) {
        int failures = 0;
        for (int failAt = 0;; ++failAt) {
            FailingSource bound(message, failAt);
            Result<MessageOutline> size = ReadOutline(bound);
            FailingSource source(message, failAt);
            Result<Bytes> opened = testing::OpenSource(source, store_.store());
            if (!bound.failed() && !source.failed()) {
                ASSERT_TRUE(size);
                ASSERT_TRUE(opened) << testing::Describe(opened.failure());
                break;
            }
            for (const Failure* failure : {bound.failed() ? &size.failure() : nullptr,
                                           source.failed() ? &opened.failure() : nullptr}) {
                if (failure != nullptr) {
                    ++failures;
                    EXPECT_EQ(failure->origin, FailureOrigin::Input)
                        << "read " << failAt << ": " << testing::Describe(*failure);
                    EXPECT_EQ(failure->code, static_cast<std::uint32_t>(EIO));
                }
            }
        }
        EXPECT_GE(failures, 8) << "the message must be read in several pieces";
    }
}

TEST_F(FailureOrigins, AFailedReadOrWriteKeepsItsOriginThroughTheStreamReader) {
    for (const Bytes& message : Messages()) {
        for (int failAt = 0;; ++failAt) {
            FailingStream stream(message, failAt);
            testing::CollectingSink sink;
            Result<std::uint64_t> opened =
                OpenEnvelope(stream, nullptr, store_.store(), nullptr, sink);
            if (!stream.failed()) {
                ASSERT_TRUE(opened) << testing::Describe(opened.failure());
                break;
            }
            ASSERT_FALSE(opened);
            EXPECT_EQ(opened.failure().origin, FailureOrigin::Input) << "read " << failAt;
        }
        for (int failAt = 0;; ++failAt) {
            testing::TrickleStream stream(message);
            FailingSink sink(failAt);
            Result<std::uint64_t> opened =
                OpenEnvelope(stream, nullptr, store_.store(), nullptr, sink);
            if (!sink.failed()) {
                ASSERT_TRUE(opened) << testing::Describe(opened.failure());
                break;
            }
            ASSERT_FALSE(opened);
            EXPECT_EQ(opened.failure().origin, FailureOrigin::Output) << "write " << failAt;
        }
    }
}

TEST_F(FailureOrigins, WhatTheMessageDoesWrongIsTheMessages) {
    const Bytes message = Messages().front();
    const Bytes truncated(message.begin(), message.end() - 1000);
    Bytes tampered = message;
    tampered[tampered.size() - 17] ^= 0x40;  // the padding length decrypts to above 16
    Bytes notAMessage = content_;
    const Certificate bob = testing::FixtureCertificate("bob.pem");
    Result<Bytes> forBob = testing::Seal(platform::ContentAlgorithm::Aes256Cbc, {&bob}, content_);
    ASSERT_TRUE(forBob);

    const struct {
        const char* what;
        const Bytes& bytes;
    } cases[] = {{"truncated", truncated},
                 {"tampered", tampered},
                 {"not a message", notAMessage},
                 {"for someone else", *forBob}};
    for (const auto& each : cases) {
        Result<Bytes> opened = testing::Unseal(each.bytes, store_.store());
        ASSERT_FALSE(opened) << each.what;
        EXPECT_EQ(opened.failure().origin, FailureOrigin::Message) << each.what;
        testing::TrickleStream stream(each.bytes);
        testing::CollectingSink sink;
        Result<std::uint64_t> streamed =
            OpenEnvelope(stream, nullptr, store_.store(), nullptr, sink);
        ASSERT_FALSE(streamed) << each.what;
        EXPECT_EQ(streamed.failure().origin, FailureOrigin::Message) << each.what;
    }
}

TEST_F(FailureOrigins, TheWriterPassesOnTheContentsAndTheSinksFailures) {
    const std::vector<const Certificate*> recipients{&alice_, &erin_};
    const ContentAlgorithm cipher = platform::ContentAlgorithm::Aes256Cbc;
    for (int failAt = 0;; ++failAt) {
        FailingStream content(content_, failAt);
        testing::CollectingSink sink;
        Result<std::uint64_t> written = EnvelopeStream(cipher, recipients, content, {}, sink);
        if (!content.failed()) {
            ASSERT_TRUE(written);
            break;
        }
        ASSERT_FALSE(written);
        EXPECT_EQ(written.failure().origin, FailureOrigin::Input) << "read " << failAt;
    }
    for (int failAt = 0;; ++failAt) {
        testing::TrickleStream content(content_);
        FailingSink sink(failAt);
        Result<std::uint64_t> written =
            EnvelopeStream(cipher, recipients, content, content_.size(), sink);
        if (!sink.failed()) {
            ASSERT_TRUE(written);
            break;
        }
        ASSERT_FALSE(written);
        EXPECT_EQ(written.failure().origin, FailureOrigin::Output) << "write " << failAt;
    }
}

}  // namespace
}  // namespace mirebolt::platform
