// Every way opening or making a message can fail: each with its own code and text, and none
// letting plaintext out.
#include <gtest/gtest.h>
#include <secerr.h>

#include <algorithm>

#include "support/commands.h"
#include "support/envelope_helpers.h"
#include "support/scripted_prompt.h"

namespace mirebolt::platform {
namespace {
using testing::Bytes;
using testing::Describe;
using testing::FixtureCertificate;

class OpenEnvelopeFailure : public ::testing::Test {
  protected:
    // A failed opening is all the command needs to discard its output.
    Failure ExpectFailure(const Bytes& message, const PersonalStore& store,
                          KeyAccessPrompt* prompt = nullptr) {
        Result<Bytes> opened = testing::Unseal(message, store, prompt);
        EXPECT_FALSE(opened);
        if (opened) {
            return {};
        }
        EXPECT_FALSE(opened.failure().text.empty());
        return opened.failure();
    }

    Bytes SealedFor(const char* certificateFile, std::size_t contentSize = 5000) {
        Certificate recipient = FixtureCertificate(certificateFile);
        auto message = testing::Seal(ContentAlgorithm::Aes256Cbc, {&recipient},
                                     content_ = testing::RandomBytes(contentSize));
        EXPECT_TRUE(message);
        return message ? *message : Bytes();
    }

    testing::StoreCopy alices_{"store-alice"};
    Bytes content_;
};

TEST_F(OpenEnvelopeFailure, RandomBytesAreNotAMessage) {
    Bytes random = testing::RandomBytes(3000);
    random[0] = 0x04;  // never a SEQUENCE
    EXPECT_EQ(ExpectFailure(random, alices_.store()).code, testing::NssCode(SEC_ERROR_BAD_DER));
    platform::MemorySource source(random);
    EXPECT_FALSE(ReadOutline(source));
}

TEST_F(OpenEnvelopeFailure, ATruncatedMessageLetsNoPlaintextOut) {
    const Bytes message = SealedFor("alice.pem", 200'000);
    for (std::size_t keep :
         {message.size() - 1, message.size() - 16, message.size() / 2, std::size_t{40}}) {
        Bytes truncated(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(keep));
        EXPECT_EQ(ExpectFailure(truncated, alices_.store()).code,
                  testing::NssCode(SEC_ERROR_BAD_DER))
            << keep;
    }
}

TEST_F(OpenEnvelopeFailure, DataAfterTheMessageIsRefused) {
    Bytes message = SealedFor("alice.pem");
    message.push_back(0);
    EXPECT_EQ(ExpectFailure(message, alices_.store()).code,
              testing::NssCode(SEC_ERROR_EXTRA_INPUT));
}

TEST_F(OpenEnvelopeFailure, ASignedMessageIsNotDecrypted) {
    testing::TempDir dir;
    testing::WriteBytes(dir / "plain", testing::RandomBytes(500));
    auto run = testing::RunCommand({"openssl", "cms", "-sign", "-binary", "-nodetach", "-outform",
                                    "DER", "-in", dir / "plain", "-out", dir / "signed", "-signer",
                                    testing::FixturePath("alice.pem"), "-inkey",
                                    testing::FixturePath("alice.key")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ExpectFailure(testing::ReadBytes(dir / "signed"), alices_.store()).code,
              testing::NssCode(SEC_ERROR_UNSUPPORTED_MESSAGE_TYPE));
}

TEST_F(OpenEnvelopeFailure, AMessageForSomeoneElseIsNotOurs) {
    // Alice's store holds Bob's certificate, but not his key.
    const Failure failure = ExpectFailure(SealedFor("bob.pem"), alices_.store());
    EXPECT_EQ(failure.code, testing::NssCode(SEC_ERROR_NOT_A_RECIPIENT));
    EXPECT_EQ(failure.text,
              "Cannot decrypt: you are not a recipient, or matching certificate and private key "
              "not found. The message is for: Bob Baker.");
}

TEST_F(OpenEnvelopeFailure, WrongPasswordsStopAfterThreeTries) {
    testing::StoreCopy carols("store-carol");
    testing::ScriptedKeyPrompt prompt({"wrong", "worse", "no"});
    const Failure failure = ExpectFailure(SealedFor("carol.pem"), carols.store(), &prompt);
    EXPECT_EQ(failure.code, testing::NssCode(SEC_ERROR_BAD_PASSWORD));
    EXPECT_EQ(prompt.asked, 3);
    EXPECT_TRUE(prompt.lastRetry);
}

TEST_F(OpenEnvelopeFailure, ACancelledPromptIsToldApart) {
    testing::StoreCopy carols("store-carol");
    testing::ScriptedKeyPrompt prompt({std::nullopt});
    EXPECT_EQ(ExpectFailure(SealedFor("carol.pem"), carols.store(), &prompt).code,
              testing::NssCode(SEC_ERROR_USER_CANCELLED));
    EXPECT_EQ(prompt.asked, 1);
}

TEST_F(OpenEnvelopeFailure, WithoutAPromptAProtectedKeyIsNotReached) {
    testing::StoreCopy carols("store-carol");
    EXPECT_EQ(ExpectFailure(SealedFor("carol.pem"), carols.store()).code,
              testing::NssCode(SEC_ERROR_NOT_A_RECIPIENT));
}

TEST_F(OpenEnvelopeFailure, ADamagedCipherTextFailsWithoutContent) {
    Bytes message = SealedFor("alice.pem", 4096);
    message[message.size() - 17] ^= 0x40;  // spoils the last padding byte
    const Failure failure = ExpectFailure(message, alices_.store());
    EXPECT_NE(failure.code, 0u);
}

TEST(EnvelopeFailure, KeysThatCannotReceiveContentAreNamedWithTheirType) {
    Certificate alice = FixtureCertificate("alice.pem");
    const std::pair<const char*, const char*> kCases[] = {
        {"dora.pem", "\"Dora Dsa\" issued by \"Mirebolt Test CA\" has a key of type DSA 2048,"},
        {"edna.pem", "\"Edna Edwards\" issued by \"Mirebolt Test CA\" has a key of type Ed25519,"},
        {"petra.pem",
         "\"Petra Pss\" issued by \"Mirebolt Test CA\" has a key of type RSA-PSS 2048,"},
    };
    for (const auto& [file, named] : kCases) {
        Certificate unusable = FixtureCertificate(file);
        const std::vector<const Certificate*> recipients{&alice, &unusable};
        Result<std::uint64_t> size = EnvelopeSize(ContentAlgorithm::Aes256Cbc, recipients, 10);
        ASSERT_FALSE(size) << file;
        EXPECT_EQ(size.failure().code, testing::NssCode(SEC_ERROR_UNSUPPORTED_KEYALG));
        EXPECT_NE(size.failure().text.find(named), std::string::npos) << size.failure().text;

        Bytes content(10, 0x41);
        MemorySource source(content);
        SourceStream stream(source);
        testing::CollectingSink sink;
        EXPECT_FALSE(
            EnvelopeStream(ContentAlgorithm::Aes256Cbc, recipients, stream, content.size(), sink));
        EXPECT_TRUE(sink.got.empty())
            << file << ": nothing is written for a list that cannot receive the content";
    }
}

TEST(EnvelopeFailure, EmptyListsAreRefused) {
    EXPECT_FALSE(EnvelopeSize(ContentAlgorithm::Aes256Cbc, {}, 10));
    EXPECT_FALSE(EnvelopeSize(ContentAlgorithm::Aes256Gcm, {}, 10));
}

}  // namespace
}  // namespace mirebolt::platform
