// Messages must pass both ways between this program and OpenSSL's cms command.
#include <gtest/gtest.h>

#include "support/commands.h"
#include "support/envelope_helpers.h"

namespace mirebolt::platform {
namespace {

using protection::ContentCipher;
using testing::Bytes;
using testing::Describe;
using testing::FixturePath;
using testing::RunCommand;

class EnvelopeInterop : public ::testing::Test {
  protected:
    testing::TempDir dir_;
    Bytes content_ = testing::RandomBytes(100'003);
};

TEST_F(EnvelopeInterop, OpensslOpensOursWithEachRecipientsKey) {
    Certificate alice = testing::FixtureCertificate("alice.pem");
    Certificate bob = testing::FixtureCertificate("bob.pem");
    Certificate carol = testing::FixtureCertificate("carol.pem");
    for (ContentCipher cipher : {ContentCipher::Aes256Cbc, ContentCipher::TripleDesCbc}) {
        auto message = testing::Seal(cipher, {&alice, &bob, &carol}, content_);
        ASSERT_TRUE(message);
        testing::WriteBytes(dir_ / "message.p7m", *message);
        for (const std::string name : {"alice", "bob", "carol"}) {
            auto run = RunCommand({"openssl", "cms", "-decrypt", "-binary", "-inform", "DER", "-in",
                                   dir_ / "message.p7m", "-recip", FixturePath(name + ".pem"),
                                   "-inkey", FixturePath(name + ".key"), "-out", dir_ / "opened"});
            ASSERT_EQ(run.exitCode, 0) << name << ": " << run.output;
            EXPECT_EQ(testing::ReadBytes(dir_ / "opened"), content_) << name;
        }
    }
}

TEST_F(EnvelopeInterop, WeOpenOpensslsDerAndStreamedMessages) {
    testing::WriteBytes(dir_ / "plain", content_);
    testing::StoreCopy bobs("store-bob");
    struct Case {
        const char* cipher;
        bool streamed;
    };
    for (Case c : {Case{"-aes256", false}, Case{"-aes256", true}, Case{"-des3", false},
                   Case{"-des3", true}, Case{"-aes128", true}}) {
        std::vector<std::string> command{
            "openssl", "cms", "-encrypt",     "-binary", c.cipher,           "-outform",
            "DER",     "-in", dir_ / "plain", "-out",    dir_ / "theirs.p7m"};
        if (c.streamed) {
            command.push_back("-stream");
        }
        command.push_back(FixturePath("alice.pem"));
        command.push_back(FixturePath("bob.pem"));
        auto run = RunCommand(command);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        const Bytes message = testing::ReadBytes(dir_ / "theirs.p7m");
        if (c.streamed) {
            ASSERT_EQ(message[1], 0x80) << "openssl was expected to write indefinite lengths";
        }
        auto opened = testing::Unseal(message, bobs.store());
        ASSERT_TRUE(opened) << c.cipher << (c.streamed ? " streamed: " : ": ")
                            << Describe(opened.failure());
        EXPECT_EQ(*opened, content_) << c.cipher;
    }
}

}  // namespace
}  // namespace mirebolt::platform
