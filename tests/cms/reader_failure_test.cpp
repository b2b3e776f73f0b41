// The reader's failures: each with its code and a text that says what happened, none letting
// content out, and entries that cannot be used never stopping one that can.
#include <gtest/gtest.h>
#include <secerr.h>

#include <algorithm>

#include "support/der_tree.h"
#include "support/reader_helpers.h"

namespace mirebolt::platform {
namespace {

using testing::Bytes;
using testing::OpensslMessage;

std::vector<std::string> Der(std::initializer_list<std::string> options) {
    std::vector<std::string> all{"-outform", "DER"};
    all.insert(all.end(), options);
    return all;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class ReaderFailure : public ::testing::Test {
  protected:
    // Fails with random access and as a pipe alike, with the same failure, and gives it.
    Failure ExpectFailure(const Bytes& message, const PersonalStore& store) {
        Result<Bytes> opened = testing::Unseal(message, store);
        EXPECT_FALSE(opened);
        Result<Bytes> streamed = testing::UnsealStream(message, store);
        EXPECT_FALSE(streamed);
        if (opened || streamed) {
            return {};
        }
        EXPECT_EQ(streamed.failure().code, opened.failure().code);
        EXPECT_EQ(streamed.failure().text, opened.failure().text);
        return opened.failure();
    }

    Bytes content_ = testing::RandomBytes(4000);
};

TEST_F(ReaderFailure, EntriesThisProgramCannotUseAreNamed) {
    testing::StoreCopy alices("store-alice");
    const Failure password = ExpectFailure(
        OpensslMessage(content_, Der({"-aes-256-cbc", "-pwri_password", "pw"})), alices.store());
    EXPECT_EQ(password.code, testing::NssCode(SEC_ERROR_NOT_A_RECIPIENT));
    EXPECT_TRUE(Contains(password.text,
                         "The message was encrypted with a password, which this program cannot "
                         "use."))
        << password.text;

    const Failure kek = ExpectFailure(
        OpensslMessage(content_, Der({"-aes-256-cbc", "-secretkey",
                                      "000102030405060708090A0B0C0D0E0F", "-secretkeyid", "01"})),
        alices.store());
    EXPECT_TRUE(Contains(kek.text, "shared secret key")) << kek.text;

    // An entry for the holder's own certificate that cannot be used says so first, and never
    // that the holder is not a recipient.
    const Failure own = ExpectFailure(
        OpensslMessage(content_, Der({"-aes-256-cbc", "-recip", "alice.pem", "-keyopt",
                                      "rsa_padding_mode:oaep", "-keyopt", "rsa_oaep_md:sha3-256"})),
        alices.store());
    EXPECT_EQ(own.code, testing::NssCode(SEC_ERROR_NOT_A_RECIPIENT));
    EXPECT_EQ(own.text,
              "The message has an entry for your certificate \"Alice Archer\", but this program "
              "cannot use RSAES-OAEP with the hash 2.16.840.1.101.3.4.2.8.");
}

TEST_F(ReaderFailure, NotARecipientNamesFiveRecipientsAndCountsTheRest) {
    const Bytes message =
        OpensslMessage(content_, Der({"-aes-256-cbc", "bob.pem", "carol.pem", "dave.pem",
                                      "frank.pem", "gina.pem", "olga.pem", "jack.pem"}));
    // Alice's store holds Bob's and Frank's certificates, by whose names they are listed.
    testing::StoreCopy alices("store-alice");
    const Failure failure = ExpectFailure(message, alices.store());
    EXPECT_EQ(failure.code, testing::NssCode(SEC_ERROR_NOT_A_RECIPIENT));
    EXPECT_EQ(failure.text.rfind("Cannot decrypt: you are not a recipient, or matching "
                                 "certificate and private key not found. The message is for: ",
                                 0),
              0u)
        << failure.text;
    EXPECT_TRUE(Contains(failure.text, "Bob Baker")) << failure.text;
    EXPECT_TRUE(Contains(failure.text,
                         "issuer \"CN=Mirebolt Test CA,O=Mirebolt Tests\", "
                         "serial number "))
        << failure.text;
    EXPECT_TRUE(Contains(failure.text, "; and 2 more.")) << failure.text;
}

TEST_F(ReaderFailure, AMessageWithoutEncryptedContentNeverOpens) {
    const Bytes message = OpensslMessage(content_, Der({"-aes-256-cbc", "alice.pem"}));
    testing::StoreCopy alices("store-alice");
    testing::TempDir noDatabase;
    Result<PersonalStore> empty = PersonalStore::Open(noDatabase.path().string());
    ASSERT_TRUE(empty);
    for (const char* form : {"no-content", "empty-content", "empty-chunks"}) {
        const Bytes emptied = testing::Rewritten(message, form);
        for (PersonalStore* store : {&alices.store(), &*empty}) {
            const Failure failure = ExpectFailure(emptied, *store);
            EXPECT_EQ(failure.code, testing::NssCode(SEC_ERROR_BAD_DATA)) << form;
            EXPECT_EQ(failure.text,
                      "The message holds no encrypted content, so there is nothing to decrypt.")
                << form;
        }
        MemorySource source(emptied);
        EXPECT_FALSE(ReadOutline(source)) << form;
    }
}

TEST_F(ReaderFailure, ATamperedGcmMessageIsRefused) {
    const Bytes message = OpensslMessage(content_, Der({"-aes-256-gcm", "alice.pem"}));
    testing::StoreCopy alices("store-alice");
    // The tag is the message's last 16 bytes; the content ends just before it.
    for (std::size_t fromEnd : {std::size_t{1}, std::size_t{16 + 2 + 1}, std::size_t{100}}) {
        Bytes tampered = message;
        tampered[tampered.size() - fromEnd] ^= 0x01;
        const Failure failure = ExpectFailure(tampered, alices.store());
        EXPECT_EQ(failure.code, testing::NssCode(SEC_ERROR_BAD_SIGNATURE)) << fromEnd;
        EXPECT_EQ(failure.text,
                  "The message was changed after it was encrypted: its authentication tag does "
                  "not match.");
    }
}

TEST_F(ReaderFailure, DamageAfterTruncationAndPaddingEachHaveTheirText) {
    const Bytes message = OpensslMessage(content_, Der({"-aes-256-cbc", "alice.pem"}));
    testing::StoreCopy alices("store-alice");

    Bytes longer = message;
    longer.push_back(0);
    const Failure after = ExpectFailure(longer, alices.store());
    EXPECT_EQ(after.code, testing::NssCode(SEC_ERROR_EXTRA_INPUT));
    EXPECT_TRUE(Contains(after.text, "goes on after the end")) << after.text;

    // Cut anywhere, even inside its content type, a message is truncated; what does not begin
    // as one is none.
    for (std::size_t kept : {message.size() - 20, std::size_t{8}}) {
        const Bytes shorter(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(kept));
        const Failure truncated = ExpectFailure(shorter, alices.store());
        EXPECT_EQ(truncated.code, testing::NssCode(SEC_ERROR_BAD_DER));
        EXPECT_TRUE(Contains(truncated.text, "truncated")) << truncated.text;
    }
    const std::string text = "not a message at all";
    const Failure none = ExpectFailure(Bytes(text.begin(), text.end()), alices.store());
    EXPECT_EQ(none.code, testing::NssCode(SEC_ERROR_BAD_DER));
    EXPECT_EQ(none.text, "The file is not an encrypted message.");

    // The second-last block's last byte flips the last byte of plaintext: the padding.
    Bytes badPadding = message;
    badPadding[badPadding.size() - 17] ^= 0x40;
    const Failure padding = ExpectFailure(badPadding, alices.store());
    EXPECT_EQ(padding.code, testing::NssCode(SEC_ERROR_BAD_DATA));
    EXPECT_TRUE(Contains(padding.text, "bad padding")) << padding.text;
}

TEST_F(ReaderFailure, UnsupportedTypesAndCiphersAreNamed) {
    testing::StoreCopy alices("store-alice");
    const Bytes message = OpensslMessage(content_, Der({"-aes-256-cbc", "alice.pem"}));

    const Failure cipher =
        ExpectFailure(testing::Rewritten(message, "cipher", "1.2.840.113549.3.2"), alices.store());
    EXPECT_EQ(cipher.code, testing::NssCode(SEC_ERROR_INVALID_ALGORITHM));
    EXPECT_EQ(cipher.text,
              "The content was encrypted with the algorithm 1.2.840.113549.3.2, which this "
              "program cannot decrypt.");

    const Failure inner = ExpectFailure(
        testing::Rewritten(message, "inner-type", "1.2.840.113549.1.7.2"), alices.store());
    EXPECT_EQ(inner.code, testing::NssCode(SEC_ERROR_UNSUPPORTED_MESSAGE_TYPE));
    EXPECT_TRUE(Contains(inner.text, "of type signed data, not plain data")) << inner.text;

    testing::TempDir dir;
    testing::WriteBytes(dir / "plain", content_);
    auto run = testing::RunCommand({"openssl", "cms", "-sign", "-binary", "-nodetach", "-outform",
                                    "DER", "-in", dir / "plain", "-out", dir / "signed", "-signer",
                                    testing::FixturePath("alice.pem"), "-inkey",
                                    testing::FixturePath("alice.key")});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const Failure type = ExpectFailure(testing::ReadBytes(dir / "signed"), alices.store());
    EXPECT_EQ(type.code, testing::NssCode(SEC_ERROR_UNSUPPORTED_MESSAGE_TYPE));
    EXPECT_EQ(type.text, "The file is a message of type signed data, not an encrypted one.");
}

// A Triple DES key wrapped for Erin whose checksum does not hold, or one of whose bytes has even
// parity, is not her content key, even where it would decrypt the content.
TEST_F(ReaderFailure, ATripleDesWrappedKeyMustPassItsChecksumAndParity) {
    testing::StoreCopy erins("store-erin");
    for (const char* fault : {"checksum", "parity"}) {
        const Bytes message = testing::ReadBytes(std::string(MIREBOLT_PEER_MESSAGES) +
                                                 "/ec-p256-des3-bad-" + fault + ".der");
        const Failure failure = ExpectFailure(message, erins.store());
        EXPECT_EQ(failure.code, testing::NssCode(SEC_ERROR_BAD_DATA)) << fault;
        EXPECT_TRUE(Contains(failure.text, "content key meant for you")) << failure.text;
    }
}

TEST_F(ReaderFailure, AnEntryForAVeryLargeKeyDoesNotLockTheOthersOut) {
    // 2048 bytes of encrypted key, as a 16384-bit RSA recipient has, in Bob's entry beside
    // Alice's (openssl sorts hers first).
    const Bytes message =
        testing::Rewritten(OpensslMessage(content_, Der({"-aes-256-cbc", "bob.pem", "alice.pem"})),
                           "widen-last-key", "2048");
    testing::StoreCopy alices("store-alice");
    Result<Bytes> opened = testing::Unseal(message, alices.store());
    ASSERT_TRUE(opened) << testing::Describe(opened.failure());
    EXPECT_EQ(*opened, content_);
    Result<Bytes> streamed = testing::UnsealStream(message, alices.store());
    ASSERT_TRUE(streamed) << testing::Describe(streamed.failure());
    EXPECT_EQ(*streamed, content_);
}

TEST_F(ReaderFailure, AnEntryWhoseKeyDoesNotComeOutLetsTheNextOneTry) {
    const Bytes message =
        OpensslMessage(content_, Der({"-aes-256-cbc", "-recip", "alice.pem", "-keyopt",
                                      "rsa_padding_mode:oaep", "-recip", "alice.pem"}));
    const Bytes spoilt = testing::Rewritten(message, "spoil-first-key");
    testing::StoreCopy alices("store-alice");
    Result<Bytes> opened = testing::Unseal(spoilt, alices.store());
    ASSERT_TRUE(opened) << testing::Describe(opened.failure());
    EXPECT_EQ(*opened, content_);

    // With only the spoilt entry left, the failure says the key did not come out.
    const Bytes alone = testing::Rewritten(
        OpensslMessage(content_, Der({"-aes-256-cbc", "alice.pem"})), "spoil-first-key");
    const Failure failure = ExpectFailure(alone, alices.store());
    EXPECT_EQ(failure.code, testing::NssCode(SEC_ERROR_BAD_DATA));
    EXPECT_TRUE(Contains(failure.text, "content key meant for you")) << failure.text;
}

// Anyone may add an entry for Alice carrying a key of their own. From a file, which can be read
// again, the entry after it is tried when that key does not decrypt the content.
TEST_F(ReaderFailure, AnEntryWhoseKeyDoesNotDecryptTheContentLetsTheNextOneTry) {
    const auto gcm = [&] { return OpensslMessage(content_, Der({"-aes-256-gcm", "alice.pem"})); };
    testing::DerNode message = testing::DerNode::Parse(gcm());
    const testing::DerNode foreign = testing::DerNode::Parse(gcm())[1][0][1][0];
    std::vector<testing::DerNode>& entries = message[1][0][1].children;
    entries.insert(entries.begin(), foreign);
    testing::StoreCopy alices("store-alice");
    Result<Bytes> opened = testing::Unseal(message.Encode(), alices.store());
    ASSERT_TRUE(opened) << testing::Describe(opened.failure());
    EXPECT_EQ(*opened, content_);
}

}  // namespace
}  // namespace mirebolt::platform
