// Messages must pass both ways between this program and OpenSSL's cms command.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/commands.h"
#include "support/envelope_helpers.h"

namespace mirebolt::platform {
namespace {
using testing::Bytes;
using testing::Describe;
using testing::FixturePath;
using testing::RunCommand;

class EnvelopeInterop : public ::testing::Test {
  protected:
    // Opens the message with openssl and one recipient's key; the certificate names the entry,
    // or, when left out, every entry is tried with the key.
    void ExpectOpensslOpens(const Bytes& message, const std::string& name, bool withCertificate) {
        testing::WriteBytes(dir_ / "message.p7m", message);
        std::vector<std::string> command{
            "openssl", "cms",          "-decrypt",           "-binary", "-inform",
            "DER",     "-in",          dir_ / "message.p7m", "-inkey",  FixturePath(name + ".key"),
            "-out",    dir_ / "opened"};
        if (withCertificate) {
            command.push_back("-recip");
            command.push_back(FixturePath(name + ".pem"));
        }
        std::filesystem::remove(dir_ / "opened");
        auto run = RunCommand(command);
        ASSERT_EQ(run.exitCode, 0) << name << ": " << run.output;
        EXPECT_EQ(testing::ReadBytes(dir_ / "opened"), content_) << name;
    }

    testing::TempDir dir_;
    Bytes content_ = testing::RandomBytes(100'003);
};

TEST_F(EnvelopeInterop, OpensslOpensOursWithEachRecipientsKey) {
    Certificate alice = testing::FixtureCertificate("alice.pem");
    Certificate bob = testing::FixtureCertificate("bob.pem");
    Certificate carol = testing::FixtureCertificate("carol.pem");
    for (ContentAlgorithm cipher : {ContentAlgorithm::Aes256Cbc, ContentAlgorithm::DesEde3Cbc}) {
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

TEST_F(EnvelopeInterop, OpensslOpensKeyAgreementForEachCurve) {
    for (const std::string name : {"erin", "hana", "ivan"}) {
        Certificate recipient = testing::FixtureCertificate(name + ".pem");
        auto message = testing::Seal(ContentAlgorithm::Aes256Cbc, {&recipient}, content_);
        ASSERT_TRUE(message) << name << ": " << Describe(message.failure());
        ExpectOpensslOpens(*message, name, true);
    }
}

TEST_F(EnvelopeInterop, OpensslOpensAMixedListWithEachKeyAloneWithEitherCipher) {
    // Two recipients on each of two curves, whose entries share their curve's ephemeral key.
    const std::vector<std::string> names{"alice", "erin", "jack", "hana", "ella", "hedy"};
    std::vector<Certificate> certificates;
    for (const std::string& name : names) {
        certificates.push_back(testing::FixtureCertificate(name + ".pem"));
    }
    std::vector<const Certificate*> recipients;
    for (const Certificate& certificate : certificates) {
        recipients.push_back(&certificate);
    }
    for (ContentAlgorithm cipher :
         {ContentAlgorithm::Aes256Cbc, ContentAlgorithm::DesEde3Cbc, ContentAlgorithm::Aes256Gcm}) {
        auto message = testing::Seal(cipher, recipients, content_);
        ASSERT_TRUE(message) << Describe(message.failure());
        for (const std::string& name : names) {
            ExpectOpensslOpens(*message, name, true);
        }
    }
}

TEST_F(EnvelopeInterop, AStrictDerReaderWithoutNssOpensEachRsaKeysEntry) {
    Certificate jack = testing::FixtureCertificate("jack.pem");
    Certificate alice = testing::FixtureCertificate("alice.pem");
    for (ContentAlgorithm cipher : {ContentAlgorithm::Aes256Cbc, ContentAlgorithm::DesEde3Cbc}) {
        // RSA-4096 before RSA-2048: the order a strict reader refused when it stood so.
        auto message = testing::Seal(cipher, {&jack, &alice}, content_);
        ASSERT_TRUE(message);
        testing::WriteBytes(dir_ / "message.p7m", *message);
        for (const std::string name : {"jack", "alice"}) {
            std::filesystem::remove(dir_ / "opened");
            auto run = RunCommand({"/usr/bin/python3",
                                   std::string(MIREBOLT_TEST_TOOLS) + "/open_envelope.py",
                                   dir_ / "message.p7m", FixturePath(name + ".pem"),
                                   FixturePath(name + ".key"), dir_ / "opened"});
            ASSERT_EQ(run.exitCode, 0) << name << ": " << run.output;
            EXPECT_EQ(testing::ReadBytes(dir_ / "opened"), content_) << name;
        }
    }
}

TEST_F(EnvelopeInterop, OpensslOpensOaepEntriesWithAndWithoutParametersInTheCertificate) {
    // openssl reads no key marked for OAEP from a certificate: it tries every entry with the key.
    for (const std::string name : {"oscar", "otto"}) {
        Certificate recipient = testing::FixtureCertificate(name + ".pem");
        for (ContentAlgorithm cipher :
             {ContentAlgorithm::Aes256Cbc, ContentAlgorithm::DesEde3Cbc}) {
            auto message = testing::Seal(cipher, {&recipient}, content_);
            ASSERT_TRUE(message) << name << ": " << Describe(message.failure());
            ExpectOpensslOpens(*message, name, false);
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
